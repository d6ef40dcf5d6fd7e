#include "xsession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <unistd.h>

namespace e2e {

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        QThread::msleep(50);
    }
    return condition();
}

XSession::XSession(int width, int height) {
    // A display number nobody uses: no lock file and no socket.
    for (int n = 90 + getpid() % 50; n < 400; ++n) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
            QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        const QString candidate = QStringLiteral(":%1").arg(n);
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server_.start("Xvfb",
                      {candidate, "-screen", "0", QStringLiteral("%1x%2x24").arg(width).arg(height),
                       "-nolisten", "tcp", "-noreset"});
        if (!server_.waitForStarted(5000))
            return;
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
        if (waitFor([&] { return QFile::exists(socket); }, 10000) &&
            server_.state() == QProcess::Running) {
            display_ = candidate;
            return;
        }
        server_.kill();
        server_.waitForFinished();
    }
}

XSession::~XSession() {
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        if (!server_.waitForFinished(5000))
            server_.kill();
        server_.waitForFinished();
    }
}

QString XSession::run(const QString& program, const QStringList& args, int* exitCode) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    p.setProcessEnvironment(env);
    p.start(program, args);
    QElapsedTimer timer;
    timer.start();
    if (!p.waitForFinished(30000)) {
        qWarning("e2e: %s %s did not finish", qPrintable(program), qPrintable(args.join(' ')));
        p.kill();
        p.waitForFinished();
    } else if (timer.elapsed() > 5000) {
        qWarning("e2e: %s %s took %lld ms", qPrintable(program), qPrintable(args.join(' ')),
                 timer.elapsed());
    }
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString XSession::waitForWindow(const QString& titlePattern, int timeoutMs) const {
    QString id;
    waitFor(
        [&] {
            const QStringList ids = xdotool({"search", "--onlyvisible", "--name", titlePattern})
                                        .split('\n', Qt::SkipEmptyParts);
            id = ids.isEmpty() ? QString() : ids.constFirst();
            return !id.isEmpty();
        },
        timeoutMs);
    return id;
}

bool XSession::waitUntilGone(const QString& windowId, int timeoutMs) const {
    return waitFor(
        [&] {
            const QStringList visible =
                xdotool({"search", "--onlyvisible", "--name", "."}).split('\n');
            return !visible.contains(windowId);
        },
        timeoutMs);
}

QStringList XSession::windows() const {
    return xdotool({"search", "--onlyvisible", "--class", "."}).split('\n', Qt::SkipEmptyParts);
}

QString XSession::waitForNewWindow(const QStringList& before, int timeoutMs) const {
    QString id;
    waitFor(
        [&] {
            for (const QString& candidate : windows())
                if (!before.contains(candidate)) {
                    id = candidate;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return id;
}

QString XSession::title(const QString& windowId) const {
    return xdotool({"getwindowname", windowId});
}

QRect XSession::geometry(const QString& windowId) const {
    const QString shell = xdotool({"getwindowgeometry", "--shell", windowId});
    auto value = [&](const char* name) {
        const QRegularExpression re(QStringLiteral("%1=(-?\\d+)").arg(QLatin1String(name)));
        return re.match(shell).captured(1).toInt();
    };
    return QRect(value("X"), value("Y"), value("WIDTH"), value("HEIGHT"));
}

void XSession::click(int x, int y, int button, int repeat) const {
    // --sync waits for the pointer to move, which it never does when it is
    // already there.
    const QString here = xdotool({"getmouselocation", "--shell"});
    if (!here.contains(QStringLiteral("X=%1\n").arg(x)) ||
        !here.contains(QStringLiteral("Y=%1\n").arg(y)))
        xdotool({"mousemove", "--sync", QString::number(x), QString::number(y)});
    xdotool(
        {"click", "--repeat", QString::number(repeat), "--delay", "80", QString::number(button)});
}

void XSession::key(const QString& keys) const {
    xdotool({"key", "--delay", "80", keys});
}

void XSession::type(const QString& text) const {
    xdotool({"type", "--delay", "20", text});
}

QImage XSession::screenshot() const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    p.setProcessEnvironment(env);
    p.start("import", {"-silent", "-window", "root", "png:-"});
    p.waitForFinished(30000);
    return QImage::fromData(p.readAllStandardOutput(), "PNG").convertToFormat(QImage::Format_RGB32);
}

} // namespace e2e
