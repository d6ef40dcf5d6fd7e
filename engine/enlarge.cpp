#include "engine/enlarge.h"

#include "engine/enlarge_kernel.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace velmora {

namespace {

// The destination is cut into vertical bands that the threads take from left to
// right. Wide bands stream the source and destination rows best (every band row
// is a separate run of memory, often its own page); an equal number of bands per
// thread keeps the threads finishing together.
constexpr int kBandColumns = 1024;
constexpr int kBandAlign = 16; // whole vector groups of destination columns
// A band reads at most this many source columns, so that its vertical-pass
// results stay in the second-level cache; only ratios below 1 come near it.
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

// A fresh destination is faulted in page by page as the bands first write it,
// and with 4 KiB pages that costs more than computing the pixels. Transparent
// huge pages are asked for on the 2 MiB-aligned part of the destination: only a
// hint, which leaves the contents alone and is ignored where unsupported.
void Prefer_Huge_Pages(const DestImage& dst) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(dst.pixels);
    const auto bytes =
        (static_cast<std::uintptr_t>(dst.height - 1) * static_cast<std::uintptr_t>(dst.stride) +
         static_cast<std::uintptr_t>(dst.width)) *
        sizeof(std::uint32_t);
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t end = (begin + bytes) & ~(kHuge - 1);
    if (end > first)
        madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)dst;
#endif
}

struct Kernel {
    void (*run)(const detail::BandJob&);
    std::size_t (*scratchBytes)(int);
};

Kernel Pick_Kernel(EnlargeKernel wanted) {
    if (wanted == EnlargeKernel::Automatic || !Enlarge_Kernel_Available(wanted)) {
        wanted = Enlarge_Kernel_Available(EnlargeKernel::Avx512) ? EnlargeKernel::Avx512
                 : Enlarge_Kernel_Available(EnlargeKernel::Avx2) ? EnlargeKernel::Avx2
                                                                 : EnlargeKernel::Baseline;
    }
    switch (wanted) {
    case EnlargeKernel::Avx512:
        return {detail::Run_Band_Avx512, detail::Scratch_Bytes_Avx512};
    case EnlargeKernel::Avx2:
        return {detail::Run_Band_Avx2, detail::Scratch_Bytes_Avx2};
    default:
        return {detail::Run_Band_Baseline, detail::Scratch_Bytes_Baseline};
    }
}

struct AlignedFree {
    void operator()(void* p) const {
        ::operator delete (p, std::align_val_t{detail::kScratchAlign});
    }
};
using Scratch = std::unique_ptr<void, AlignedFree>;

// Progress over bands that finish out of order: reports the growing prefix of
// finished bands, one call at a time.
class BandProgress {
  public:
    BandProgress(const std::function<void(int)>& callback, const std::vector<int>& bandEnd)
        : callback_(callback), bandEnd_(bandEnd), done_(bandEnd.size(), 0) {}

    void finished(std::size_t band) {
        const std::lock_guard<std::mutex> lock(mutex_);
        done_[band] = 1;
        const std::size_t before = prefix_;
        while (prefix_ < done_.size() && done_[prefix_])
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
    std::mutex mutex_;
    std::vector<unsigned char> done_;
    std::size_t prefix_ = 0;
    std::exception_ptr error_;
};

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
    static const bool avx512 = (__builtin_cpu_init(), __builtin_cpu_supports("avx512f"));
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
        // Where every destination column samples the source.
        std::vector<std::int32_t> slot(dst.width);
        std::vector<double> rest(dst.width), fraction(dst.width);
        std::vector<std::uint8_t> whole(dst.width);
        for (int x = 0; x < dst.width; ++x) {
            const AxisSample a = Locate(x, r, sourceWidth);
            slot[x] = static_cast<std::int32_t>(a.lower);
            rest[x] = a.rest;
            fraction[x] = a.fraction;
            whole[x] = a.whole;
        }

        // Where every destination row samples the source. Rows outside read a row
        // of white.
        const std::vector<std::uint32_t> whiteRow(static_cast<std::size_t>(sourceWidth) + 1,
                                                  0xFFFFFFFFu);
        const auto sourceRow = [&](long long y) {
            return y < sourceHeight ? source.pixels + static_cast<std::ptrdiff_t>(y) * source.stride
                                    : whiteRow.data();
        };
        std::vector<detail::RowSample> rows(dst.height);
        for (int y = 0; y < dst.height; ++y) {
            const AxisSample a = Locate(options.firstRow + y, r, sourceHeight);
            detail::RowSample& row = rows[y];
            row.upper = sourceRow(a.lower);
            row.lower = a.whole ? row.upper : sourceRow(a.lower + 1);
            row.rest = a.rest;
            row.fraction = a.fraction;
            row.whole = a.whole;
        }

        // Threads: automatic is one per core, but only as many as the size is
        // worth. Bands: about bandColumns wide, as many for every thread.
        long long threads = options.threads;
        if (threads <= 0) {
            const long long pixels = static_cast<long long>(dst.width) * dst.height;
            threads = std::min<long long>(std::thread::hardware_concurrency(),
                                          pixels / kMinPixelsPerThread);
        }
        threads = std::clamp<long long>(threads, 1, 64);
        const long long bandColumns = options.bandColumns > 0 ? options.bandColumns : kBandColumns;
        long long bandCount = (dst.width + bandColumns - 1) / bandColumns;
        bandCount = (bandCount + threads - 1) / threads * threads;
        const long long bandTarget = std::max<long long>(
            kBandAlign,
            ((dst.width + bandCount - 1) / bandCount + kBandAlign - 1) / kBandAlign * kBandAlign);
        std::vector<int> bandStart, bandEnd;
        int maxSlots = 0;
        for (int x = 0; x < dst.width;) {
            int end = static_cast<int>(std::min<long long>(dst.width, x + bandTarget));
            const auto span = [&](int e) { return slot[e - 1] + 2 - slot[x]; };
            while (end - x > 1 && span(end) > kMaxBandSlots)
                end = x + (end - x) / 2;
            maxSlots = std::max(maxSlots, span(end));
            bandStart.push_back(x);
            bandEnd.push_back(end);
            x = end;
        }
        threads = std::min<long long>(threads, static_cast<long long>(bandStart.size()));

        Prefer_Huge_Pages(dst);
        const Kernel kernel = Pick_Kernel(options.kernel);
        const std::size_t scratchBytes = kernel.scratchBytes(maxSlots);
        std::vector<Scratch> scratch;
        for (int t = 0; t < threads; ++t)
            scratch.emplace_back(
                ::operator new (scratchBytes, std::align_val_t{detail::kScratchAlign}));

        BandProgress progress(options.progress, bandEnd);
        std::atomic<std::size_t> nextBand{0};
        const auto work = [&](void* buffer) {
            for (;;) {
                const std::size_t b = nextBand.fetch_add(1, std::memory_order_relaxed);
                if (b >= bandStart.size())
                    return;
                const int x = bandStart[b];
                detail::BandJob job;
                job.sourceWidth = sourceWidth;
                job.slot = slot.data() + x;
                job.rest = rest.data() + x;
                job.fraction = fraction.data() + x;
                job.whole = whole.data() + x;
                job.columns = bandEnd[b] - x;
                job.rows = rows.data();
                job.rowCount = dst.height;
                job.dst = dst.pixels + x;
                job.dstStride = dst.stride;
                job.blendedHigh = blendedHigh;
                job.scratch = buffer;
                kernel.run(job);
                progress.finished(b);
            }
        };

        std::vector<std::thread> helpers;
        helpers.reserve(threads);
        for (int t = 1; t < threads; ++t) {
            try {
                helpers.emplace_back(work, scratch[t].get());
            } catch (...) {
                // No thread (system_error) or no memory for its start-up:
                // fewer threads, and the bands get done all the same.
                break;
            }
        }
        work(scratch[0].get());
        for (std::thread& helper : helpers)
            helper.join();
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
