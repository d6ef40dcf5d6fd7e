// The byte loops: for each destination row, the vertical pass blends the two
// source rows byte by byte into a line (the column samples of every channel),
// and the horizontal pass makes the row 64 bytes at a time: a byte permute
// picks each output byte's left and right neighbours out of a 128-byte window
// of the line, as interleaved pairs, and one multiply-add of bytes by bytes
// blends each pair with its column's weights.
//
// Exactness: with weights F / 256 that are multiples of 1/64, the double
// arithmetic of the per-pixel routines is exact and a blend is
// v = a * (64 - q) + b * q over 64 with q = F / 4, rounded to nearest with ties
// to even: (v + 31 + bit 6 of v) >> 6, as the integer word loops round it.
#include "engine/enlarge_bytes.h"

#include "engine/firsttouch.h"
#include "engine/weights.h"
#include "parallel/parallel.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velmora {

#if defined(__x86_64__)

namespace {

constexpr int kChunk = 64; // output bytes a step of the horizontal pass makes

// What each of a chunk's output bytes blends. The multiply-add gives 32 words
// per vector and the narrowing packs two such vectors 8 words at a time from
// each (per 128-bit lane: 8 bytes from the first, 8 from the second), so the
// output bytes are dealt out in that order: byte 16 * k + i of the chunk is
// word 8 * k + i of the low vector for i < 8, word 8 * k + i - 8 of the high
// one otherwise. Per word, the byte pair (left, right) to pick from the window
// and the pair of weights (64 - q, q).
struct alignas(64) Chunk {
    unsigned char pickLow[64], pickHigh[64];
    unsigned char weighLow[64], weighHigh[64];
};

// The columns' side of the work, shared by the threads.
struct ColumnPlan {
    int channels = 0;
    int first = 0;       // the first source column the line holds
    int sourceBytes = 0; // bytes of the line read from the source
    int lineBytes = 0;   // bytes of the line, white past sourceBytes, window reach included
    int rowBytes = 0;    // output bytes a row
    std::vector<Chunk> chunks;
    std::vector<std::int32_t> base; // where each chunk's window starts in the line
};

// Where one destination row reads: two source rows (white rows outside) and
// the lower one's weight q = F / 4.
struct ByteRow {
    const unsigned char* upper;
    const unsigned char* lower;
    int quarter;
};

// q of a fraction, or -1 where it is not a whole multiple of 1/64.
int quarterOf(double fraction) {
    const int weight = detail::dyadicWeight(fraction);
    return weight >= 0 && weight % 4 == 0 ? weight / 4 : -1;
}

// The chunks of columns firstColumn on; false where a weight is not a multiple
// of 1/64 or a chunk's neighbours lie further apart than a window reaches.
bool planColumns(const ByteImage& source, double r, int firstColumn, int width, ColumnPlan& p) {
    const int ch = source.channels;
    std::vector<std::int32_t> slot(width);
    std::vector<unsigned char> quarter(width);
    for (int x = 0; x < width; ++x) {
        const detail::AxisSample a =
            detail::locate(static_cast<long long>(firstColumn) + x, r, source.width);
        const int q = quarterOf(a.fraction);
        if (q < 0)
            return false;
        slot[x] = static_cast<std::int32_t>(a.lower);
        quarter[x] = static_cast<unsigned char>(q);
    }
    p.channels = ch;
    p.first = slot[0];
    const int last = slot[width - 1] + 1; // the right neighbour of the last column
    p.sourceBytes = ch * (std::max(p.first, std::min(last + 1, source.width)) - p.first);
    p.lineBytes = ch * (last + 1 - p.first) + 2 * kChunk;
    p.rowBytes = ch * width;
    const int chunks = (p.rowBytes + kChunk - 1) / kChunk;
    p.chunks.assign(chunks, Chunk{});
    p.base.resize(chunks);
    for (int k = 0; k < chunks; ++k) {
        Chunk& c = p.chunks[k];
        const int from = k * kChunk;
        p.base[k] = ch * (slot[from / ch] - p.first);
        for (int j = from; j < std::min(from + kChunk, p.rowBytes); ++j) {
            const int x = j / ch;
            const int left = ch * (slot[x] - p.first) + j % ch - p.base[k];
            if (left + ch >= 2 * kChunk)
                return false;
            const int at = j - from;
            const bool low = at % 16 < 8;
            const int word = 8 * (at / 16) + at % 8;
            unsigned char* pick = low ? c.pickLow : c.pickHigh;
            unsigned char* weigh = low ? c.weighLow : c.weighHigh;
            pick[2 * word] = static_cast<unsigned char>(left);
            pick[2 * word + 1] = static_cast<unsigned char>(left + ch);
            weigh[2 * word] = static_cast<unsigned char>(64 - quarter[x]);
            weigh[2 * word + 1] = quarter[x];
        }
    }
    return true;
}

// Where rows firstRow on read; false where a weight is not a multiple of 1/64.
bool planRows(const ByteImage& source, double r, int firstRow, int height,
              const unsigned char* white, std::vector<ByteRow>& rows) {
    const auto sourceRow = [&](long long y) {
        return y < source.height ? source.bytes + y * source.stride : white;
    };
    rows.resize(height);
    for (int y = 0; y < height; ++y) {
        const detail::AxisSample a =
            detail::locate(static_cast<long long>(firstRow) + y, r, source.height);
        const int q = quarterOf(a.fraction);
        if (q < 0)
            return false;
        rows[y] = {sourceRow(a.lower), a.whole ? sourceRow(a.lower) : sourceRow(a.lower + 1), q};
    }
    return true;
}

[[gnu::target("avx512f,avx512bw")]] inline __m512i roundSixths(__m512i v) {
    // (v + 31 + bit 6 of v) >> 6 in every 16-bit lane: v / 64 to nearest, ties to even.
    const __m512i odd = _mm512_and_si512(_mm512_srli_epi16(v, 6), _mm512_set1_epi16(1));
    return _mm512_srli_epi16(_mm512_add_epi16(_mm512_add_epi16(v, _mm512_set1_epi16(31)), odd), 6);
}

// The line of a row: its two source rows blended byte by byte.
[[gnu::target("avx512f,avx512bw")]] void verticalPass(const ColumnPlan& p, const ByteRow& row,
                                                      unsigned char* line) {
    const unsigned char* upper = row.upper + static_cast<std::ptrdiff_t>(p.channels) * p.first;
    if (row.quarter == 0) {
        std::memcpy(line, upper, static_cast<std::size_t>(p.sourceBytes));
        return;
    }
    const unsigned char* lower = row.lower + static_cast<std::ptrdiff_t>(p.channels) * p.first;
    const __m512i weights =
        _mm512_set1_epi16(static_cast<short>(row.quarter << 8 | (64 - row.quarter)));
    for (int k = 0; k < p.sourceBytes; k += kChunk) {
        const int n = std::min(kChunk, p.sourceBytes - k);
        const __mmask64 mask = n == kChunk ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
        const __m512i u = _mm512_maskz_loadu_epi8(mask, upper + k);
        const __m512i l = _mm512_maskz_loadu_epi8(mask, lower + k);
        const __m512i lo = roundSixths(_mm512_maddubs_epi16(_mm512_unpacklo_epi8(u, l), weights));
        const __m512i hi = roundSixths(_mm512_maddubs_epi16(_mm512_unpackhi_epi8(u, l), weights));
        _mm512_mask_storeu_epi8(line + k, mask, _mm512_packus_epi16(lo, hi));
    }
}

// The row from its line, chunk by chunk.
[[gnu::target("avx512f,avx512bw,avx512vbmi")]] void
horizontalPass(const ColumnPlan& p, const unsigned char* line, unsigned char* out) {
    const int chunks = static_cast<int>(p.chunks.size());
    for (int k = 0; k < chunks; ++k) {
        const Chunk& c = p.chunks[k];
        const unsigned char* window = line + p.base[k];
        const __m512i w0 = _mm512_loadu_si512(window);
        const __m512i w1 = _mm512_loadu_si512(window + kChunk);
        const __m512i pairsLow = _mm512_permutex2var_epi8(w0, _mm512_load_si512(c.pickLow), w1);
        const __m512i pairsHigh = _mm512_permutex2var_epi8(w0, _mm512_load_si512(c.pickHigh), w1);
        const __m512i lo =
            roundSixths(_mm512_maddubs_epi16(pairsLow, _mm512_load_si512(c.weighLow)));
        const __m512i hi =
            roundSixths(_mm512_maddubs_epi16(pairsHigh, _mm512_load_si512(c.weighHigh)));
        const __m512i bytes = _mm512_packus_epi16(lo, hi);
        const int n = std::min(kChunk, p.rowBytes - k * kChunk);
        if (n == kChunk)
            _mm512_storeu_si512(out + k * kChunk, bytes);
        else
            _mm512_mask_storeu_epi8(out + k * kChunk, (__mmask64{1} << n) - 1, bytes);
    }
}

// Everything the threads share.
struct ByteWork {
    const ColumnPlan& columns;
    const std::vector<ByteRow>& rows;
    const ByteDest& dst;
    int partRows;
    detail::FirstTouch& firstTouch;
    std::atomic<int> next{0};
};

// A thread's line (white past the source's bytes), and the row it was last
// made for.
struct ThreadLine {
    std::vector<unsigned char> bytes;
    const ByteRow* madeFor = nullptr;
};

// Makes the next strip of rows; false when none is left.
bool runNextStrip(ByteWork& work, ThreadLine& line) {
    const int parts = (work.dst.height + work.partRows - 1) / work.partRows;
    const int part = work.next.fetch_add(1, std::memory_order_relaxed);
    if (part >= parts)
        return false;
    const int top = part * work.partRows;
    const int bottom = std::min(work.dst.height, top + work.partRows);
    work.firstTouch.waitForRows(top, bottom);
    for (int y = top; y < bottom; ++y) {
        const ByteRow& row = work.rows[y];
        // Rows that read the same source rows alike share a line.
        const ByteRow* previous = line.madeFor;
        if (!previous || row.upper != previous->upper || row.lower != previous->lower ||
            row.quarter != previous->quarter)
            verticalPass(work.columns, row, line.bytes.data());
        line.madeFor = &row;
        horizontalPass(work.columns, line.bytes.data(), work.dst.bytes + y * work.dst.stride);
    }
    return true;
}

bool bytesLoopsAvailable() {
    static const bool available = (__builtin_cpu_init(), __builtin_cpu_supports("avx512f") &&
                                                             __builtin_cpu_supports("avx512bw") &&
                                                             __builtin_cpu_supports("avx512vbmi"));
    return available;
}

std::optional<EnlargeStatus> fillBytes(const ByteImage& source, double r, const ByteDest& dst,
                                       const EnlargeOptions& options) {
    ColumnPlan columns;
    if (!planColumns(source, r, options.firstColumn, dst.width, columns))
        return std::nullopt;
    const std::vector<unsigned char> white(
        static_cast<std::size_t>(source.channels) * source.width + kChunk, 0xFF);
    std::vector<ByteRow> rows;
    if (!planRows(source, r, options.firstRow, dst.height, white.data(), rows))
        return std::nullopt;
    // Strips of about 256 KiB, so that the threads share out the rows evenly.
    const int partRows = std::max(1, (256 << 10) / columns.rowBytes);
    const int parts = (dst.height + partRows - 1) / partRows;
    const int threads = std::min(parts, parallel::workerCount(options.threads));
    std::vector<ThreadLine> lines(threads);
    for (ThreadLine& line : lines)
        line.bytes.assign(static_cast<std::size_t>(columns.lineBytes), 0xFF);
    const detail::RowBytes memory{dst.bytes, static_cast<std::size_t>(columns.rowBytes), dst.stride,
                                  dst.height};
    detail::preferHugePages(memory);
    detail::FirstTouch firstTouch(memory);
    ByteWork work{columns, rows, dst, partRows, firstTouch};
    detail::runOnThreads(threads, &firstTouch, [&](int t) { return runNextStrip(work, lines[t]); });
    return EnlargeStatus::Done;
}

} // namespace

std::optional<EnlargeStatus> enlargeBytes(const ByteImage& source, double r, const ByteDest& dst,
                                          const EnlargeOptions& options) noexcept {
    if (!bytesLoopsAvailable() || !(r >= 1) || std::fegetround() != FE_TONEAREST ||
        source.channels < 1 || source.channels > 4 || source.width < 1 || source.height < 1 ||
        dst.width < 1 || dst.height < 1)
        return std::nullopt;
    try {
        return fillBytes(source, r, dst, options);
    } catch (const std::bad_alloc&) {
        return EnlargeStatus::OutOfMemory;
    }
}

#else

std::optional<EnlargeStatus> enlargeBytes(const ByteImage&, double, const ByteDest&,
                                          const EnlargeOptions&) noexcept {
    return std::nullopt;
}

#endif

} // namespace velmora
