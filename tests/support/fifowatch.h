// A FIFO that nobody writes to: opening it without O_NONBLOCK waits for a
// writer for ever. After a second the watch plays that writer, which lets a
// stuck open go on, and records it: the test fails instead of hanging.
#pragma once

#include <QFile>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::testkit {

class FifoWatch {
  public:
    explicit FifoWatch(const QString& path) : path_(QFile::encodeName(path)) {
        ::mkfifo(path_.constData(), 0600);
        watcher_ = std::thread([this] {
            const auto start = std::chrono::steady_clock::now();
            for (; !stop_; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
                if (std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
                    continue;
                // Succeeds only while someone has the FIFO open for reading.
                const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                released_ = released_ || fd >= 0;
                if (fd >= 0)
                    ::close(fd);
            }
        });
    }
    ~FifoWatch() {
        stop_ = true;
        watcher_.join();
    }

    // Whether an open of the FIFO was still waiting after a second.
    bool someoneWaited() const { return released_; }

  private:
    QByteArray path_;
    std::atomic<bool> stop_{false}, released_{false};
    std::thread watcher_;
};

} // namespace velmora::testkit
