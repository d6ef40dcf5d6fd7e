// VelmoraEnlargedSize, VelmoraEnlarge, VelmoraEnlargeRect and
// VelmoraStatusText: the engine's enlargement for callers of every pixel
// layout, from their memory into their memory.
//
// The engine reads and writes 32-bit words whose low three bytes are the
// channels (which channel is which does not matter: each is enlarged on its
// own by the same rule). A four-byte layout is such a word already, so the
// engine reads the caller's pixels where they lie and writes the caller's
// buffer directly; other layouts are widened into words once, and the result
// is made a strip of rows at a time on every core and narrowed into the
// caller's layout. An alpha channel that is not opaque everywhere is enlarged
// as a picture of its own, into the fourth byte.

#include "velmora.h"

#include "engine/enlarge.h"
#include "statuswords.h"
#include "stripencoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using velmora::DestImage;
using velmora::EnlargeOptions;
using velmora::EnlargeStatus;
using velmora::SourceImage;

// Rows of the result made at a time by one thread before they are narrowed
// into the caller's layout: a strip of a few megabytes stays in the cache.
constexpr std::size_t kStripBytes = std::size_t(4) << 20;
constexpr std::uint32_t kOpaque = 0xFF000000u;

// The caller's picture.
struct Pixels {
    const unsigned char* bytes = nullptr;
    int width = 0, height = 0;
    std::int64_t stride = 0;
    int layout = 0;
};

int bytesPerPixel(int layout) {
    switch (layout) {
    case VELMORA_LAYOUT_RGB:
    case VELMORA_LAYOUT_BGR:
        return 3;
    case VELMORA_LAYOUT_RGBA:
    case VELMORA_LAYOUT_BGRA:
        return 4;
    case VELMORA_LAYOUT_GRAY:
        return 1;
    default:
        return 0;
    }
}

bool validRatio(double ratio) {
    return std::isfinite(ratio) && ratio >= VELMORA_MIN_RATIO && ratio <= VELMORA_MAX_RATIO;
}

// Whether rows of rowBytes, stride apart, fit the address space from their start.
bool addressable(std::int64_t stride, std::int64_t rows, std::int64_t rowBytes) {
    std::int64_t end = 0;
    return !__builtin_mul_overflow(rows - 1, stride, &end) &&
           !__builtin_add_overflow(end, rowBytes, &end) && end <= PTRDIFF_MAX;
}

// A four-byte picture the engine can read and write where it lies: words
// aligned as words, rows a whole number of words apart.
bool wordsInPlace(const void* at, std::int64_t stride) {
    return reinterpret_cast<std::uintptr_t>(at) % alignof(std::uint32_t) == 0 &&
           stride % static_cast<std::int64_t>(sizeof(std::uint32_t)) == 0;
}

// The source as the engine reads it: the caller's words, or a copy widened
// into words (`alpha`: the alpha channel alone, in each of the three bytes).
class SourceWords {
  public:
    SourceWords(const Pixels& p, bool alpha) {
        const int bpp = bytesPerPixel(p.layout);
        if (bpp == 4 && !alpha && wordsInPlace(p.bytes, p.stride)) {
            view_ = {reinterpret_cast<const std::uint32_t*>(p.bytes), p.width, p.height,
                     static_cast<std::ptrdiff_t>(p.stride / 4)};
            return;
        }
        words_.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
        for (int y = 0; y < p.height; ++y) {
            const unsigned char* row = p.bytes + p.stride * y;
            std::uint32_t* out = words_.data() + static_cast<std::size_t>(p.width) * y;
            for (int x = 0; x < p.width; ++x, row += bpp)
                out[x] = widen(row, bpp, alpha);
        }
        view_ = {words_.data(), p.width, p.height, p.width};
    }
    const SourceImage& view() const { return view_; }

  private:
    static std::uint32_t widen(const unsigned char* px, int bpp, bool alpha) {
        const std::uint32_t one = alpha ? px[3] : px[0];
        if (bpp == 1 || alpha)
            return one * 0x010101u;
        return one | std::uint32_t(px[1]) << 8 | std::uint32_t(px[2]) << 16;
    }

    std::vector<std::uint32_t> words_;
    SourceImage view_;
};

// Whether every pixel of a four-byte picture is opaque.
bool opaque(const Pixels& p) {
    for (int y = 0; y < p.height; ++y) {
        const unsigned char* row = p.bytes + p.stride * y;
        for (int x = 0; x < p.width; ++x)
            if (row[4 * x + 3] != 0xFF)
                return false;
    }
    return true;
}

// Where the result goes.
struct Target {
    unsigned char* bytes = nullptr;
    int left = 0, top = 0, width = 0, height = 0;
    std::int64_t stride = 0;
    int layout = 0;
};

// Narrows rows of result words into the target's layout (`alpha`: into the
// fourth byte alone).
void narrow(const std::uint32_t* words, int rows, const Target& t, int firstRow, bool alpha) {
    const int bpp = bytesPerPixel(t.layout);
    for (int y = 0; y < rows; ++y) {
        const std::uint32_t* from = words + static_cast<std::size_t>(t.width) * y;
        unsigned char* to = t.bytes + t.stride * (firstRow + y);
        for (int x = 0; x < t.width; ++x, to += bpp) {
            const std::uint32_t w = from[x];
            if (alpha) {
                to[3] = static_cast<unsigned char>(w);
                continue;
            }
            to[0] = static_cast<unsigned char>(w);
            if (bpp >= 3) {
                to[1] = static_cast<unsigned char>(w >> 8);
                to[2] = static_cast<unsigned char>(w >> 16);
            }
            if (bpp == 4)
                to[3] = static_cast<unsigned char>(w >> 24);
        }
    }
}

// Runs job(0) .. job(count - 1) on up to `threads` threads, this one included.
void onThreads(int count, int threads, const std::function<void(int)>& job) {
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int k; (k = next.fetch_add(1)) < count;)
            job(k);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(threads, count); ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads, the same result
        }
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
}

// The result of source by ratio in the target, a strip of rows at a time on
// `threads` threads, narrowed into the target's layout (`alpha`: its fourth
// byte alone).
EnlargeStatus enlargeInStrips(const SourceImage& source, double ratio, const Target& t, int threads,
                              bool alpha) {
    const int rows = static_cast<int>(
        std::clamp<std::size_t>(kStripBytes / (4 * static_cast<std::size_t>(t.width)), 1,
                                static_cast<std::size_t>(t.height)));
    const int strips = (t.height + rows - 1) / rows;
    std::atomic<int> failure{static_cast<int>(EnlargeStatus::Done)};
    onThreads(strips, threads, [&](int n) {
        if (failure.load() != static_cast<int>(EnlargeStatus::Done))
            return;
        const int first = n * rows, count = std::min(rows, t.height - first);
        try {
            std::vector<std::uint32_t> strip(static_cast<std::size_t>(t.width) * count);
            EnlargeOptions options;
            options.threads = 1;
            options.blendedHigh = kOpaque;
            options.firstColumn = t.left;
            options.firstRow = t.top + first;
            const EnlargeStatus status =
                velmora::enlarge(source, ratio, {strip.data(), t.width, count, t.width}, options);
            if (status != EnlargeStatus::Done)
                failure = static_cast<int>(status);
            else
                narrow(strip.data(), count, t, first, alpha);
        } catch (const std::bad_alloc&) {
            failure = static_cast<int>(EnlargeStatus::OutOfMemory);
        }
    });
    return static_cast<EnlargeStatus>(failure.load());
}

int statusOf(EnlargeStatus status) {
    switch (status) {
    case EnlargeStatus::Done:
        return VELMORA_OK;
    case EnlargeStatus::OutOfMemory:
        return VELMORA_E_OUT_OF_MEMORY;
    case EnlargeStatus::Refused:
    case EnlargeStatus::Stopped:
        break;
    }
    return VELMORA_E_ARGUMENT;
}

// The colour channels, then the alpha channel where it is not opaque.
int enlargeInto(const Pixels& p, double ratio, const Target& t, int threads) {
    const SourceWords colour(p, false);
    const bool fourBytes = bytesPerPixel(p.layout) == 4;
    EnlargeStatus status;
    if (fourBytes && wordsInPlace(t.bytes, t.stride)) {
        // The engine writes the caller's words; an unblended pixel keeps its
        // alpha byte, a blended one gets 255.
        EnlargeOptions options;
        options.threads = threads;
        options.blendedHigh = kOpaque;
        options.firstColumn = t.left;
        options.firstRow = t.top;
        status = velmora::enlarge(colour.view(), ratio,
                                  {reinterpret_cast<std::uint32_t*>(t.bytes), t.width, t.height,
                                   static_cast<std::ptrdiff_t>(t.stride / 4)},
                                  options);
    } else {
        status = enlargeInStrips(colour.view(), ratio, t, threads, false);
    }
    if (status != EnlargeStatus::Done || !fourBytes || opaque(p))
        return statusOf(status);
    const SourceWords alpha(p, true);
    return statusOf(enlargeInStrips(alpha.view(), ratio, t, threads, true));
}

int threadCount(std::int32_t threads) {
    return threads > 0 ? threads : velmora::jpeg::workerCount();
}

int checkPicture(const void* source, std::int32_t width, std::int32_t height,
                 std::int64_t sourceStride, std::int32_t layout, double ratio) {
    const int bpp = bytesPerPixel(layout);
    if (!source || width < 1 || height < 1 || bpp == 0 || !validRatio(ratio) ||
        sourceStride < std::int64_t(width) * bpp)
        return VELMORA_E_ARGUMENT;
    if (!addressable(sourceStride, height, std::int64_t(width) * bpp))
        return VELMORA_E_TOO_LARGE;
    return VELMORA_OK;
}

int enlargeRect(const Pixels& p, double ratio, const Target& t, std::int32_t threads) {
    if (const int rc = checkPicture(p.bytes, p.width, p.height, p.stride, p.layout, ratio))
        return rc;
    const velmora::EnlargeGeometry g = velmora::enlargeGeometry(p.width, p.height, ratio);
    const int bpp = bytesPerPixel(p.layout);
    if (!t.bytes || threads < 0 || t.width < 1 || t.height < 1 || t.left < 0 || t.top < 0 ||
        t.stride < std::int64_t(t.width) * bpp)
        return VELMORA_E_ARGUMENT;
    if (!g.valid)
        return VELMORA_E_TOO_LARGE;
    if (t.left > g.width - t.width || t.top > g.height - t.height)
        return VELMORA_E_ARGUMENT;
    if (!addressable(t.stride, t.height, std::int64_t(t.width) * bpp))
        return VELMORA_E_TOO_LARGE;
    return velmora::jpeg::guarded([&] { return enlargeInto(p, ratio, t, threadCount(threads)); });
}

} // namespace

extern "C" VELMORA_API int32_t VelmoraEnlargedSize(int32_t width, int32_t height, double ratio,
                                                   int32_t* resultWidth, int32_t* resultHeight) {
    if (!resultWidth || !resultHeight || width < 1 || height < 1 || !validRatio(ratio))
        return VELMORA_E_ARGUMENT;
    const velmora::EnlargeGeometry g = velmora::enlargeGeometry(width, height, ratio);
    if (!g.valid)
        return VELMORA_E_TOO_LARGE;
    *resultWidth = g.width;
    *resultHeight = g.height;
    return VELMORA_OK;
}

extern "C" VELMORA_API int32_t VelmoraEnlargeRect(const void* source, int32_t width, int32_t height,
                                                  int64_t sourceStride, int32_t layout,
                                                  double ratio, int32_t left, int32_t top,
                                                  int32_t rectWidth, int32_t rectHeight,
                                                  void* destination, int64_t destinationStride,
                                                  int32_t threads) {
    const Pixels p{static_cast<const unsigned char*>(source), width, height, sourceStride, layout};
    const Target t{static_cast<unsigned char*>(destination),
                   left,
                   top,
                   rectWidth,
                   rectHeight,
                   destinationStride,
                   layout};
    return enlargeRect(p, ratio, t, threads);
}

extern "C" VELMORA_API int32_t VelmoraEnlarge(const void* source, int32_t width, int32_t height,
                                              int64_t sourceStride, int32_t layout, double ratio,
                                              void* destination, int64_t destinationStride,
                                              int32_t threads) {
    int32_t resultWidth = 0, resultHeight = 0;
    if (const int rc = checkPicture(source, width, height, sourceStride, layout, ratio))
        return rc;
    if (const int rc = VelmoraEnlargedSize(width, height, ratio, &resultWidth, &resultHeight))
        return rc;
    // A result without pixels is done at once.
    if (resultWidth == 0 || resultHeight == 0)
        return VELMORA_OK;
    const Pixels p{static_cast<const unsigned char*>(source), width, height, sourceStride, layout};
    const Target t{static_cast<unsigned char*>(destination),
                   0,
                   0,
                   resultWidth,
                   resultHeight,
                   destinationStride,
                   layout};
    return enlargeRect(p, ratio, t, threads);
}

extern "C" VELMORA_API const char* VelmoraStatusText(int32_t status) {
    if (const velmora::jpeg::StatusWords* words = velmora::jpeg::findStatusWords(status))
        return words->summary;
    return "unknown status";
}
