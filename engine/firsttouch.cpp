#include "engine/firsttouch.h"

#include <algorithm>
#include <thread>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace velmora::detail {

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

std::uintptr_t rowAddress(const DestImage& dst, long long y) {
    return reinterpret_cast<std::uintptr_t>(dst.pixels + y * dst.stride);
}

std::uintptr_t hugeRoundUp(std::uintptr_t address) {
    return (address + kHugePage - 1) & ~(kHugePage - 1);
}

HugeSpan hugeSpan(const DestImage& dst) {
    const std::uintptr_t end =
        rowAddress(dst, dst.height - 1) + static_cast<std::uintptr_t>(dst.width) * 4;
    return {hugeRoundUp(rowAddress(dst, 0)), end & ~(kHugePage - 1)};
}

// The first pixel on the huge page at `page` that lies in columns 0 to
// columns - 1 of a row before `bottom`, or null when there is none. The page
// begins in a row before `bottom`, on a whole pixel (pages and pixels are both
// 4-byte aligned).
std::uint32_t* pixelOnPage(const DestImage& dst, std::uintptr_t page, int columns,
                           long long bottom) {
    const std::uintptr_t rowBytes = static_cast<std::uintptr_t>(dst.stride) * 4;
    long long y = static_cast<long long>((page - rowAddress(dst, 0)) / rowBytes);
    std::uintptr_t at = page;
    if (at - rowAddress(dst, y) >= static_cast<std::uintptr_t>(columns) * 4) {
        if (++y >= bottom) // past those columns: the next row's first, if any
            return nullptr;
        at = rowAddress(dst, y);
    }
    return at < page + kHugePage ? reinterpret_cast<std::uint32_t*>(at) : nullptr;
}

} // namespace

void preferHugePages(const DestImage& dst) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const HugeSpan span = hugeSpan(dst);
    if (span.end > span.first)
        madvise(reinterpret_cast<void*>(span.first), span.end - span.first, MADV_HUGEPAGE);
#else
    (void)dst;
#endif
}

// Left to chance, a page that two threads reach at once is cleared by both (the
// kernel drops one copy), and a run of rows rarely ends on a page boundary. The
// pixel written is overwritten with its result soon after and no other thread
// writes it meanwhile. On a destination already in memory this costs one store
// per 2 MiB.
void touchRows(const DestImage& dst, int top, int bottom, int columns) {
    const HugeSpan span = hugeSpan(dst);
    const std::uintptr_t end =
        std::min(bottom < dst.height ? hugeRoundUp(rowAddress(dst, bottom)) : span.end, span.end);
    for (std::uintptr_t page = std::max(hugeRoundUp(rowAddress(dst, top)), span.first); page < end;
         page += kHugePage) {
        if (std::uint32_t* pixel = pixelOnPage(dst, page, columns, bottom))
            *static_cast<volatile std::uint32_t*>(pixel) = 0;
    }
}

FirstTouch::FirstTouch(const DestImage& dst)
    : dst_(dst), span_(hugeSpan(dst)),
      done_(span_.end > span_.first ? (span_.end - span_.first) / kHugePage : 0) {}

bool FirstTouch::touchNext() {
    const std::size_t page = claimed_.fetch_add(1, std::memory_order_relaxed);
    if (page >= done_.size())
        return false;
    if (std::uint32_t* pixel =
            pixelOnPage(dst_, span_.first + page * kHugePage, dst_.width, dst_.height))
        std::atomic_ref<std::uint32_t>(*pixel).fetch_or(0, std::memory_order_relaxed);
    done_[page].store(true, std::memory_order_release);
    return true;
}

void FirstTouch::waitForRows(int top, int bottom) {
    const std::uintptr_t from = rowAddress(dst_, top);
    const std::uintptr_t to =
        rowAddress(dst_, bottom - 1) + static_cast<std::uintptr_t>(dst_.width) * 4;
    if (done_.empty() || to <= span_.first || from >= span_.end)
        return;
    const std::size_t first = from > span_.first ? (from - span_.first) / kHugePage : 0;
    const std::size_t last = std::min((to - 1 - span_.first) / kHugePage, done_.size() - 1);
    for (std::size_t page = first; page <= last; ++page)
        while (!done_[page].load(std::memory_order_acquire))
            if (!touchNext())
                std::this_thread::yield(); // another thread is faulting it in
}

} // namespace velmora::detail
