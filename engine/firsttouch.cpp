#include "engine/firsttouch.h"

#include <algorithm>
#include <thread>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
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

// Maps in the small pages that hold bytes from `from` to `to` - 1 (which
// belong to the rows) for writing, in one request where the kernel takes it;
// the contents stay as they are. Elsewhere the first write to each page
// faults it in as usual.
void populate(std::uintptr_t from, std::uintptr_t to) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    static const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    if (to <= from)
        return;
    const std::uintptr_t first = from & ~(page - 1);
    const std::uintptr_t last = (to + page - 1) & ~(page - 1);
    madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)from;
    (void)to;
#endif
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
      hugePages_(span_.end > span_.first ? (span_.end - span_.first) / kHugePage : 0),
      done_(hugePages_ + 2) {}

std::size_t FirstTouch::pieceOf(std::uintptr_t address) const {
    if (hugePages_ == 0 || address < span_.first)
        return 0;
    if (address >= span_.end)
        return hugePages_ + 1;
    return 1 + (address - span_.first) / kHugePage;
}

bool FirstTouch::touchNext() {
    const std::size_t piece = claimed_.fetch_add(1, std::memory_order_relaxed);
    if (piece >= done_.size())
        return false;
    if (piece == 0 || piece == hugePages_ + 1) {
        // The small pages from the rows' first byte to the first huge page, or
        // from the last huge page to the rows' last byte.
        const std::uintptr_t start = rowAddress(memory_, 0);
        const std::uintptr_t end = rowAddress(memory_, memory_.height - 1) + memory_.rowBytes;
        if (piece == 0)
            populate(start, hugePages_ > 0 ? span_.first : end);
        else if (hugePages_ > 0)
            populate(span_.end, end);
    } else if (unsigned char* byte = byteOnPage(memory_, span_.first + (piece - 1) * kHugePage,
                                                memory_.rowBytes, memory_.height)) {
        std::atomic_ref<unsigned char>(*byte).fetch_or(0, std::memory_order_relaxed);
    }
    done_[piece].store(true, std::memory_order_release);
    return true;
}

bool FirstTouch::ahead() const {
    return claimed_.load(std::memory_order_relaxed) >
           wanted_.load(std::memory_order_relaxed) + kLead;
}

void FirstTouch::waitForRows(int top, int bottom) {
    const std::uintptr_t from = rowAddress(memory_, top);
    const std::uintptr_t to = rowAddress(memory_, bottom - 1) + memory_.rowBytes;
    const std::size_t last = pieceOf(to - 1);
    std::size_t wanted = wanted_.load(std::memory_order_relaxed);
    while (wanted < last &&
           !wanted_.compare_exchange_weak(wanted, last, std::memory_order_relaxed)) {
    }
    for (std::size_t piece = pieceOf(from); piece <= last; ++piece)
        while (!done_[piece].load(std::memory_order_acquire))
            if (!touchNext())
                std::this_thread::yield(); // another thread is faulting it in
}

} // namespace velmora::detail
