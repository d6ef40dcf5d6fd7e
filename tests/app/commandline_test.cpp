// The program's own options: "velmora --help" and "velmora --version" answer
// on standard output and exit 0 with no display at all; anything else is a
// file to open, which needs the display as before.
#include "settings/settings.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    int exitCode;
    QString out, err;
};

// The built program, in an environment without any display.
ProgramRun runWithoutDisplay(const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VELMORA_TEST_BIN "/velmora"), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

// Each stream is matched with a pattern; "^$": nothing written.
TEST(CommandLine, informationOptionsAnswerWithoutADisplay) {
    const QString range = QStringLiteral("from %1 to %2")
                              .arg(velmora::kMinScale / 10.0, 0, 'f', 1)
                              .arg(velmora::kMaxScale / 10.0, 0, 'f', 1);
    const struct {
        const char* name;
        QStringList args;
        int exitCode;
        QString out, err;
    } cases[] = {
        {"version", {"--version"}, 0, "^velmora " VELMORA_PROJECT_VERSION "\n", "^$"},
        // With the zoom-ratio dialog's range.
        {"help",
         {"--help"},
         0,
         "(?s)^usage: velmora \\[FILE\\]\n.*" + QRegularExpression::escape(range),
         "^$"},
        {"version before a file", {"--version", "photo.jpg"}, 0, "^velmora ", "^$"},
        {"a file needs the display", {"photo.jpg"}, 1, "^$", "no display is available"},
        {"an option after a file is a file", {"photo.jpg", "--help"}, 1, "^$", "no display"},
        {"no argument needs the display", {}, 1, "^$", "no display is available"},
        // The hint names the command as it was run.
        {"the hint names the command", {}, 1, "^$", "0 1280x1024x24' \\S*velmora\n"},
        {"an unknown option", {"--bogus"}, 2, "^$", "^velmora: unknown option '--bogus'\n"},
        {"a file after the end of the options", {"--", "--help"}, 1, "^$", "no display"},
    };
    for (const auto& c : cases) {
        const ProgramRun r = runWithoutDisplay(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name;
        EXPECT_TRUE(QRegularExpression(c.out).match(r.out).hasMatch())
            << c.name << ": " << r.out.toStdString();
        EXPECT_TRUE(QRegularExpression(c.err).match(r.err).hasMatch())
            << c.name << ": " << r.err.toStdString();
    }
}
