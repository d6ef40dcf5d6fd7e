#include "engine/reduce.h"

#include "engine/weights.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace velmora {

namespace {

constexpr float kWhite = 255.0f;

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

inline void addRow(const std::uint32_t* line, long long inside, int count, float w, float* blue,
                   float* green, float* red) {
    for (long long c = 0; c < inside; ++c) {
        const std::uint32_t p = line[c];
        blue[c] += w * static_cast<float>(p & 0xFF);
        green[c] += w * static_cast<float>(p >> 8 & 0xFF);
        red[c] += w * static_cast<float>(p >> 16 & 0xFF);
    }
    for (long long c = inside; c < count; ++c) {
        blue[c] += w * kWhite;
        green[c] += w * kWhite;
        red[c] += w * kWhite;
    }
}
inline void addRows(const std::uint32_t* first, float w0, const std::uint32_t* second, float w1,
                    long long inside, int count, float* blue, float* green, float* red) {
    for (long long c = 0; c < inside; ++c) {
        const std::uint32_t p = first[c], q = second[c];
        blue[c] += w0 * static_cast<float>(p & 0xFF) + w1 * static_cast<float>(q & 0xFF);
        green[c] += w0 * static_cast<float>(p >> 8 & 0xFF) + w1 * static_cast<float>(q >> 8 & 0xFF);
        red[c] += w0 * static_cast<float>(p >> 16 & 0xFF) + w1 * static_cast<float>(q >> 16 & 0xFF);
    }
    for (long long c = inside; c < count; ++c) {
        blue[c] += (w0 + w1) * kWhite;
        green[c] += (w0 + w1) * kWhite;
        red[c] += (w0 + w1) * kWhite;
    }
}
[[gnu::target_clones("avx512f", "avx2", "default")]] void
sumDown(const SourceImage& source, const Span& row, const float* wy, long long first, int width,
        float* blue, float* green, float* red) {
    std::fill(blue, blue + width, 0.0f);
    std::fill(green, green + width, 0.0f);
    std::fill(red, red + width, 0.0f);
    const long long inside = std::clamp<long long>(source.width - first, 0, width);
    const auto line = [&](int k) {
        return source.pixels + static_cast<std::ptrdiff_t>(row.first + k) * source.stride +
               static_cast<std::ptrdiff_t>(first);
    };
    int k = 0;
    for (; k + 1 < row.count && row.first + k + 1 < source.height; k += 2)
        addRows(line(k), wy[k], line(k + 1), wy[k + 1], inside, width, blue, green, red);
    for (; k < row.count; ++k) {
        if (row.first + k >= source.height)
            addRow(nullptr, 0, width, wy[k], blue, green, red);
        else
            addRow(line(k), inside, width, wy[k], blue, green, red);
    }
}

std::uint32_t channel(float value, int shift) {
    const int v = static_cast<int>(value + 0.5f);
    return static_cast<std::uint32_t>(std::clamp(v, 0, 255)) << shift;
}

// One view row from the vertical sums: each view pixel the weighted sum of its
// source columns' sums, its taps in order. (Gathering eight view columns at a
// time is no faster: on some processors, AMD's, the gathers are slower than
// the loads they stand for.)
void sumAcross(const std::vector<Span>& columns, const float* wx, const float* blue,
               const float* green, const float* red, long long first, std::uint32_t* out,
               int count) {
    for (int u = 0; u < count; ++u) {
        const Span& s = columns[u];
        if (s.count == 0) {
            out[u] = 0xFFFFFFFFu;
            continue;
        }
        float b = 0, g = 0, rd = 0;
        const std::size_t base = static_cast<std::size_t>(s.first - first);
        for (int k = 0; k < s.count; ++k) {
            const float w = wx[s.at + k];
            b += w * blue[base + k];
            g += w * green[base + k];
            rd += w * red[base + k];
        }
        out[u] = 0xFF000000u | channel(rd, 16) | channel(g, 8) | channel(b, 0);
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
        std::vector<float> sums(static_cast<std::size_t>(width) * 3);
        float* blue = sums.data();
        float* green = blue + width;
        float* red = green + width;
        for (int v = 0; v < dst.height; ++v) {
            std::uint32_t* out = dst.pixels + static_cast<std::ptrdiff_t>(v) * dst.stride;
            if (rows[v].count == 0 || width == 0) {
                std::fill(out, out + dst.width, 0xFFFFFFFFu);
                continue;
            }
            sumDown(view, rows[v], wy + rows[v].at, first, width, blue, green, red);
            sumAcross(columns, columnAxis.weights.data(), blue, green, red, first, out, dst.width);
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
