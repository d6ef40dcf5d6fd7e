#include "platform/backgroundwork.h"

#include <QApplication>
#include <QEventLoop>

#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

namespace velmora::platform {

namespace {

std::atomic<bool> failStarts{false};

} // namespace

BusyPointer::BusyPointer() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyPointer::~BusyPointer() {
    QApplication::restoreOverrideCursor();
}

bool RunOffUiThread(const std::function<void()>& work, QString* error) {
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

void FailThreadStartsForTest(bool fail) {
    failStarts.store(fail);
}

} // namespace velmora::platform
