// Internal to the engine: how an enlargement's work is cut into pieces for the
// threads, and progress over pieces that finish out of order.
#pragma once

#include "engine/enlarge.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace velmora::detail {

// Bands about bandColumns wide (or as wide as the tables allow), each split
// into rowParts runs of rows, one piece per thread at a time. Pieces go band by
// band, or with stripsFirst strip by strip.
struct Plan {
    std::vector<int> bandStart, bandEnd;
    int maxSlots = 0; // the most source columns a band reads
    int threads = 1;
    int rowParts = 1;
    int partRows = 1;
    bool stripsFirst = false;

    std::size_t pieces() const {
        return stripsFirst ? static_cast<std::size_t>(rowParts) : bandStart.size() * rowParts;
    }
};

// A view of elements of `size` bytes is usable when its last element can be
// addressed without overflow.
bool addressable(long long width, long long height, std::ptrdiff_t stride,
                 std::ptrdiff_t size = sizeof(std::uint32_t));

// Rows of a strip, where the work goes strip by strip.
inline constexpr int kStripRows = 64;

// Cuts columns 0 .. width - 1, which sample the source columns in slot, into
// bands about bandTarget wide, narrower where a band would read more source
// columns than stay in the second-level cache: appended to plan.bandStart and
// plan.bandEnd, with plan.maxSlots raised to the most a band reads.
void cutBands(const std::int32_t* slot, int width, long long bandTarget, Plan& plan);

// The plan for dst, whose columns sample the source columns in slot.
Plan planWork(const std::vector<std::int32_t>& slot, const DestImage& dst,
              const EnlargeOptions& options);

// Progress over bands whose pieces finish out of order: reports the growing
// prefix of finished bands, one call at a time. Once the callback answers Stop
// with bands left, nothing more is reported and stopped() tells the threads to
// start no further piece.
class BandProgress {
  public:
    BandProgress(const std::function<EnlargeStep(int)>& callback, const std::vector<int>& bandEnd,
                 int parts);

    // Counts a finished piece of the band. noexcept: a callback that throws
    // despite its contract ends the program here, on whichever thread it is.
    void finished(std::size_t band) noexcept;
    bool stopped() const { return stopped_.load(std::memory_order_acquire); }

  private:
    const std::function<EnlargeStep(int)>& callback_;
    const std::vector<int>& bandEnd_;
    const int parts_;
    std::mutex mutex_;
    std::vector<int> done_;
    std::size_t prefix_ = 0;
    std::atomic<bool> stopped_{false};
};

} // namespace velmora::detail
