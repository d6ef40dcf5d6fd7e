#include "engine/firsttouch.h"

#include <algorithm>
#include <thread>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace velmora::detail {

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

std::uintptr_t rowAddress(const RowBytes& m, long long y) {
    return reinterpret_cast<std::uintptr_t>(m.bytes + y * m.stride);
}

std::uintptr_t hugeRoundUp(std::uintptr_t address) {
    return (address + kHugePage - 1) & ~(kHugePage - 1);
}

HugeSpan hugeSpan(const RowBytes& m) {
    const std::uintptr_t end = rowAddress(m, m.height - 1) + m.rowBytes;
    return {hugeRoundUp(rowAddress(m, 0)), end & ~(kHugePage - 1)};
}

// The first byte on the huge page at `page` that lies in the first `bytes`
// bytes of a row before `bottom`, or null when there is none. The page begins
// in a row before `bottom`.
unsigned char* byteOnPage(const RowBytes& m, std::uintptr_t page, std::size_t bytes,
                          long long bottom) {
    const auto rowStep = static_cast<std::uintptr_t>(m.stride);
    long long y = static_cast<long long>((page - rowAddress(m, 0)) / rowStep);
    std::uintptr_t at = page;
    if (at - rowAddress(m, y) >= bytes) {
        if (++y >= bottom) // past those bytes: the next row's first, if any
            return nullptr;
        at = rowAddress(m, y);
    }
    return at < page + kHugePage ? reinterpret_cast<unsigned char*>(at) : nullptr;
}

} // namespace

RowBytes rowBytesOf(const DestImage& dst) {
    return {reinterpret_cast<unsigned char*>(dst.pixels),
            static_cast<std::size_t>(dst.width) * sizeof(std::uint32_t),
            dst.stride * static_cast<std::ptrdiff_t>(sizeof(std::uint32_t)), dst.height};
}

void preferHugePages(const RowBytes& memory) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const HugeSpan span = hugeSpan(memory);
    if (span.end > span.first)
        madvise(reinterpret_cast<void*>(span.first), span.end - span.first, MADV_HUGEPAGE);
#else
    (void)memory;
#endif
}

// Left to chance, a page that two threads reach at once is cleared by both (the
// kernel drops one copy), and a run of rows rarely ends on a page boundary. The
// byte written is overwritten with its pixel soon after and no other thread
// writes it meanwhile. On a destination already in memory this costs one store
// per 2 MiB.
void touchRows(const DestImage& dst, int top, int bottom, int columns) {
    const RowBytes m = rowBytesOf(dst);
    const HugeSpan span = hugeSpan(m);
    const std::uintptr_t end =
        std::min(bottom < dst.height ? hugeRoundUp(rowAddress(m, bottom)) : span.end, span.end);
    const std::size_t bytes = static_cast<std::size_t>(columns) * sizeof(std::uint32_t);
    for (std::uintptr_t page = std::max(hugeRoundUp(rowAddress(m, top)), span.first); page < end;
         page += kHugePage) {
        if (unsigned char* byte = byteOnPage(m, page, bytes, bottom))
            *static_cast<volatile unsigned char*>(byte) = 0;
    }
}

FirstTouch::FirstTouch(const RowBytes& memory)
    : memory_(memory), span_(hugeSpan(memory)),
      done_(span_.end > span_.first ? (span_.end - span_.first) / kHugePage : 0) {}

bool FirstTouch::touchNext() {
    const std::size_t page = claimed_.fetch_add(1, std::memory_order_relaxed);
    if (page >= done_.size())
        return false;
    if (unsigned char* byte =
            byteOnPage(memory_, span_.first + page * kHugePage, memory_.rowBytes, memory_.height))
        std::atomic_ref<unsigned char>(*byte).fetch_or(0, std::memory_order_relaxed);
    done_[page].store(true, std::memory_order_release);
    return true;
}

void FirstTouch::waitForRows(int top, int bottom) {
    const std::uintptr_t from = rowAddress(memory_, top);
    const std::uintptr_t to = rowAddress(memory_, bottom - 1) + memory_.rowBytes;
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
