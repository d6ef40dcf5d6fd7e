#include "save/bitmapstrips.h"

#include "platform/bitmap.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora {

namespace {

// Rows made and written at a time: a strip of a 6400-pixel-wide result is
// 1.6 MB, small enough to stay in the cache between being made and written.
constexpr int kStripRows = 64;
// The writer converts and writes faster than one core enlarges, slower than
// a few: more workers than this would only hold more strips in memory.
constexpr int kMaxWorkers = 4;
// Strips that may be made ahead per worker: one being made, one waiting.
constexpr int kSlotsPerWorker = 2;

struct Strip {
    std::vector<std::uint32_t> pixels;
    int first = 0;
    int rows = 0;
    bool made = false;
    bool ok = true;
};

// One core writes, the others enlarge.
int workerCount() {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores - 1, 1, kMaxWorkers);
}

// Workers make strips n = 0, 1, ... (from the bottom) into a ring of slots;
// the calling thread writes them in that order. A worker starts strip n only
// once the strip that last used its slot has been written.
class StripRing {
  public:
    StripRing(const ResultRows& rows, int workers)
        : rows_(rows), strips_((rows.height() + kStripRows - 1) / kStripRows),
          slots_(
              static_cast<std::size_t>(std::min(workers * kSlotsPerWorker, std::max(strips_, 1)))) {
        for (int i = 0; i < workers && i < strips_; ++i) {
            try {
                threads_.emplace_back([this] { work(); });
            } catch (...) {
                break; // fewer workers; the strips get made all the same
            }
        }
    }

    ~StripRing() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }

    int strips() const { return strips_; }

    // Strip n once it is made; made on this thread when no worker started.
    const Strip& await(int n) {
        Strip& slot = slotOf(n);
        if (threads_.empty()) {
            make(n, slot);
            return slot;
        }
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return slot.made; });
        return slot;
    }

    // Strip n is written; its slot may take the next strip.
    void release(int n) {
        {
            std::lock_guard lock(mutex_);
            slotOf(n).made = false;
            ++written_;
        }
        changed_.notify_all();
    }

  private:
    Strip& slotOf(int n) { return slots_[static_cast<std::size_t>(n) % slots_.size()]; }

    void make(int n, Strip& strip) {
        const int top = rows_.height() - n * kStripRows;
        strip.first = std::max(0, top - kStripRows);
        strip.rows = top - strip.first;
        strip.pixels.resize(static_cast<std::size_t>(rows_.width()) * kStripRows);
        try {
            strip.ok = rows_.fill(strip.first, strip.rows, strip.pixels.data(), rows_.width());
        } catch (...) {
            strip.ok = false;
        }
    }

    // Takes the next strip whose slot is free; -1 when there is nothing to do.
    int take() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return stopped_ || next_ >= strips_ ||
                   next_ - written_ < static_cast<int>(slots_.size());
        });
        if (stopped_ || next_ >= strips_)
            return -1;
        return next_++;
    }

    void work() {
        for (int n; (n = take()) >= 0;) {
            Strip& slot = slotOf(n);
            make(n, slot);
            {
                std::lock_guard lock(mutex_);
                slot.made = true;
            }
            changed_.notify_all();
        }
    }

    const ResultRows& rows_;
    const int strips_;
    std::vector<Strip> slots_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int next_ = 0, written_ = 0;
    bool stopped_ = false;
};

} // namespace

SaveResult Write_Bitmap_Strips(const ResultRows& rows, const QString& path, RowProgress& progress) {
    QString error;
    platform::BitmapWriter writer;
    if (!writer.open(path, rows.width(), rows.height(), &error))
        return {SaveStatus::Failed, error};
    StripRing ring(rows, workerCount());
    for (int n = 0; n < ring.strips(); ++n) {
        const Strip& strip = ring.await(n);
        if (!strip.ok)
            return {SaveStatus::NotComputed, QString()};
        if (!writer.writeStrip(strip.pixels.data(), rows.width(), strip.rows, &error))
            return {SaveStatus::Failed, error};
        progress.add(strip.rows);
        ring.release(n);
    }
    if (!writer.commit(&error))
        return {SaveStatus::Failed, error};
    return {SaveStatus::Saved, QString()};
}

} // namespace velmora
