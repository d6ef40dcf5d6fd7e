#include "engine/plan.h"

#include "parallel/parallel.h"

#include <algorithm>
#include <cstdint>

namespace velmora::detail {

namespace {

// Unless the caller asks for narrow bands, the destination is done in strips of
// kStripRows rows, each strip across its whole width, taken from the top by
// whichever thread is free, so that a fresh destination's pages are written in
// the order they are faulted in (see FirstTouch). Narrow bands (columns done
// from left to right, for progress) have their rows split among the threads
// instead.
constexpr int kBandAlign = 16; // whole vector groups of destination columns
// A band reads at most this many source columns, so that its vertical-pass
// results stay in the second-level cache; a wider strip is done band by band.
constexpr int kMaxBandSlots = 2048;
// A thread is only worth starting for at least this many destination pixels.
constexpr long long kMinPixelsPerThread = 1 << 16;

// Threads: automatic is one per core, but only as many as the size is worth;
// a count asked for is clamped to parallel::workerLimit().
int threadCount(const DestImage& dst, const EnlargeOptions& options) {
    if (options.threads > 0)
        return parallel::workerCount(options.threads);
    const long long pixels = static_cast<long long>(dst.width) * dst.height;
    return static_cast<int>(
        std::clamp<long long>(pixels / kMinPixelsPerThread, 1, parallel::workerCount()));
}

} // namespace

void cutBands(const std::int32_t* slot, int width, long long bandTarget, Plan& plan) {
    for (int x = 0; x < width;) {
        int end = static_cast<int>(std::min<long long>(width, x + bandTarget));
        const auto span = [&](int e) { return slot[e - 1] + 2 - slot[x]; };
        while (end - x > 1 && span(end) > kMaxBandSlots)
            end = x + (end - x) / 2;
        plan.maxSlots = std::max(plan.maxSlots, span(end));
        plan.bandStart.push_back(x);
        plan.bandEnd.push_back(end);
        x = end;
    }
}

bool addressable(long long width, long long height, std::ptrdiff_t stride, std::ptrdiff_t size) {
    if (width < 0 || height < 0)
        return false;
    if (width == 0 || height == 0)
        return true;
    if (stride < width)
        return false;
    std::ptrdiff_t offset = 0;
    if (__builtin_mul_overflow(static_cast<std::ptrdiff_t>(height - 1), stride, &offset) ||
        __builtin_add_overflow(offset, static_cast<std::ptrdiff_t>(width), &offset))
        return false;
    return offset <= PTRDIFF_MAX / size;
}

Plan planWork(const std::vector<std::int32_t>& slot, const DestImage& dst,
              const EnlargeOptions& options) {
    Plan plan;
    plan.threads = threadCount(dst, options);
    plan.stripsFirst = options.bandColumns <= 0 || options.rowSink || options.byteDest;
    // Runs of rows in whole vector blocks (up to 16 rows), so that only the last
    // run of a band ends in a partial block.
    const int perThread = (dst.height + plan.threads - 1) / plan.threads;
    plan.partRows = plan.stripsFirst ? kStripRows : (perThread + 15) / 16 * 16;
    plan.rowParts = (dst.height + plan.partRows - 1) / plan.partRows;
    const long long bandColumns = plan.stripsFirst ? dst.width : options.bandColumns;
    const long long bandCount = (dst.width + bandColumns - 1) / bandColumns;
    const long long bandTarget =
        std::max<long long>(kBandAlign, ((dst.width + bandCount - 1) / bandCount + kBandAlign - 1) /
                                            kBandAlign * kBandAlign);
    cutBands(slot.data(), dst.width, bandTarget, plan);
    plan.threads =
        static_cast<int>(std::min<long long>(plan.threads, static_cast<long long>(plan.pieces())));
    return plan;
}

BandProgress::BandProgress(const std::function<EnlargeStep(int)>& callback,
                           const std::vector<int>& bandEnd, int parts)
    : callback_(callback), bandEnd_(bandEnd), parts_(parts), done_(bandEnd.size(), 0) {}

void BandProgress::finished(std::size_t band) noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++done_[band];
    const std::size_t before = prefix_;
    while (prefix_ < done_.size() && done_[prefix_] == parts_)
        ++prefix_;
    if (prefix_ == before || !callback_ || stopped())
        return;
    // A Stop that answers the last band's report comes when nothing is left to
    // stop: the destination is complete.
    if (callback_(bandEnd_[prefix_ - 1]) == EnlargeStep::Stop && prefix_ < done_.size())
        stopped_.store(true, std::memory_order_release);
}

} // namespace velmora::detail
