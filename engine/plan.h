// Internal to the engine: how an enlargement's work is cut into pieces for the
// threads, and progress over pieces that finish out of order.
#pragma once

#include "engine/enlarge.h"

#include <cstddef>
#include <cstdint>
#include <exception>
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

// The plan for dst, whose columns sample the source columns in slot.
Plan Plan_Work(const std::vector<std::int32_t>& slot, const DestImage& dst,
               const EnlargeOptions& options);

// Progress over bands whose pieces finish out of order: reports the growing
// prefix of finished bands, one call at a time. An exception from the callback
// ends the reports and is kept for the caller.
class BandProgress {
  public:
    BandProgress(const std::function<void(int)>& callback, const std::vector<int>& bandEnd,
                 int parts);

    void finished(std::size_t band);
    std::exception_ptr error() const { return error_; }

  private:
    const std::function<void(int)>& callback_;
    const std::vector<int>& bandEnd_;
    const int parts_;
    std::mutex mutex_;
    std::vector<int> done_;
    std::size_t prefix_ = 0;
    std::exception_ptr error_;
};

} // namespace velmora::detail
