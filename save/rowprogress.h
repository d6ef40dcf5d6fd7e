// The rows of a save done so far, reported as they grow, from whichever
// thread finished them, one report at a time.
#pragma once

#include <functional>
#include <mutex>

namespace velmora {

class RowProgress {
  public:
    explicit RowProgress(std::function<void(int rowsDone)> report) : report_(std::move(report)) {}

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
    std::mutex mutex_;
    int done_ = 0;
};

} // namespace velmora
