// VelmoraEnlargedSize, VelmoraEnlarge, VelmoraEnlargeRect and
// VelmoraStatusText: the engine's enlargement for callers of every pixel
// layout, from their memory into their memory.
//
// Where the ratio's weights are whole 64ths and the processor permutes bytes,
// the byte loops enlarge every byte of the caller's layout where it lies.
// Otherwise the engine reads and writes 32-bit words whose low three bytes are
// the channels (which channel is which does not matter: each is enlarged on
// its own by the same rule). A four-byte layout is such a word already, so the
// engine reads the caller's pixels where they lie and writes the caller's
// buffer directly; other layouts are widened into words once, and the engine
// stores the low bytes of its words straight into the caller's rows. An alpha
// channel that is not opaque everywhere is enlarged as a picture of its own,
// into the fourth byte.

#include "velmora.h"

#include "engine/enlarge.h"
#include "engine/enlarge_bytes.h"
#include "engine/firsttouch.h"
#include "parallel/parallel.h"
#include "statuswords.h"
#include "stripencoder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

using velmora::DestImage;
using velmora::EnlargeOptions;
using velmora::EnlargeStatus;
using velmora::SourceImage;

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

// Runs work(top, bottom) over bands of rows 0 to height on up to `threads`
// threads (clamped by parallel::workerCount), this one included; bands a
// thread the system refuses would have taken are done by the others. The band
// is sized in 64 bits, so that no thread count overflows it.
void splitRows(int height, int threads, const std::function<void(int, int)>& work) {
    const int workers = velmora::parallel::workerCount(std::max(1, threads));
    const long long band = (static_cast<long long>(height) + workers - 1) / workers;
    const auto bands = static_cast<std::size_t>((height + band - 1) / band);
    velmora::parallel::runPieces(bands, workers, [&](std::size_t k) {
        const long long top = static_cast<long long>(k) * band;
        work(static_cast<int>(top), static_cast<int>(std::min<long long>(height, top + band)));
    });
}

// A copy of at least this many pixels is widened on several threads.
constexpr long long kWidenAloneUpTo = 1 << 20;

// The source as the engine reads it: the caller's words, or a copy widened
// into words (`alpha`: the alpha channel alone, in each of the three bytes),
// on up to `threads` threads.
class SourceWords {
  public:
    SourceWords(const Pixels& p, bool alpha, int threads) {
        const int bpp = bytesPerPixel(p.layout);
        if (bpp == 4 && !alpha && wordsInPlace(p.bytes, p.stride)) {
            view_ = {reinterpret_cast<const std::uint32_t*>(p.bytes), p.width, p.height,
                     static_cast<std::ptrdiff_t>(p.stride / 4)};
            return;
        }
        // Not cleared first: every word is written below. Huge pages make the
        // first touch of a large copy cheap.
        const std::size_t count = static_cast<std::size_t>(p.width) * p.height;
        words_.reset(new std::uint32_t[count]);
        view_ = {words_.get(), p.width, p.height, p.width};
        velmora::detail::preferHugePages({words_.get(), p.width, p.height, p.width});
        const auto widen = [this, &p, alpha, bpp](int top, int bottom) {
            if (alpha)
                widenRows<4, true>(p, top, bottom);
            else if (bpp == 1)
                widenRows<1, false>(p, top, bottom);
            else
                widenRows<3, false>(p, top, bottom); // and four bytes not aligned as words
        };
        splitRows(p.height, static_cast<long long>(count) < kWidenAloneUpTo ? 1 : threads, widen);
    }
    const SourceImage& view() const { return view_; }

  private:
    // One loop per layout, so that each is a plain run the compiler can widen.
    template <int Bpp, bool Alpha> void widenRows(const Pixels& p, int top, int bottom) {
        const int step = bytesPerPixel(p.layout);
        for (int y = top; y < bottom; ++y) {
            const unsigned char* px = p.bytes + p.stride * y;
            std::uint32_t* out = words_.get() + static_cast<std::size_t>(p.width) * y;
            for (int x = 0; x < p.width; ++x, px += step) {
                if constexpr (Alpha)
                    out[x] = px[3] * 0x010101u;
                else if constexpr (Bpp == 1)
                    out[x] = px[0] * 0x010101u;
                else
                    out[x] = px[0] | std::uint32_t(px[1]) << 8 | std::uint32_t(px[2]) << 16;
            }
        }
    }

    std::unique_ptr<std::uint32_t[]> words_;
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

// Narrows rows of result words into the target's four bytes a pixel
// (`alpha`: into the fourth byte alone).
template <bool Alpha>
void narrowRows(const std::uint32_t* words, int rows, const Target& t, int firstRow) {
    for (int y = 0; y < rows; ++y) {
        const std::uint32_t* from = words + static_cast<std::size_t>(t.width) * y;
        unsigned char* to = t.bytes + t.stride * (firstRow + y);
        for (int x = 0; x < t.width; ++x, to += 4) {
            const std::uint32_t w = from[x];
            if constexpr (Alpha) {
                to[3] = static_cast<unsigned char>(w);
            } else {
                to[0] = static_cast<unsigned char>(w);
                to[1] = static_cast<unsigned char>(w >> 8);
                to[2] = static_cast<unsigned char>(w >> 16);
                to[3] = static_cast<unsigned char>(w >> 24);
            }
        }
    }
}

void narrow(const std::uint32_t* words, int rows, const Target& t, int firstRow, bool alpha) {
    if (alpha)
        narrowRows<true>(words, rows, t, firstRow);
    else
        narrowRows<false>(words, rows, t, firstRow);
}

// The result of source by ratio in the target, narrowed into the target's
// layout (`alpha`: its fourth byte alone) a strip at a time as the engine's
// threads make them (with `options` for the rest), so that no copy of the whole
// result in words is needed.
EnlargeStatus enlargeNarrowed(const SourceImage& source, double ratio, const Target& t,
                              EnlargeOptions options, bool alpha) {
    options.rowSink = [&](const std::uint32_t* words, int firstRow, int rowCount) {
        narrow(words, rowCount, t, firstRow, alpha);
    };
    // The alpha pass writes memory the colour pass has already brought in.
    if (!alpha) {
        options.sinkMemory = t.bytes;
        options.sinkRowBytes = static_cast<std::size_t>(t.width) * bytesPerPixel(t.layout);
        options.sinkStride = static_cast<std::ptrdiff_t>(t.stride);
    }
    return velmora::enlarge(source, ratio, {nullptr, t.width, t.height, 0}, options);
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

// The colour channels, then the alpha channel where it is not opaque; or
// every byte at once where the byte loops can do it.
int enlargeInto(const Pixels& p, double ratio, const Target& t, int threads) {
    EnlargeOptions options;
    options.threads = threads;
    options.blendedHigh = kOpaque;
    options.firstColumn = t.left;
    options.firstRow = t.top;
    const int bpp = bytesPerPixel(p.layout);
    if (const std::optional<EnlargeStatus> status = velmora::enlargeBytes(
            {p.bytes, p.width, p.height, static_cast<std::ptrdiff_t>(p.stride), bpp}, ratio,
            {t.bytes, t.width, t.height, static_cast<std::ptrdiff_t>(t.stride)}, options))
        return statusOf(*status);
    const SourceWords colour(p, false, threads);
    const bool fourBytes = bpp == 4;
    EnlargeStatus status;
    if (fourBytes && wordsInPlace(t.bytes, t.stride)) {
        // The engine writes the caller's words; an unblended pixel keeps its
        // alpha byte, a blended one gets 255.
        status = velmora::enlarge(colour.view(), ratio,
                                  {reinterpret_cast<std::uint32_t*>(t.bytes), t.width, t.height,
                                   static_cast<std::ptrdiff_t>(t.stride / 4)},
                                  options);
    } else if (!fourBytes) {
        // The engine writes the low bytes of each word into the caller's rows.
        options.byteDest = t.bytes;
        options.byteStride = static_cast<std::ptrdiff_t>(t.stride);
        options.byteChannels = bpp;
        status = velmora::enlarge(colour.view(), ratio, {nullptr, t.width, t.height, 0}, options);
    } else {
        status = enlargeNarrowed(colour.view(), ratio, t, options, false);
    }
    if (status != EnlargeStatus::Done || !fourBytes || opaque(p))
        return statusOf(status);
    const SourceWords alpha(p, true, threads);
    return statusOf(enlargeNarrowed(alpha.view(), ratio, t, options, true));
}

// The threads asked for, clamped to parallel::workerLimit(); 0: the encoder's
// count (VELMORA_THREADS when set, else every core the process may run on).
int threadCount(std::int32_t threads) {
    return threads > 0 ? velmora::parallel::workerCount(threads) : velmora::jpeg::workerCount();
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
