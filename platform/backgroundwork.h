// Long work that leaves the window alive: it runs on a worker thread while the
// user-interface thread goes on painting and answering the window system.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

namespace velmora::platform {

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
bool RunOffUiThread(const std::function<void()>& work, QString* error = nullptr);

// For tests: while set, no worker thread can be started.
void FailThreadStartsForTest(bool fail);

} // namespace velmora::platform
