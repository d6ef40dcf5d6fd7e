// Internal to the engine: the first touch of a fresh destination's memory.
//
// A fresh destination is faulted in page by page as it is first written, and
// with 4 KiB pages that costs more than computing the pixels. Transparent huge
// pages are asked for, and each huge page is faulted in by one thread only.
#pragma once

#include "engine/enlarge.h"
#include "parallel/parallel.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::detail {

// The whole huge pages of the destination: from the first 2 MiB boundary in it
// to the last one before its end.
struct HugeSpan {
    std::uintptr_t first = 0;
    std::uintptr_t end = 0;
};

// Memory written a row at a time: `height` rows of `rowBytes` bytes, `stride`
// bytes apart.
struct RowBytes {
    unsigned char* bytes = nullptr;
    std::size_t rowBytes = 0;
    std::ptrdiff_t stride = 0;
    int height = 0;
};

// The destination's words as bytes.
RowBytes rowBytesOf(const DestImage& dst);

// Asks for transparent huge pages on the whole huge pages of the memory: only
// a hint, which leaves the contents alone and is ignored where unsupported.
void preferHugePages(const RowBytes& memory);
inline void preferHugePages(const DestImage& dst) {
    preferHugePages(rowBytesOf(dst));
}

// Writes one byte on each huge page that begins in rows top to bottom - 1, so
// that this thread, which writes those rows next, faults the page in. The
// byte written lies in those rows and in columns 0 to columns - 1, which this
// thread is about to compute.
void touchRows(const DestImage& dst, int top, int bottom, int columns);

// The first touch of every whole huge page of memory written in strips (a
// destination, or where a row sink puts the strips).
//
// With helper threads, the caller's thread faults the pages in, top to bottom,
// a little ahead of the strips (touchAheadAndRun), and a strip is written only
// once every page under it is in. The kernel clears each page as it faults it in, and two
// threads clearing pages at once cost more thread time together than one alone
// (they compete for the memory bandwidth the clearing needs); the other threads
// compute meanwhile instead. A thread that would have to wait for a page faults
// in the next unclaimed one itself, so that slow faults (memory a virtual
// machine's host must first supply) are still taken in parallel.
//
// The touch is an atomic OR with 0 on a byte of a row: it faults the page in
// for writing and leaves the byte as it was.
//
// The memory before the first whole huge page and after the last one (or all
// of it, when it holds none) lies on small pages, since the mapping around it
// is not the engine's to make huge. Faulted in one by one, each costs a trap
// into the kernel, which in a virtual machine can cost more than clearing the
// page; so these two runs are the first and the last piece of the touch, and
// each is mapped in by one request to the kernel where it takes one.
class FirstTouch {
  public:
    explicit FirstTouch(const RowBytes& memory);

    // Faults in the next piece nobody has claimed; false when none is left.
    bool touchNext();

    // Returns once every piece holding a byte of rows top to bottom - 1 is in.
    void waitForRows(int top, int bottom);

    // The caller's thread, while helper threads compute: faults the pages in
    // ahead of the strips, but no further ahead than kLead huge pages, since a
    // page cleared long before its pixels are written has left the caches by
    // then, and writing it costs reading it back from memory first. While it
    // is that far ahead, it computes the next strip itself (runNext: false
    // when none was left). Returns when every page is in or no strip is left.
    template <typename RunNext> void touchAheadAndRun(RunNext runNext) {
        for (;;) {
            if (ahead()) {
                if (!runNext())
                    return;
            } else if (!touchNext()) {
                return;
            }
        }
    }

  private:
    static constexpr std::size_t kLead = 2;

    // Whether more than kLead pieces are claimed beyond the last piece any
    // thread has waited for.
    bool ahead() const;

    // The piece holding the byte at `address`: 0 for the small pages before
    // the huge ones, then one per huge page, then the small pages after them.
    std::size_t pieceOf(std::uintptr_t address) const;

    const RowBytes memory_;
    const HugeSpan span_;
    const std::size_t hugePages_;
    std::atomic<std::size_t> claimed_{0};
    std::atomic<std::size_t> wanted_{0}; // the last piece waited for
    std::vector<std::atomic<bool>> done_;
};

// Runs runNext(t), one piece of work on thread t (false when none was left),
// until no piece is left, on `threads` threads, this one (t = 0) included
// (parallel::runWorkers). With helper threads and a first touch, this thread
// faults the memory in ahead of the others (FirstTouch::touchAheadAndRun). A
// thread the system refuses leaves its pieces to the others.
template <typename RunNext> void runOnThreads(int threads, FirstTouch* touch, RunNext runNext) {
    parallel::runWorkers(threads, [&](int t) {
        if (t == 0 && touch && threads > 1)
            touch->touchAheadAndRun([&] { return runNext(0); });
        while (runNext(t)) {
        }
    });
}

} // namespace velmora::detail
