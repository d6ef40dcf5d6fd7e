// Long work that leaves the window alive: it runs on a worker thread while the
// user-interface thread goes on painting and answering the window system.
#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <functional>

class QObject;
class QWidget;

namespace velmora::gui {

// The application-wide busy pointer for as long as it lives.
class BusyPointer {
  public:
    BusyPointer();
    ~BusyPointer();
    Q_DISABLE_COPY_MOVE(BusyPointer)
};

// Runs `work` on a worker thread and returns when it has ended. Meanwhile the
// calling (user-interface) thread processes every event except user input,
// which waits until the work has ended, and the busy pointer shows. An
// exception thrown by `work` is thrown again here. When no thread can be
// started, `work` does not run, false comes back and `error` says why.
bool runOffUiThread(const std::function<void()>& work, QString* error = nullptr);

// How far long work has come, and whether the user asked it to stop: the work
// sets percent and reads cancelled, from its own threads.
struct WorkProgress {
    std::atomic<int> percent{0};
    std::atomic<bool> cancelled{false};
};

// Runs `work` on a worker thread as runOffUiThread does. When it takes longer
// than delayMs, a modal progress dialog over owner shows `label`, the percent
// the work reports and a cancel button that sets progress.cancelled (the work
// decides how soon it stops); until then, and without a dialog, user input
// waits. A negative delay shows no dialog at all. False when no thread can be
// started (error says why).
bool runWithProgress(QWidget* owner, const QString& title, const QString& label,
                     const std::function<void(WorkProgress& progress)>& work,
                     QString* error = nullptr, int delayMs = 1000);

// For tests: while set, no worker thread can be started.
void failThreadStartsForTest(bool fail);

// Runs `work` on a worker thread and returns at once; nothing ever waits for
// it. When it has ended, `done` runs on the user-interface thread, unless
// `receiver` has been destroyed by then. Work that is no longer wanted is
// for `work` to notice (a cancel flag) and end early.
void runInBackground(QObject* receiver, std::function<void()> work, std::function<void()> done);

// For tests: while held, background work waits before it starts.
void holdBackgroundWorkForTest(bool hold);
// For tests and benchmarks: waits until no background work is left, at most
// msecs milliseconds; false when some is still running. The `done` calls are
// then waiting among the user-interface thread's events.
bool waitForBackgroundWork(int msecs);

} // namespace velmora::gui
