#include "engine/reduce.h"

#include "engine/weights.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <new>
#include <utility>
#include <vector>

namespace velmora {

namespace {

using Span = ReducedSpan;

// The first result index of view index u's block.
long long blockStart(long long u, double divisor) {
    return static_cast<long long>(std::floor(static_cast<double>(u) * divisor));
}

// The spans of views firstView .. firstView + views - 1 along an axis of a
// result of resultExtent whose indexes sample a source of sourceExtent (r 0:
// the result is the source).
void axisSpans(long long firstView, int views, double divisor, long long resultExtent, double r,
               int sourceExtent, std::vector<Span>& spans, std::vector<float>& weights) {
    spans.assign(static_cast<std::size_t>(views), Span{});
    std::vector<double> sums;
    for (int v = 0; v < views; ++v) {
        const long long from = blockStart(firstView + v, divisor);
        const long long to = std::min(resultExtent, blockStart(firstView + v + 1, divisor));
        if (from >= to)
            continue; // beyond the result: the view shows white there
        const auto sample = [&](long long i) {
            if (r == 0) {
                detail::AxisSample whole;
                whole.lower = i;
                return whole;
            }
            return detail::locate(i, r, sourceExtent);
        };
        const long long first = sample(from).lower;
        const long long last = std::min<long long>(sourceExtent, sample(to - 1).lower + 1);
        sums.assign(static_cast<std::size_t>(last - first + 1), 0.0);
        for (long long i = from; i < to; ++i) {
            const detail::AxisSample a = sample(i);
            const auto at = [&](long long index) {
                return static_cast<std::size_t>(std::min<long long>(index, sourceExtent) - first);
            };
            if (a.whole) {
                sums[at(a.lower)] += 1;
            } else {
                sums[at(a.lower)] += a.rest;
                sums[at(a.lower + 1)] += a.fraction;
            }
        }
        const double count = static_cast<double>(to - from);
        spans[v] = {first, static_cast<int>(sums.size()), weights.size()};
        for (const double s : sums)
            weights.push_back(static_cast<float>(s / count));
    }
}

// The vertical sums of a view row: four whole numbers per source column, one
// for each of the pixel's bytes in memory order (blue, green, red and a fourth
// byte that is summed but never used), so that a source row is summed as a
// plain run of bytes and a column's sums are one vector. The rows' weights
// are whole numbers in units of 2^-14 (kOne): rounding them moves a view pixel
// by less than 0.05, and a byte times a weight, two of them added, is one
// multiply-add of 16-bit numbers into 32 bits.
constexpr int kLanes = 4;
constexpr int kWeightBits = 14;
constexpr float kOne = 1 << kWeightBits;
constexpr std::int32_t kWhiteByte = 255;
// Pixels are words whose low byte is blue: where each channel lies in memory.
constexpr bool kLowByteFirst = std::endian::native == std::endian::little;
constexpr int kBlueLane = kLowByteFirst ? 0 : 3;
constexpr int kGreenLane = kLowByteFirst ? 1 : 2;
constexpr int kRedLane = kLowByteFirst ? 2 : 1;
typedef float Sums __attribute__((vector_size(kLanes * sizeof(float))));

// sums[i] += w0 * first[i] + w1 * second[i] for the bytes i from `from` to `to`.
void addRowPair(const std::uint8_t* first, std::int16_t w0, const std::uint8_t* second,
                std::int16_t w1, long long from, long long to, std::int32_t* sums) {
    for (long long i = from; i < to; ++i)
        sums[i] += w0 * first[i] + w1 * second[i];
}

#if defined(__x86_64__)
// The same, sixteen bytes of each row at a time: the two rows' bytes side by
// side as 16-bit numbers, one multiply-add with the weights' pair gives each
// byte's weighted sum. Returns where it stopped (fewer than sixteen are left).
[[gnu::target("avx2")]] long long addRowPairSixteens(const std::uint8_t* first, std::int16_t w0,
                                                     const std::uint8_t* second, std::int16_t w1,
                                                     long long count, std::int32_t* sums) {
    const __m256i weights =
        _mm256_set1_epi32(static_cast<std::uint16_t>(w0) | static_cast<std::uint32_t>(w1) << 16);
    long long i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + i));
        const __m256i low = _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(a, b));
        const __m256i high = _mm256_cvtepu8_epi16(_mm_unpackhi_epi8(a, b));
        auto* at = reinterpret_cast<__m256i*>(sums + i);
        _mm256_storeu_si256(
            at, _mm256_add_epi32(_mm256_loadu_si256(at), _mm256_madd_epi16(low, weights)));
        _mm256_storeu_si256(
            at + 1, _mm256_add_epi32(_mm256_loadu_si256(at + 1), _mm256_madd_epi16(high, weights)));
    }
    return i;
}
#endif

void addRows(const std::uint8_t* first, std::int16_t w0, const std::uint8_t* second,
             std::int16_t w1, long long count, std::int32_t* sums) {
    long long done = 0;
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        done = addRowPairSixteens(first, w0, second, w1, count, sums);
#endif
    addRowPair(first, w0, second, w1, done, count, sums);
}

// A view row's vertical sums over source columns first .. first + width - 1,
// white beyond the source on either axis.
void sumDown(const SourceImage& source, const Span& row, const float* wy, long long first,
             int width, std::int32_t* sums) {
    std::fill(sums, sums + kLanes * static_cast<std::size_t>(width), 0);
    const long long inside = std::clamp<long long>(source.width - first, 0, width);
    const auto line = [&](int k) {
        return reinterpret_cast<const std::uint8_t*>(
            source.pixels + static_cast<std::ptrdiff_t>(row.first + k) * source.stride +
            static_cast<std::ptrdiff_t>(first));
    };
    const auto weight = [&](int k) { return static_cast<std::int16_t>(std::lround(wy[k] * kOne)); };
    std::int32_t whiteRows = 0, all = 0;
    int k = 0;
    for (; k + 1 < row.count && row.first + k + 1 < source.height; k += 2) {
        const std::int16_t w0 = weight(k), w1 = weight(k + 1);
        addRows(line(k), w0, line(k + 1), w1, kLanes * inside, sums);
        all += w0 + w1;
    }
    for (; k < row.count; ++k) {
        const std::int16_t w = weight(k);
        if (row.first + k >= source.height)
            whiteRows += w;
        else
            addRows(line(k), w, line(k), 0, kLanes * inside, sums);
        all += w;
    }
    // Rows below the source are white in every column; columns right of it,
    // in every row.
    if (whiteRows != 0)
        for (long long i = 0; i < kLanes * inside; ++i)
            sums[i] += whiteRows * kWhiteByte;
    for (long long i = kLanes * inside; i < kLanes * static_cast<long long>(width); ++i)
        sums[i] = all * kWhiteByte;
}

typedef std::int32_t Channels __attribute__((vector_size(kLanes * sizeof(std::int32_t))));

// The pixel of a view pixel's sums: each channel rounded half up and kept
// within 0 to 255, opaque.
std::uint32_t pixelOf(Sums total) {
    Channels v = __builtin_convertvector(total + 0.5f, Channels);
    v = v < 0 ? 0 : v;
    v = v > 255 ? 255 : v;
    return 0xFF000000u | static_cast<std::uint32_t>(v[kRedLane]) << 16 |
           static_cast<std::uint32_t>(v[kGreenLane]) << 8 |
           static_cast<std::uint32_t>(v[kBlueLane]);
}

// The whole sums in the weights' units as the sums themselves.
[[gnu::target_clones("arch=x86-64-v3", "default")]] void toSums(const std::int32_t* whole,
                                                                std::size_t count, float* sums) {
    for (std::size_t i = 0; i < count; ++i)
        sums[i] = static_cast<float>(whole[i]) * (1 / kOne);
}

// One view row from the vertical sums (as fractions, toSums): each view pixel
// the weighted sum of its source columns' sums, its taps in order, the three
// channels in one vector.
// (Gathering eight view columns at a time is no faster: on some processors,
// AMD's, the gathers are slower than the loads they stand for.)
[[gnu::target_clones("arch=x86-64-v3", "default")]] void
sumAcross(const std::vector<Span>& columns, const float* wx, const float* sums, long long first,
          std::uint32_t* out, int count) {
    for (int u = 0; u < count; ++u) {
        const Span& s = columns[u];
        if (s.count == 0) {
            out[u] = 0xFFFFFFFFu;
            continue;
        }
        Sums total{};
        const float* column = sums + kLanes * static_cast<std::size_t>(s.first - first);
        for (int k = 0; k < s.count; ++k, column += kLanes) {
            Sums tap;
            std::memcpy(&tap, column, sizeof tap);
            total += wx[s.at + k] * tap;
        }
        out[u] = pixelOf(total);
    }
}

// The first source column the first `count` view columns read, and how many
// they read from there on; (-1, 0) when they lie past the result.
std::pair<long long, int> sourceColumns(const std::vector<Span>& columns, int count) {
    long long first = -1, last = -1;
    for (int u = 0; u < count; ++u) {
        const Span& s = columns[u];
        if (s.count == 0)
            continue;
        first = first < 0 ? s.first : std::min(first, s.first);
        last = std::max(last, s.first + s.count - 1);
    }
    return {first, first < 0 ? 0 : static_cast<int>(last - first + 1)};
}

} // namespace

int reducedExtent(int resultExtent, double divisor) {
    if (resultExtent <= 0 || !(divisor >= 1) || !std::isfinite(divisor))
        return 0;
    // The smallest u whose block starts at or past the end.
    long long u = static_cast<long long>(std::ceil(resultExtent / divisor));
    while (u > 0 && blockStart(u - 1, divisor) >= resultExtent)
        --u;
    while (blockStart(u, divisor) < resultExtent)
        ++u;
    return static_cast<int>(u);
}

bool makeReducedAxis(int firstView, int count, double divisor, long long resultExtent, double r,
                     int sourceExtent, ReducedAxis* axis) noexcept {
    if (firstView < 0 || count < 0 || !(divisor >= 1) || !std::isfinite(divisor) ||
        resultExtent < 0 || sourceExtent < 0 || !(r == 0 || (r > 0 && std::isfinite(r))))
        return false;
    try {
        ReducedAxis made;
        made.firstView = firstView;
        axisSpans(firstView, count, divisor, resultExtent, r, sourceExtent, made.spans,
                  made.weights);
        *axis = std::move(made);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool joinReducedAxes(const std::vector<const ReducedAxis*>& axes, ReducedAxis* joined) noexcept {
    if (axes.empty() || std::find(axes.begin(), axes.end(), nullptr) != axes.end())
        return false;
    try {
        ReducedAxis made;
        made.firstView = axes.front()->firstView;
        for (const ReducedAxis* axis : axes) {
            if (axis->firstView != made.firstView + static_cast<long long>(made.spans.size()))
                return false;
            const std::size_t at = made.weights.size();
            for (ReducedSpan span : axis->spans) {
                span.at += at;
                made.spans.push_back(span);
            }
            made.weights.insert(made.weights.end(), axis->weights.begin(), axis->weights.end());
        }
        *joined = std::move(made);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

EnlargeStatus reduce(const SourceImage& source, const ReducedAxis& columnAxis,
                     const ReducedAxis& rowAxis, const DestImage& dst) noexcept {
    if (dst.width < 0 || dst.height < 0 ||
        static_cast<std::size_t>(dst.width) > columnAxis.spans.size() ||
        static_cast<std::size_t>(dst.height) > rowAxis.spans.size() ||
        (dst.width > 0 && dst.height > 0 && (dst.pixels == nullptr || dst.stride < dst.width)) ||
        source.width < 0 || source.height < 0 ||
        (source.width > 0 && source.height > 0 && source.pixels == nullptr))
        return EnlargeStatus::Refused;
    if (dst.width == 0 || dst.height == 0)
        return EnlargeStatus::Done;
    const bool empty = source.width == 0 || source.height == 0;
    const SourceImage view{empty ? nullptr : source.pixels, empty ? 0 : source.width,
                           empty ? 0 : source.height, source.stride};
    const std::vector<Span>& rows = rowAxis.spans;
    const float* wy = rowAxis.weights.data();
    try {
        const std::vector<Span>& columns = columnAxis.spans;
        const auto [first, width] = sourceColumns(columns, dst.width);
        std::vector<std::int32_t> whole(static_cast<std::size_t>(width) * kLanes);
        std::vector<float> sums(whole.size());
        for (int v = 0; v < dst.height; ++v) {
            std::uint32_t* out = dst.pixels + static_cast<std::ptrdiff_t>(v) * dst.stride;
            if (rows[v].count == 0 || width == 0) {
                std::fill(out, out + dst.width, 0xFFFFFFFFu);
                continue;
            }
            sumDown(view, rows[v], wy + rows[v].at, first, width, whole.data());
            toSums(whole.data(), whole.size(), sums.data());
            sumAcross(columns, columnAxis.weights.data(), sums.data(), first, out, dst.width);
        }
    } catch (const std::bad_alloc&) {
        return EnlargeStatus::OutOfMemory;
    }
    return EnlargeStatus::Done;
}

EnlargeStatus reduce(const SourceImage& source, double r, double divisor, const DestImage& dst,
                     int firstColumn, int firstRow) noexcept {
    if (!(r == 0 || (r > 0 && std::isfinite(r))) || !(divisor >= 1) || !std::isfinite(divisor) ||
        firstColumn < 0 || firstRow < 0 || dst.width < 0 || dst.height < 0 || source.width < 0 ||
        source.height < 0)
        return EnlargeStatus::Refused;
    long long resultWidth = source.width, resultHeight = source.height;
    if (r > 0) {
        const EnlargeGeometry g = enlargeGeometry(source.width, source.height, r);
        if (!g.valid)
            return EnlargeStatus::Refused;
        resultWidth = g.width;
        resultHeight = g.height;
    }
    const bool empty = source.width == 0 || source.height == 0;
    ReducedAxis columns, rows;
    if (!makeReducedAxis(firstColumn, dst.width, divisor, resultWidth, r, empty ? 0 : source.width,
                         &columns) ||
        !makeReducedAxis(firstRow, dst.height, divisor, resultHeight, r, empty ? 0 : source.height,
                         &rows))
        return EnlargeStatus::OutOfMemory;
    return reduce(source, columns, rows, dst);
}

} // namespace velmora
