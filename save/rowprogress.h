// The rows of a save done so far, reported as they grow, from whichever
// thread finished them, one report at a time; and whether the save is to stop.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

namespace velmora {

class RowProgress {
  public:
    explicit RowProgress(std::function<void(int rowsDone)> report,
                         const std::atomic<bool>* cancel = nullptr)
        : report_(std::move(report)), cancel_(cancel) {}

    // Whether the save was asked to stop: no more rows are to be made.
    bool stopped() const { return cancel_ != nullptr && cancel_->load(); }

    // count more rows are done.
    void add(int count) {
        if (!report_)
            return;
        std::lock_guard lock(mutex_);
        done_ += count;
        report_(done_);
    }

  private:
    std::function<void(int)> report_;
    const std::atomic<bool>* cancel_;
    std::mutex mutex_;
    int done_ = 0;
};

} // namespace velmora
