#include "gui/backgroundwork.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
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
    return runWithProgress(
        nullptr, {}, {}, [&work](WorkProgress&) { work(); }, error, -1);
}

namespace {

// The modal progress dialog of work that runs on, until `loop` ends with it.
void showProgress(QWidget* owner, const QString& title, const QString& label,
                  WorkProgress& progress, QEventLoop& loop, const std::atomic<bool>& done) {
    QProgressDialog dialog(label, QStringLiteral("ｷｬﾝｾﾙ"), 0, 100, owner);
    dialog.setObjectName(QStringLiteral("SaveProgress"));
    dialog.setWindowTitle(title);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    // The cancel button, Escape and the close box all leave the dialog
    // cancelled; the work is told at the next poll.
    const auto cancelled = [&] {
        if (progress.cancelled.exchange(true))
            return;
        dialog.setLabelText(label + QStringLiteral("\n中止しています…"));
    };
    QObject::connect(&dialog, &QProgressDialog::canceled, cancelled);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        if (dialog.wasCanceled())
            cancelled();
        const int percent = std::clamp(progress.percent.load(), 0, 99);
        if (percent != dialog.value())
            dialog.setValue(percent);
    });
    poll.start(100);
    dialog.show();
    if (!done)
        loop.exec();
}

} // namespace

bool runWithProgress(QWidget* owner, const QString& title, const QString& label,
                     const std::function<void(WorkProgress& progress)>& work, QString* error,
                     int delayMs) {
    WorkProgress progress;
    std::optional<BusyPointer> busy(std::in_place);
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::exception_ptr thrown;
    std::thread worker;
    try {
        if (failStarts.load())
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        worker = std::thread([&] {
            try {
                work(progress);
            } catch (...) {
                thrown = std::current_exception();
            }
            done = true;
            QMetaObject::invokeMethod(
                &loop, [&loop] { loop.exit(0); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error& e) {
        if (error)
            *error = QString::fromLocal8Bit(e.what());
        return false;
    }
    // Short work ends before anything shows; without a delay nothing ever does.
    QTimer delay;
    delay.setSingleShot(true);
    QObject::connect(&delay, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
    if (delayMs >= 0)
        delay.start(delayMs);
    if (!done && loop.exec(QEventLoop::ExcludeUserInputEvents) == 1 && !done) {
        busy.reset();
        showProgress(owner, title, label, progress, loop, done);
    }
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
