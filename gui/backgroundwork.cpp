#include "gui/backgroundwork.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace velmora::gui {

namespace {

std::atomic<bool> failStarts{false};

// Background work has threads of its own, so that it never queues behind
// Qt's use of the global pool (or the other way round). Two are enough: a
// newer request makes the older one end early.
constexpr int kBackgroundThreads = 2;

struct BackgroundPool : QThreadPool {
    BackgroundPool() { setMaxThreadCount(kBackgroundThreads); }
};

QThreadPool& backgroundPool() {
    static BackgroundPool pool;
    return pool;
}

struct Hold {
    std::mutex mutex;
    std::condition_variable released;
    bool held = false;
};

Hold& hold() {
    static Hold h;
    return h;
}

void waitWhileHeld() {
    Hold& h = hold();
    std::unique_lock lock(h.mutex);
    h.released.wait(lock, [&] { return !h.held; });
}

} // namespace

BusyPointer::BusyPointer() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyPointer::~BusyPointer() {
    QApplication::restoreOverrideCursor();
}

bool runOffUiThread(const std::function<void()>& work, QString* error) {
    BusyPointer busy;
    QEventLoop loop;
    std::exception_ptr thrown;
    std::thread worker;
    try {
        if (failStarts.load())
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        worker = std::thread([&] {
            try {
                work();
            } catch (...) {
                thrown = std::current_exception();
            }
            // Queued: if the loop has not started yet, it ends as soon as it does.
            QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
        });
    } catch (const std::system_error& e) {
        if (error)
            *error = QString::fromLocal8Bit(e.what());
        return false;
    }
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (thrown)
        std::rethrow_exception(thrown);
    return true;
}

void failThreadStartsForTest(bool fail) {
    failStarts.store(fail);
}

void runInBackground(QObject* receiver, std::function<void()> work, std::function<void()> done) {
    // The guard is made here and read on this thread only: the receiver
    // cannot go away between the check and the call.
    QPointer<QObject> guard(receiver);
    backgroundPool().start([guard, work = std::move(work), done = std::move(done)] {
        waitWhileHeld();
        work();
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr)
            return;
        QMetaObject::invokeMethod(
            app,
            [guard, done] {
                if (guard)
                    done();
            },
            Qt::QueuedConnection);
    });
}

void holdBackgroundWorkForTest(bool held) {
    Hold& h = hold();
    {
        std::lock_guard lock(h.mutex);
        h.held = held;
    }
    h.released.notify_all();
}

bool waitForBackgroundWork(int msecs) {
    return backgroundPool().waitForDone(msecs);
}

} // namespace velmora::gui
