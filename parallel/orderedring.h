// Items 0, 1, ..., count - 1 made by worker threads into a ring of slots and
// handed to one consumer in their order: the strips of a picture made on
// every core and written one after another. A worker starts item n only once
// the item that last used its slot has been released, so the ring never holds
// more than its slots, however far ahead the workers could run.
#pragma once

#include "parallel/parallel.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora::parallel {

template <class Slot> class OrderedRing {
  public:
    // Makes item n into its slot; false stops the ring (the maker keeps why).
    using Maker = std::function<bool(int n, Slot& slot)>;

    // (`slotCount`, as Qt's headers make `slots` a keyword.)
    OrderedRing(int count, std::size_t slotCount)
        : count_(count), slots_(slotCount), made_(slotCount) {}
    OrderedRing(const OrderedRing&) = delete;
    OrderedRing& operator=(const OrderedRing&) = delete;

    ~OrderedRing() {
        stop();
        for (std::thread& t : threads_)
            t.join();
    }

    // Starts up to `workers` threads, each with a maker of its own from
    // newMaker() (so it may keep memory from item to item). Returns how many
    // started; with none, await() makes each item on the calling thread.
    int start(int workers, const std::function<Maker()>& newMaker) {
        for (int i = 0; i < workers && i < count_; ++i) {
            try {
                threads_.push_back(startThread([this, make = newMaker()] { work(make); }));
            } catch (...) {
                break; // fewer workers; the items get made all the same
            }
        }
        if (threads_.empty())
            inline_ = newMaker();
        return static_cast<int>(threads_.size());
    }

    // Item n once it is made, or nullptr once the ring has stopped. Items are
    // awaited in order, each released before the one a ring's length later.
    Slot* await(int n) {
        Slot& slot = slotOf(n);
        if (threads_.empty())
            return !stopped_ && inline_(n, slot) ? &slot : nullptr;
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || made(n); });
        return stopped_ ? nullptr : &slot;
    }

    // Item n is used; its slot may take the next item.
    void release(int n) {
        {
            std::lock_guard lock(mutex_);
            made(n) = false;
            ++released_;
        }
        changed_.notify_all();
    }

    // No further item is started; await() gives nullptr from now on.
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
    }

  private:
    Slot& slotOf(int n) { return slots_[static_cast<std::size_t>(n) % slots_.size()]; }
    char& made(int n) { return made_[static_cast<std::size_t>(n) % made_.size()]; }

    // The next item whose slot is free; -1 when there is nothing to do.
    int take() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return stopped_ || next_ >= count_ ||
                   next_ - released_ < static_cast<int>(slots_.size());
        });
        if (stopped_ || next_ >= count_)
            return -1;
        return next_++;
    }

    void work(const Maker& make) {
        for (int n; (n = take()) >= 0;) {
            bool ok = false;
            try {
                ok = make(n, slotOf(n));
            } catch (...) {
            }
            if (!ok) {
                stop();
                return;
            }
            {
                std::lock_guard lock(mutex_);
                made(n) = true;
            }
            changed_.notify_all();
        }
    }

    const int count_;
    std::vector<Slot> slots_;
    std::vector<char> made_; // guarded by mutex_, as is everything below
    std::vector<std::thread> threads_;
    Maker inline_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int next_ = 0, released_ = 0;
    bool stopped_ = false;
};

} // namespace velmora::parallel
