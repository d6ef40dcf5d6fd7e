#include "engine/enlarge.h"

#include "engine/enlarge_kernel.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace velmora {

namespace {

// Unless the caller asks for narrow bands, the destination is done in strips of
// kStripRows rows, each strip across its whole width, taken from the top by
// whichever thread is free, so that a fresh destination's pages are written in
// the order they are faulted in (see FirstTouch). Narrow bands (columns done
// from left to right, for progress) have their rows split among the threads
// instead.
constexpr int kStripRows = 64;
constexpr int kBandAlign = 16; // whole vector groups of destination columns
// A band reads at most this many source columns, so that its vertical-pass
// results stay in the second-level cache; a wider strip is done band by band.
constexpr int kMaxBandSlots = 2048;
// A thread is only worth starting for at least this many destination pixels.
constexpr long long kMinPixelsPerThread = 1 << 16;
// Sizes beyond this are refused before any single-precision conversion.
constexpr double kMaxExtent = 4.0e9;

// r * n - 1 computed in double, handed on as a single-precision value and cut
// to whole pixels, as the display surface takes its size. -1: beyond any size.
long long destinationExtent(int n, double r) {
    const double exact = r * n - 1;
    if (!(exact <= kMaxExtent))
        return -1;
    const float extent = static_cast<float>(exact);
    if (!(extent >= 1.0f))
        return 0;
    return static_cast<long long>(extent);
}

// Where destination index i samples along an axis of n source pixels, with the
// arithmetic of Sample_Bilinear: s = i / r, lower = floor(s), whole when
// floor(s + 0.999) does not move past it, fraction = s - lower.
struct AxisSample {
    long long lower = 0; // clamped to n: anything at or beyond the far edge reads outside
    double rest = 1;
    double fraction = 0;
    bool whole = true;
};

AxisSample Locate(int i, double r, int n) {
    AxisSample a;
    const double s = i / r;
    if (!std::isfinite(s)) {
        // Only a ratio so tiny that the division overflows gets here; everything
        // is outside then, and is taken as whole.
        a.lower = n;
        return a;
    }
    const double lower = std::floor(s);
    const double upper = std::floor(s + kSnap);
    a.lower = lower < n ? static_cast<long long>(lower) : n;
    a.whole = !(upper > lower); // as Sample_Bilinear decides it
    if (!a.whole) {
        a.fraction = s - lower;
        a.rest = 1 - a.fraction;
    }
    return a;
}

// A view is usable when its last pixel can be addressed without overflow.
bool Addressable(long long width, long long height, std::ptrdiff_t stride) {
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
    return offset <= PTRDIFF_MAX / static_cast<std::ptrdiff_t>(sizeof(std::uint32_t));
}

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

// The whole huge pages of the destination: from the first 2 MiB boundary in it
// to the last one before its end.
struct HugeSpan {
    std::uintptr_t first = 0;
    std::uintptr_t end = 0;
};

std::uintptr_t Row_Address(const DestImage& dst, long long y) {
    return reinterpret_cast<std::uintptr_t>(dst.pixels + y * dst.stride);
}

std::uintptr_t Huge_Round_Up(std::uintptr_t address) {
    return (address + kHugePage - 1) & ~(kHugePage - 1);
}

HugeSpan Huge_Span(const DestImage& dst) {
    const std::uintptr_t end =
        Row_Address(dst, dst.height - 1) + static_cast<std::uintptr_t>(dst.width) * 4;
    return {Huge_Round_Up(Row_Address(dst, 0)), end & ~(kHugePage - 1)};
}

// A fresh destination is faulted in page by page as it is first written, and
// with 4 KiB pages that costs more than computing the pixels. Transparent huge
// pages are asked for on the whole huge pages of the destination: only a hint,
// which leaves the contents alone and is ignored where unsupported.
void Prefer_Huge_Pages(const DestImage& dst) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const HugeSpan span = Huge_Span(dst);
    if (span.end > span.first)
        madvise(reinterpret_cast<void*>(span.first), span.end - span.first, MADV_HUGEPAGE);
#else
    (void)dst;
#endif
}

// The first pixel on the huge page at `page` that lies in columns 0 to
// columns - 1 of a row before `bottom`, or null when there is none. The page
// begins in a row before `bottom`, on a whole pixel (pages and pixels are both
// 4-byte aligned).
std::uint32_t* Pixel_On_Page(const DestImage& dst, std::uintptr_t page, int columns,
                             long long bottom) {
    const std::uintptr_t rowBytes = static_cast<std::uintptr_t>(dst.stride) * 4;
    long long y = static_cast<long long>((page - Row_Address(dst, 0)) / rowBytes);
    std::uintptr_t at = page;
    if (at - Row_Address(dst, y) >= static_cast<std::uintptr_t>(columns) * 4) {
        if (++y >= bottom) // past those columns: the next row's first, if any
            return nullptr;
        at = Row_Address(dst, y);
    }
    return at < page + kHugePage ? reinterpret_cast<std::uint32_t*>(at) : nullptr;
}

// Writes one pixel on each huge page that begins in rows top to bottom - 1, so
// that this thread, which writes those rows next, faults the page in. Left to
// chance, a page that two threads reach at once is cleared by both (the kernel
// drops one copy), and a run of rows rarely ends on a page boundary. The pixel
// written lies in those rows and in columns 0 to columns - 1, which this thread
// is about to compute, so it is overwritten with its result soon after and no
// other thread writes it meanwhile. On a destination already in memory this
// costs one store per 2 MiB.
void Touch_Rows(const DestImage& dst, int top, int bottom, int columns) {
    const HugeSpan span = Huge_Span(dst);
    const std::uintptr_t end = std::min(
        bottom < dst.height ? Huge_Round_Up(Row_Address(dst, bottom)) : span.end, span.end);
    for (std::uintptr_t page = std::max(Huge_Round_Up(Row_Address(dst, top)), span.first);
         page < end; page += kHugePage) {
        if (std::uint32_t* pixel = Pixel_On_Page(dst, page, columns, bottom))
            *static_cast<volatile std::uint32_t*>(pixel) = 0;
    }
}

// The first touch of every whole huge page of a destination done in strips.
//
// With helper threads, the caller's thread faults the pages in, top to bottom,
// before it computes anything, and a strip is written only once every page
// under it is in. The kernel clears each page as it faults it in, and two
// threads clearing pages at once cost more thread time together than one alone
// (they compete for the memory bandwidth the clearing needs); the other threads
// compute meanwhile instead. A thread that would have to wait for a page faults
// in the next unclaimed one itself, so that slow faults (memory a virtual
// machine's host must first supply) are still taken in parallel.
//
// The touch is an atomic OR with 0 on a pixel of the view: it faults the page
// in for writing and leaves the pixel as it was.
class FirstTouch {
  public:
    explicit FirstTouch(const DestImage& dst)
        : dst_(dst), span_(Huge_Span(dst)),
          done_(span_.end > span_.first ? (span_.end - span_.first) / kHugePage : 0) {}

    // Faults in the next page nobody has claimed; false when none is left.
    bool Touch_Next() {
        const std::size_t page = claimed_.fetch_add(1, std::memory_order_relaxed);
        if (page >= done_.size())
            return false;
        if (std::uint32_t* pixel =
                Pixel_On_Page(dst_, span_.first + page * kHugePage, dst_.width, dst_.height))
            std::atomic_ref<std::uint32_t>(*pixel).fetch_or(0, std::memory_order_relaxed);
        done_[page].store(true, std::memory_order_release);
        return true;
    }

    // Returns once every page holding a pixel of rows top to bottom - 1 is in.
    void Wait_For_Rows(int top, int bottom) {
        const std::uintptr_t from = Row_Address(dst_, top);
        const std::uintptr_t to =
            Row_Address(dst_, bottom - 1) + static_cast<std::uintptr_t>(dst_.width) * 4;
        if (done_.empty() || to <= span_.first || from >= span_.end)
            return;
        const std::size_t first = from > span_.first ? (from - span_.first) / kHugePage : 0;
        const std::size_t last = std::min((to - 1 - span_.first) / kHugePage, done_.size() - 1);
        for (std::size_t page = first; page <= last; ++page)
            while (!done_[page].load(std::memory_order_acquire))
                if (!Touch_Next())
                    std::this_thread::yield(); // another thread is faulting it in
    }

  private:
    const DestImage& dst_;
    const HugeSpan span_;
    std::atomic<std::size_t> claimed_{0};
    std::vector<std::atomic<bool>> done_;
};

struct Kernel {
    void (*run)(const detail::BandJob&);
    std::size_t (*scratchBytes)(int);
    void (*runDyadic)(const detail::BandJob&);
    std::size_t (*dyadicScratchBytes)(int);
};

Kernel Pick_Kernel(EnlargeKernel wanted) {
    if (wanted == EnlargeKernel::Automatic || !Enlarge_Kernel_Available(wanted)) {
        wanted = Enlarge_Kernel_Available(EnlargeKernel::Avx512) ? EnlargeKernel::Avx512
                 : Enlarge_Kernel_Available(EnlargeKernel::Avx2) ? EnlargeKernel::Avx2
                                                                 : EnlargeKernel::Baseline;
    }
    switch (wanted) {
    case EnlargeKernel::Avx512:
        return {detail::Run_Band_Avx512, detail::Scratch_Bytes_Avx512,
                detail::Run_Dyadic_Band_Avx512, detail::Dyadic_Scratch_Bytes_Avx512};
    case EnlargeKernel::Avx2:
        return {detail::Run_Band_Avx2, detail::Scratch_Bytes_Avx2, detail::Run_Dyadic_Band_Avx2,
                detail::Dyadic_Scratch_Bytes_Avx2};
    default:
        return {detail::Run_Band_Baseline, detail::Scratch_Bytes_Baseline,
                detail::Run_Dyadic_Band_Baseline, detail::Dyadic_Scratch_Bytes_Baseline};
    }
}

struct AlignedFree {
    void operator()(void* p) const {
        ::operator delete (p, std::align_val_t{detail::kScratchAlign});
    }
};
using Scratch = std::unique_ptr<void, AlignedFree>;

// Where every destination column samples the source, padded past the last
// column with whole columns at the last column's place (the pixel loops read
// whole vectors).
struct ColumnTables {
    std::vector<std::int32_t> slot;
    std::vector<double> rest, fraction;
    std::vector<std::uint64_t> wholeMask;
    std::vector<std::uint64_t> weight;       // for the integer loops
    std::vector<std::uint32_t> highMask;     // for the integer loops
    std::vector<std::uint64_t> coarseWeight; // for the integer loops on byte pairs
    bool dyadic = true;                      // every fraction a whole multiple of 1/256
    bool coarse = true;                      // every fraction a whole multiple of 1/64
};

// The byte pair (64 - F / 4, F / 4) of weight F, in each of four 16-bit lanes.
std::uint64_t Coarse_Weight(int weight) {
    const std::uint64_t quarter = static_cast<std::uint64_t>(weight) / 4;
    return (quarter << 8 | (64 - quarter)) * 0x0001000100010001ull;
}

// fraction * 256 when that is a whole number (the product is exact), else -1.
int Dyadic_Weight(double fraction) {
    const double scaled = fraction * 256;
    return scaled == std::floor(scaled) && scaled >= 0 && scaled < 256 ? static_cast<int>(scaled)
                                                                       : -1;
}

ColumnTables Column_Tables(int width, double r, int sourceWidth) {
    ColumnTables t;
    const std::size_t padded = static_cast<std::size_t>(width) + detail::kTablePad;
    t.slot.resize(padded);
    t.rest.assign(padded, 1.0);
    t.fraction.assign(padded, 0.0);
    t.wholeMask.assign(padded, 0);
    t.weight.assign(padded, 0);
    t.highMask.assign(padded, 0);
    t.coarseWeight.assign(padded, Coarse_Weight(0));
    for (int x = 0; x < width; ++x) {
        const AxisSample a = Locate(x, r, sourceWidth);
        t.slot[x] = static_cast<std::int32_t>(a.lower);
        t.rest[x] = a.rest;
        t.fraction[x] = a.fraction;
        t.wholeMask[x] = a.whole ? ~std::uint64_t{0} : 0;
        const int weight = Dyadic_Weight(a.fraction);
        t.dyadic = t.dyadic && weight >= 0;
        t.coarse = t.coarse && weight >= 0 && weight % 4 == 0;
        t.coarseWeight[x] = Coarse_Weight(weight < 0 ? 0 : weight);
        t.weight[x] = static_cast<std::uint64_t>(weight < 0 ? 0 : weight) * 0x0001000100010001ull;
        t.highMask[x] = a.whole ? 0 : 0xFF000000u;
    }
    std::fill(t.slot.begin() + width, t.slot.end(), t.slot[width - 1]);
    return t;
}

// Where every destination row samples the source. Rows outside read whiteRow.
std::vector<detail::RowSample> Row_Samples(const SourceImage& source, int sourceHeight,
                                           const std::uint32_t* whiteRow, double r, int firstRow,
                                           int height) {
    const auto sourceRow = [&](long long y) {
        return y < sourceHeight ? source.pixels + static_cast<std::ptrdiff_t>(y) * source.stride
                                : whiteRow;
    };
    std::vector<detail::RowSample> rows(height);
    for (int y = 0; y < height; ++y) {
        const AxisSample a = Locate(firstRow + y, r, sourceHeight);
        detail::RowSample& row = rows[y];
        row.upper = sourceRow(a.lower);
        row.lower = a.whole ? row.upper : sourceRow(a.lower + 1);
        row.rest = a.rest;
        row.fraction = a.fraction;
        row.whole = a.whole;
        const int weight = Dyadic_Weight(a.fraction);
        row.weight = static_cast<std::uint16_t>(weight < 0 ? 0 : weight);
    }
    return rows;
}

// How the work is cut: bands about bandColumns wide (or as wide as the tables
// allow), each split into rowParts runs of rows, one piece per thread at a time.
// Pieces go band by band, or with stripsFirst strip by strip.
struct Plan {
    std::vector<int> bandStart, bandEnd;
    int maxSlots = 0;
    int threads = 1;
    int rowParts = 1;
    int partRows = 1;
    bool stripsFirst = false;
};

Plan Plan_Work(const std::vector<std::int32_t>& slot, const DestImage& dst,
               const EnlargeOptions& options) {
    Plan plan;
    // Threads: automatic is one per core, but only as many as the size is worth.
    long long threads = options.threads;
    if (threads <= 0) {
        const long long pixels = static_cast<long long>(dst.width) * dst.height;
        threads =
            std::min<long long>(std::thread::hardware_concurrency(), pixels / kMinPixelsPerThread);
    }
    plan.threads = static_cast<int>(std::clamp<long long>(threads, 1, 64));
    plan.stripsFirst = options.bandColumns <= 0;
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
    for (int x = 0; x < dst.width;) {
        int end = static_cast<int>(std::min<long long>(dst.width, x + bandTarget));
        const auto span = [&](int e) { return slot[e - 1] + 2 - slot[x]; };
        while (end - x > 1 && span(end) > kMaxBandSlots)
            end = x + (end - x) / 2;
        plan.maxSlots = std::max(plan.maxSlots, span(end));
        plan.bandStart.push_back(x);
        plan.bandEnd.push_back(end);
        x = end;
    }
    const long long pieces = plan.stripsFirst
                                 ? plan.rowParts
                                 : static_cast<long long>(plan.bandStart.size()) * plan.rowParts;
    plan.threads = static_cast<int>(std::min<long long>(plan.threads, pieces));
    return plan;
}

// Progress over bands whose pieces finish out of order: reports the growing
// prefix of finished bands, one call at a time.
class BandProgress {
  public:
    BandProgress(const std::function<void(int)>& callback, const std::vector<int>& bandEnd,
                 int parts)
        : callback_(callback), bandEnd_(bandEnd), parts_(parts), done_(bandEnd.size(), 0) {}

    void finished(std::size_t band) {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++done_[band];
        const std::size_t before = prefix_;
        while (prefix_ < done_.size() && done_[prefix_] == parts_)
            ++prefix_;
        if (prefix_ == before || !callback_ || error_)
            return;
        try {
            callback_(bandEnd_[prefix_ - 1]);
        } catch (...) {
            error_ = std::current_exception();
        }
    }

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

// Everything the threads share while they fill the destination.
struct Work {
    const ColumnTables& columns;
    const std::vector<detail::RowSample>& rows;
    const Plan& plan;
    const DestImage& dst;
    int sourceWidth;
    std::uint32_t blendedHigh;
    bool coarse; // the integer loops may blend byte pairs
    void (*run)(const detail::BandJob&);
    std::size_t scratchBytes;
    BandProgress& progress;
    FirstTouch* firstTouch; // set when the work goes in strips
    std::atomic<std::size_t> next{0};
};

// Whether the integer loops give the same pixels as the double arithmetic:
// every weight a whole multiple of 1/256 (then every product and sum is exact),
// neighbours never further apart than their window allows (ratios from 1 up),
// and rounding to nearest, as the integer loops round.
bool Integer_Loops_Exact(const ColumnTables& columns, const std::vector<detail::RowSample>& rows,
                         double r) {
    if (!columns.dyadic || !(r >= 1) || std::fegetround() != FE_TONEAREST)
        return false;
    return std::all_of(rows.begin(), rows.end(), [](const detail::RowSample& row) {
        return Dyadic_Weight(row.fraction) >= 0;
    });
}

// One piece of work: rows part * partRows on of one band.
void Run_Piece(Work& work, std::size_t band, long long part, void* scratch) {
    const Plan& plan = work.plan;
    const int top = static_cast<int>(part * plan.partRows);
    const int bottom = static_cast<int>(std::min<long long>(work.dst.height, top + plan.partRows));
    const int x = plan.bandStart[band];
    if (band == 0 && work.firstTouch)
        work.firstTouch->Wait_For_Rows(top, bottom);
    else if (band == 0)
        Touch_Rows(work.dst, top, bottom, plan.bandEnd[0]);
    detail::BandJob job;
    job.sourceWidth = work.sourceWidth;
    job.slot = work.columns.slot.data() + x;
    job.rest = work.columns.rest.data() + x;
    job.fraction = work.columns.fraction.data() + x;
    job.wholeMask = work.columns.wholeMask.data() + x;
    job.weight = work.columns.weight.data() + x;
    job.highMask = work.columns.highMask.data() + x;
    job.coarseWeight = work.coarse ? work.columns.coarseWeight.data() + x : nullptr;
    job.columns = plan.bandEnd[band] - x;
    job.rows = work.rows.data() + top;
    job.rowCount = bottom - top;
    job.dst = work.dst.pixels + static_cast<std::ptrdiff_t>(top) * work.dst.stride + x;
    job.dstStride = work.dst.stride;
    job.blendedHigh = work.blendedHigh;
    job.scratch = scratch;
    work.run(job);
    work.progress.finished(band);
}

// Takes pieces until none is left: a strip across every band, or one run of
// rows of one band, band by band from the left.
void Run_Pieces(Work& work, void* scratch) {
    const Plan& plan = work.plan;
    const std::size_t bands = plan.bandStart.size();
    const std::size_t pieces = plan.stripsFirst ? plan.rowParts : bands * plan.rowParts;
    for (;;) {
        const std::size_t piece = work.next.fetch_add(1, std::memory_order_relaxed);
        if (piece >= pieces)
            return;
        if (plan.stripsFirst) {
            for (std::size_t band = 0; band < bands; ++band)
                Run_Piece(work, band, static_cast<long long>(piece), scratch);
        } else {
            Run_Piece(work, piece / plan.rowParts, static_cast<long long>(piece % plan.rowParts),
                      scratch);
        }
    }
}

// Runs the pieces on plan.threads threads, this one included.
void Run_Threads(Work& work) {
    const std::size_t scratchBytes = work.scratchBytes;
    std::vector<Scratch> scratch;
    for (int t = 0; t < work.plan.threads; ++t)
        scratch.emplace_back(
            ::operator new (scratchBytes, std::align_val_t{detail::kScratchAlign}));
    std::vector<std::thread> helpers;
    helpers.reserve(work.plan.threads);
    for (int t = 1; t < work.plan.threads; ++t) {
        try {
            helpers.emplace_back(Run_Pieces, std::ref(work), scratch[t].get());
        } catch (...) {
            // No thread (system_error) or no memory for its start-up:
            // fewer threads, and the pieces get done all the same.
            break;
        }
    }
    if (work.firstTouch && !helpers.empty())
        while (work.firstTouch->Touch_Next()) {
        }
    Run_Pieces(work, scratch[0].get());
    for (std::thread& helper : helpers)
        helper.join();
}

} // namespace

EnlargeGeometry Enlarge_Geometry(int sourceWidth, int sourceHeight, double r) {
    EnlargeGeometry g;
    if (!(r > 0) || !std::isfinite(r) || sourceWidth < 0 || sourceHeight < 0)
        return g;
    const long long w = destinationExtent(sourceWidth, r);
    const long long h = destinationExtent(sourceHeight, r);
    if (w < 0 || h < 0 || w > INT_MAX || h > INT_MAX)
        return g;
    // The caller allocates width * height 32-bit pixels; that byte count must fit.
    if (w > 0 && h > PTRDIFF_MAX / 4 / w)
        return g;
    g.valid = true;
    g.width = static_cast<int>(w);
    g.height = static_cast<int>(h);
    g.computedColumns = static_cast<long long>(std::floor(r * sourceWidth)) + 1;
    g.computedRows = static_cast<long long>(std::floor(r * sourceHeight)) + 1;
    return g;
}

bool Enlarge_Kernel_Available(EnlargeKernel kernel) {
#if defined(__x86_64__) || defined(__i386__)
    // Asked once; the statics make the first call thread-safe.
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    static const bool avx512 = (__builtin_cpu_init(), __builtin_cpu_supports("avx512f") &&
                                                          __builtin_cpu_supports("avx512bw"));
    switch (kernel) {
    case EnlargeKernel::Avx2:
        return avx2;
    case EnlargeKernel::Avx512:
        return avx512;
    default:
        return true;
    }
#else
    return kernel == EnlargeKernel::Automatic || kernel == EnlargeKernel::Baseline;
#endif
}

bool Enlarge(const SourceImage& source, double r, const DestImage& dst,
             const EnlargeOptions& options) {
    if (!(r > 0) || !std::isfinite(r))
        return false;
    if (options.firstRow < 0 || dst.height > INT_MAX - options.firstRow)
        return false;
    // The pixel loops index source columns up to width + 1 in int.
    if (source.width > INT_MAX - 2 || !Addressable(source.width, source.height, source.stride) ||
        !Addressable(dst.width, dst.height, dst.stride))
        return false;
    const bool sourceEmpty = source.width == 0 || source.height == 0;
    if (!sourceEmpty && !source.pixels)
        return false;
    if (dst.width == 0 || dst.height == 0) {
        if (options.progress)
            options.progress(dst.width);
        return true;
    }
    if (!dst.pixels)
        return false;

    // A source without pixels in one direction has none at all: every read is
    // outside.
    const int sourceWidth = sourceEmpty ? 0 : source.width;
    const int sourceHeight = sourceEmpty ? 0 : source.height;
    const std::uint32_t blendedHigh = options.blendedHigh & 0xFF000000u;

    std::exception_ptr callbackError;
    try {
        const ColumnTables columns = Column_Tables(dst.width, r, sourceWidth);
        const std::vector<std::uint32_t> whiteRow(static_cast<std::size_t>(sourceWidth) + 1,
                                                  0xFFFFFFFFu);
        const std::vector<detail::RowSample> rows =
            Row_Samples(source, sourceHeight, whiteRow.data(), r, options.firstRow, dst.height);
        const Plan plan = Plan_Work(columns.slot, dst, options);
        Prefer_Huge_Pages(dst);
        std::optional<FirstTouch> firstTouch;
        if (plan.stripsFirst)
            firstTouch.emplace(dst);
        BandProgress progress(options.progress, plan.bandEnd, plan.rowParts);
        const Kernel kernel = Pick_Kernel(options.kernel);
        const bool integer = Integer_Loops_Exact(columns, rows, r);
        const bool coarse = integer && columns.coarse &&
                            std::all_of(rows.begin(), rows.end(), [](const detail::RowSample& row) {
                                return row.weight % 4 == 0;
                            });
        Work work{columns,
                  rows,
                  plan,
                  dst,
                  sourceWidth,
                  blendedHigh,
                  coarse,
                  integer ? kernel.runDyadic : kernel.run,
                  (integer ? kernel.dyadicScratchBytes : kernel.scratchBytes)(plan.maxSlots),
                  progress,
                  firstTouch ? &*firstTouch : nullptr};
        Run_Threads(work);
        callbackError = progress.error();
    } catch (const std::bad_alloc&) {
        // Only the tables and the scratch memory are allocated, all before the
        // first pixel is written.
        return false;
    }
    if (callbackError)
        std::rethrow_exception(callbackError);
    return true;
}

} // namespace velmora
