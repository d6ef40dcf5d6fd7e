// The program's own options: "velmora --help" and "velmora --version" answer
// on standard output and exit 0 with no display at all; anything else is a
// file to open, which needs the display as before.
#include "settings/settings.h"

#include <QProcess>
#include <QProcessEnvironment>
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

QString ratioRange() {
    return QStringLiteral("from %1 to %2")
        .arg(velmora::kMinScale / 10.0, 0, 'f', 1)
        .arg(velmora::kMaxScale / 10.0, 0, 'f', 1);
}

} // namespace

TEST(CommandLine, informationOptionsAnswerWithoutADisplay) {
    struct Case {
        const char* name;
        QStringList args;
        int exitCode;
        QString outStartsWith; // empty: nothing on standard output
        QString errContains;   // empty: nothing on standard error
    } cases[] = {
        {"version", {"--version"}, 0, "velmora " VELMORA_PROJECT_VERSION "\n", {}},
        {"help", {"--help"}, 0, "usage: velmora [FILE]\n", {}},
        {"version before a file", {"--version", "photo.jpg"}, 0, "velmora ", {}},
        {"a file needs the display", {"photo.jpg"}, 1, {}, "no display is available"},
        {"an option after a file is a file", {"photo.jpg", "--help"}, 1, {}, "no display"},
        {"no argument needs the display", {}, 1, {}, "no display is available"},
    };
    for (const Case& c : cases) {
        const ProgramRun r = runWithoutDisplay(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name;
        if (c.outStartsWith.isEmpty())
            EXPECT_TRUE(r.out.isEmpty()) << c.name << ": " << r.out.toStdString();
        else
            EXPECT_TRUE(r.out.startsWith(c.outStartsWith)) << c.name << ": " << r.out.toStdString();
        if (c.errContains.isEmpty())
            EXPECT_TRUE(r.err.isEmpty()) << c.name << ": " << r.err.toStdString();
        else
            EXPECT_TRUE(r.err.contains(c.errContains)) << c.name << ": " << r.err.toStdString();
    }
}

TEST(CommandLine, helpGivesTheZoomRatioDialogsRange) {
    const ProgramRun r = runWithoutDisplay({"--help"});
    EXPECT_TRUE(r.out.contains(ratioRange())) << r.out.toStdString();
}
