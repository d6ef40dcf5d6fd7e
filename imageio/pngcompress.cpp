#include "imageio/pngcompress.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>

namespace velmora::imageio {

namespace {

constexpr int kBytesPerPixel = 3;
// PNG's filter types: none, sub, up, average, Paeth (a tie goes to the first).
constexpr int kFilters = 5;
// zlib takes at most this much input or output in one call (its counts are
// 32-bit); a row of a very wide picture goes in pieces.
constexpr std::size_t kMaxZlibPiece = std::size_t(1) << 30;
// Deflate's window (32 KiB, as the writer's zlib header says) and zlib's most
// memory for its state, for speed; a negative window: raw deflate, without
// zlib's header. The level does not change what the run-length strategy
// finds.
constexpr int kWindowBits = 15;
constexpr int kMemoryLevel = 9;
constexpr int kLevel = 1;
// The least room given to a deflate call: enough for what a flush or the
// final block writes at once; the output doubles when it is short of it.
constexpr std::size_t kFlushBytes = 64;

// The loops below run on the widest vectors the processor has: each is
// compiled for AVX2 besides the baseline, the one to run chosen at load.
#define VELMORA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))

// The row's pixels as bytes red, green, blue.
VELMORA_VECTOR_CLONES void toRgb(const std::uint32_t* pixels, std::size_t width,
                                 unsigned char* rgb) {
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint32_t v = pixels[x];
        rgb[3 * x] = static_cast<unsigned char>(v >> 16);
        rgb[3 * x + 1] = static_cast<unsigned char>(v >> 8);
        rgb[3 * x + 2] = static_cast<unsigned char>(v);
    }
}

// How far the filtered bytes are from zero, each taken as signed: the
// smaller of a byte and its negation is its distance. Summed in 32 bits a
// piece at a time, short enough that a piece's sum cannot overflow.
VELMORA_VECTOR_CLONES unsigned long long cost(const unsigned char* out, std::size_t n) {
    constexpr std::size_t kPiece = std::size_t(1) << 24;
    unsigned long long sum = 0;
    for (std::size_t from = 0; from < n; from += kPiece) {
        std::uint32_t piece = 0;
        const std::size_t to = std::min(n, from + kPiece);
        for (std::size_t i = from; i < to; ++i) {
            const unsigned char negated = static_cast<unsigned char>(-out[i]);
            piece += std::min(out[i], negated);
        }
        sum += piece;
    }
    return sum;
}

// In 16 bits, so that a vector holds as many lanes as it can.
unsigned char paeth(std::int16_t a, std::int16_t b, std::int16_t c) {
    const std::int16_t pa = static_cast<std::int16_t>(std::abs(b - c)),
                       pb = static_cast<std::int16_t>(std::abs(a - c)),
                       pc = static_cast<std::int16_t>(std::abs(a + b - 2 * c));
    return static_cast<unsigned char>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Each filter of the row into its own output. The left neighbours of the
// first pixel, and above it in the picture's first row, are zeros.
VELMORA_VECTOR_CLONES void filterSub(const unsigned char* row, const unsigned char*, std::size_t n,
                                     unsigned char* out) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<unsigned char>(row[i] - (i < kBytesPerPixel ? 0 : row[i - 3]));
}

VELMORA_VECTOR_CLONES void filterUp(const unsigned char* row, const unsigned char* above,
                                    std::size_t n, unsigned char* out) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<unsigned char>(row[i] - above[i]);
}

VELMORA_VECTOR_CLONES void filterAverage(const unsigned char* row, const unsigned char* above,
                                         std::size_t n, unsigned char* out) {
    for (std::size_t i = 0; i < kBytesPerPixel && i < n; ++i)
        out[i] = static_cast<unsigned char>(row[i] - (above[i] >> 1));
    for (std::size_t i = kBytesPerPixel; i < n; ++i)
        out[i] = static_cast<unsigned char>(row[i] - ((row[i - 3] + above[i]) >> 1));
}

VELMORA_VECTOR_CLONES void filterPaeth(const unsigned char* row, const unsigned char* above,
                                       std::size_t n, unsigned char* out) {
    for (std::size_t i = 0; i < kBytesPerPixel && i < n; ++i)
        out[i] = static_cast<unsigned char>(row[i] - above[i]);
    for (std::size_t i = kBytesPerPixel; i < n; ++i)
        out[i] = static_cast<unsigned char>(row[i] - paeth(row[i - 3], above[i], above[i - 3]));
}

} // namespace

long long pngFilteredBytes(int width, int height) {
    return (1 + kBytesPerPixel * static_cast<long long>(std::max(width, 0))) * std::max(height, 0);
}

// The compressor's buffers (the row and the one above it as RGB, a filtered
// row for each filter, each led by its filter type byte) and its deflate
// stream, all kept from strip to strip.
struct PngStripCompressor::State {
    std::size_t width = 0;
    std::size_t rowBytes = 0;
    std::vector<unsigned char> row, above;
    std::array<std::vector<unsigned char>, kFilters> filtered;
    z_stream stream{};
    bool streamReady = false;

    // The bytes of the strip's output used so far.
    std::size_t used = 0;

    ~State() {
        if (streamReady)
            deflateEnd(&stream);
    }

    std::size_t chooseFilter();
    bool deflateBytes(const unsigned char* data, std::size_t n, int flush, PngStrip* strip);
    bool deflateRow(const std::uint32_t* pixels, PngStrip* strip);
};

// Filters the row against the one above every way; the cheapest filter.
std::size_t PngStripCompressor::State::chooseFilter() {
    using Apply = void (*)(const unsigned char*, const unsigned char*, std::size_t, unsigned char*);
    static constexpr Apply kApply[kFilters] = {nullptr, filterSub, filterUp, filterAverage,
                                               filterPaeth};
    std::size_t best = 0;
    unsigned long long bestCost = cost(row.data(), rowBytes);
    for (std::size_t f = 1; f < kFilters; ++f) {
        kApply[f](row.data(), above.data(), rowBytes, filtered[f].data() + 1);
        const unsigned long long c = cost(filtered[f].data() + 1, rowBytes);
        if (c < bestCost) {
            best = f;
            bestCost = c;
        }
    }
    if (best == 0)
        std::memcpy(filtered[0].data() + 1, row.data(), rowBytes);
    return best;
}

// Deflates n bytes with the given flush into the strip's output after the
// bytes used so far, growing it as needed.
bool PngStripCompressor::State::deflateBytes(const unsigned char* data, std::size_t n, int flush,
                                             PngStrip* strip) {
    std::vector<unsigned char>& out = strip->deflated;
    do {
        const std::size_t piece = std::min(n, kMaxZlibPiece);
        stream.next_in = const_cast<unsigned char*>(data);
        stream.avail_in = static_cast<uInt>(piece);
        data += piece;
        n -= piece;
        do {
            if (out.size() - used < kFlushBytes)
                out.resize(used + std::min(std::max(out.size(), kFlushBytes), kMaxZlibPiece));
            stream.next_out = out.data() + used;
            stream.avail_out = static_cast<uInt>(std::min(out.size() - used, kMaxZlibPiece));
            const uInt room = stream.avail_out;
            if (deflate(&stream, n == 0 ? flush : Z_NO_FLUSH) == Z_STREAM_ERROR)
                return false;
            used += room - stream.avail_out;
        } while (stream.avail_out == 0 || stream.avail_in > 0);
    } while (n > 0);
    return true;
}

bool PngStripCompressor::State::deflateRow(const std::uint32_t* pixels, PngStrip* strip) {
    toRgb(pixels, width, row.data());
    const std::vector<unsigned char>& chosen = filtered[chooseFilter()];
    const std::size_t n = rowBytes + 1;
    for (std::size_t done = 0; done < n; done += kMaxZlibPiece)
        strip->adler = static_cast<std::uint32_t>(
            adler32(strip->adler, chosen.data() + done,
                    static_cast<uInt>(std::min(n - done, kMaxZlibPiece))));
    strip->filteredBytes += static_cast<long long>(n);
    std::swap(row, above);
    return deflateBytes(chosen.data(), n, Z_NO_FLUSH, strip);
}

PngStripCompressor::PngStripCompressor(int width) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.width = static_cast<std::size_t>(std::max(width, 0));
    s.rowBytes = s.width * kBytesPerPixel;
    s.row.resize(s.rowBytes);
    s.above.resize(s.rowBytes);
    for (std::size_t f = 0; f < kFilters; ++f) {
        s.filtered[f].resize(s.rowBytes + 1);
        s.filtered[f][0] = static_cast<unsigned char>(f);
    }
    s.streamReady =
        deflateInit2(&s.stream, kLevel, Z_DEFLATED, -kWindowBits, kMemoryLevel, Z_RLE) == Z_OK;
}

PngStripCompressor::~PngStripCompressor() = default;

bool PngStripCompressor::compress(const std::uint32_t* above, const std::uint32_t* rows,
                                  std::ptrdiff_t stride, int count, bool last, PngStrip* strip) {
    State& s = *state_;
    if (!s.streamReady || deflateReset(&s.stream) != Z_OK)
        return false;
    s.used = 0;
    strip->adler = static_cast<std::uint32_t>(adler32(0, nullptr, 0));
    strip->filteredBytes = 0;
    strip->rows = count;
    strip->last = last;
    try {
        if (above != nullptr)
            toRgb(above, s.width, s.above.data());
        else
            std::fill(s.above.begin(), s.above.end(), 0);
        for (int y = 0; y < count; ++y)
            if (!s.deflateRow(rows + stride * y, strip))
                return false;
        if (!s.deflateBytes(nullptr, 0, last ? Z_FINISH : Z_SYNC_FLUSH, strip))
            return false;
        strip->deflated.resize(s.used);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace velmora::imageio
