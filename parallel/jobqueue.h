// A queue of jobs run by a few threads kept for it.
#pragma once

#include "parallel/parallel.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora::parallel {

// Jobs run in the order posted on a few threads of its own, started with the
// first job and kept until the queue is destroyed; the thread that posts them
// never runs one, unless the system refuses every thread. For work that comes
// in pieces over time (a view's tiles), where starting threads for each would
// cost more than the work.
class JobQueue {
  public:
    explicit JobQueue(std::size_t count) : count_(count) {}
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;
    // Drops the jobs queued and waits for those that run.
    ~JobQueue() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            queue_.clear();
        }
        wake_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
    }

    void post(std::function<void()> job) {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(job));
        }
        while (threads_.size() < count_) {
            try {
                threads_.push_back(startThread([this] { loop(); }));
            } catch (const std::system_error&) {
                break; // fewer threads; the jobs get done all the same
            }
        }
        if (threads_.empty()) { // no thread at all: the job cannot wait for one
            runQueued();
            return;
        }
        wake_.notify_one();
    }
    // Waits until no job is queued or running.
    void waitIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
    }

  private:
    void runQueued() {
        std::unique_lock lock(mutex_);
        while (!queue_.empty()) {
            const std::function<void()> job = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }
    void loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            const std::function<void()> job = std::move(queue_.front());
            queue_.pop_front();
            ++running_;
            lock.unlock();
            job();
            lock.lock();
            if (--running_ == 0 && queue_.empty())
                idle_.notify_all();
        }
    }

    const std::size_t count_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<std::function<void()>> queue_;
    std::size_t running_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace velmora::parallel
