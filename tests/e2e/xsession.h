// A virtual X display of the test's own, and what a person does on it: look at
// the screen, move the pointer, click, type.
#pragma once

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace e2e {

class XSession {
  public:
    // Starts Xvfb with a fixed screen size on a free display number.
    XSession(int width, int height);
    ~XSession();
    bool ok() const { return !display_.isEmpty(); }
    QString display() const { return display_; }

    // Runs a command on the display and returns its standard output.
    QString run(const QString& program, const QStringList& args, int* exitCode = nullptr) const;
    QString xdotool(const QStringList& args) const { return run("xdotool", args); }

    // The first visible window whose title matches the pattern, or "" after the time.
    QString waitForWindow(const QString& titlePattern, int timeoutMs = 15000) const;
    bool waitUntilGone(const QString& windowId, int timeoutMs = 15000) const;
    // The visible windows, named or not.
    QStringList windows() const;
    // The first visible window not among `before` (a menu, which has no name
    // to search for), or "" after the time.
    QString waitForNewWindow(const QStringList& before, int timeoutMs = 15000) const;
    QString title(const QString& windowId) const;
    QRect geometry(const QString& windowId) const;

    void click(int x, int y, int button = 1, int repeat = 1) const;
    void key(const QString& keys) const;
    void type(const QString& text) const;
    QImage screenshot() const;

  private:
    QString display_;
    QProcess server_;
};

// Polls until the condition holds or the time is up; true when it held.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 15000);

} // namespace e2e
