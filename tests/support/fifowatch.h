// A FIFO that nobody writes to, and a watch on it: opening it for reading
// without O_NONBLOCK waits for a writer for ever. After a second the watch
// plays that writer, which lets a stuck open go on (reading nothing), and
// records that it had to: the test then fails instead of hanging.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::testkit {

class FifoWatch {
  public:
    explicit FifoWatch(const QString& path) : path_(path.toUtf8()) {
        made_ = ::mkfifo(path_.constData(), 0600) == 0;
        watcher_ = std::thread([this] { watch(); });
    }
    ~FifoWatch() {
        stop_ = true;
        watcher_.join();
    }
    FifoWatch(const FifoWatch&) = delete;
    FifoWatch& operator=(const FifoWatch&) = delete;

    bool made() const { return made_; }
    // Whether some open of the FIFO was still waiting after a second.
    bool someoneWaited() const { return released_; }

  private:
    void watch() {
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + seconds(1);
        while (!stop_) {
            std::this_thread::sleep_for(milliseconds(20));
            if (steady_clock::now() < deadline)
                continue;
            // Succeeds only while a reader has the FIFO open.
            const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                released_ = true;
                ::close(fd);
            }
        }
    }

    QByteArray path_;
    bool made_ = false;
    std::atomic<bool> stop_{false}, released_{false};
    std::thread watcher_;
};

} // namespace velmora::testkit
