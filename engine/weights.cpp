#include "engine/weights.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstddef>

namespace velmora::detail {

AxisSample locate(long long i, double r, int n) {
    AxisSample a;
    const double s = static_cast<double>(i) / r;
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

namespace {

// The byte pair (64 - F / 4, F / 4) of weight F, in each of four 16-bit lanes.
std::uint64_t coarseWeight(int weight) {
    const std::uint64_t quarter = static_cast<std::uint64_t>(weight) / 4;
    return (quarter << 8 | (64 - quarter)) * 0x0001000100010001ull;
}

} // namespace

int dyadicWeight(double fraction) {
    const double scaled = fraction * 256;
    return scaled == std::floor(scaled) && scaled >= 0 && scaled < 256 ? static_cast<int>(scaled)
                                                                       : -1;
}

ColumnTables columnTables(int firstColumn, int width, double r, int sourceWidth) {
    ColumnTables t;
    const std::size_t padded = static_cast<std::size_t>(width) + kTablePad;
    t.slot.resize(padded);
    t.rest.assign(padded, 1.0);
    t.fraction.assign(padded, 0.0);
    t.wholeMask.assign(padded, 0);
    t.weight.assign(padded, 0);
    t.highMask.assign(padded, 0);
    t.coarseWeight.assign(padded, coarseWeight(0));
    for (int x = 0; x < width; ++x) {
        const AxisSample a = locate(static_cast<long long>(firstColumn) + x, r, sourceWidth);
        t.slot[x] = static_cast<std::int32_t>(a.lower);
        t.rest[x] = a.rest;
        t.fraction[x] = a.fraction;
        t.wholeMask[x] = a.whole ? ~std::uint64_t{0} : 0;
        const int weight = dyadicWeight(a.fraction);
        t.coarseWeight[x] = coarseWeight(weight < 0 ? 0 : weight);
        t.weight[x] = static_cast<std::uint64_t>(weight < 0 ? 0 : weight) * 0x0001000100010001ull;
        t.highMask[x] = a.whole ? 0 : 0xFF000000u;
    }
    std::fill(t.slot.begin() + width, t.slot.end(), t.slot[width - 1]);
    return t;
}

std::vector<RowSample> rowSamples(const SourceImage& source, int sourceHeight,
                                  const std::uint32_t* whiteRow, double r, int firstRow,
                                  int height) {
    const auto sourceRow = [&](long long y) {
        return y < sourceHeight ? source.pixels + static_cast<std::ptrdiff_t>(y) * source.stride
                                : whiteRow;
    };
    std::vector<RowSample> rows(height);
    for (int y = 0; y < height; ++y) {
        const AxisSample a = locate(static_cast<long long>(firstRow) + y, r, sourceHeight);
        RowSample& row = rows[y];
        row.upper = sourceRow(a.lower);
        row.lower = a.whole ? row.upper : sourceRow(a.lower + 1);
        row.rest = a.rest;
        row.fraction = a.fraction;
        row.whole = a.whole;
        const int weight = dyadicWeight(a.fraction);
        row.weight = static_cast<std::uint16_t>(weight < 0 ? 0 : weight);
    }
    return rows;
}

bool integerLoopsExact(const ColumnTables& columns, int first, int count, const RowSample* rows,
                       int rowCount, double r) {
    if (!(r >= 1) || std::fegetround() != FE_TONEAREST)
        return false;
    const double* fraction = columns.fraction.data() + first;
    return std::all_of(fraction, fraction + count, [](double f) { return dyadicWeight(f) >= 0; }) &&
           std::all_of(rows, rows + rowCount,
                       [](const RowSample& row) { return dyadicWeight(row.fraction) >= 0; });
}

bool bytePairsExact(const ColumnTables& columns, int first, int count, const RowSample* rows,
                    int rowCount) {
    const double* fraction = columns.fraction.data() + first;
    return std::all_of(fraction, fraction + count,
                       [](double f) { return dyadicWeight(f) % 4 == 0; }) &&
           std::all_of(rows, rows + rowCount,
                       [](const RowSample& row) { return row.weight % 4 == 0; });
}

void pointColumns(BandJob& job, const ColumnTables& columns, int x, bool coarse) {
    job.slot = columns.slot.data() + x;
    job.rest = columns.rest.data() + x;
    job.fraction = columns.fraction.data() + x;
    job.wholeMask = columns.wholeMask.data() + x;
    job.weight = columns.weight.data() + x;
    job.highMask = columns.highMask.data() + x;
    job.coarseWeight = coarse ? columns.coarseWeight.data() + x : nullptr;
}

} // namespace velmora::detail
