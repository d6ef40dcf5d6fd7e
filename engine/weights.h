// Internal to the engine: where every destination column and row samples the
// source, computed once per enlargement so that the pixel loops only read
// tables.
#pragma once

#include "engine/enlarge_kernel.h"
#include "engine/sampling.h"

#include <cstdint>
#include <vector>

namespace velmora::detail {

// Where destination index i samples along an axis of n source pixels, with the
// arithmetic of Sample_Bilinear: s = i / r, lower = floor(s), whole when
// floor(s + 0.999) does not move past it, fraction = s - lower.
struct AxisSample {
    long long lower = 0; // clamped to n: anything at or beyond the far edge reads outside
    double rest = 1;
    double fraction = 0;
    bool whole = true;
};
AxisSample locate(long long i, double r, int n);

// fraction * 256 when that is a whole number (the product is exact), else -1.
int dyadicWeight(double fraction);

// Where destination columns firstColumn .. firstColumn + width - 1 sample the
// source, padded past the last column with whole columns at the last column's
// place (the pixel loops read whole vectors).
struct ColumnTables {
    std::vector<std::int32_t> slot;
    std::vector<double> rest, fraction;
    std::vector<std::uint64_t> wholeMask;
    std::vector<std::uint64_t> weight;       // for the integer loops
    std::vector<std::uint32_t> highMask;     // for the integer loops
    std::vector<std::uint64_t> coarseWeight; // for the integer loops on byte pairs
};

ColumnTables columnTables(int firstColumn, int width, double r, int sourceWidth);

// Where destination rows firstRow .. firstRow + height - 1 sample the source.
// Rows outside read whiteRow, which holds at least sourceWidth + 1 white pixels.
std::vector<RowSample> rowSamples(const SourceImage& source, int sourceHeight,
                                  const std::uint32_t* whiteRow, double r, int firstRow,
                                  int height);

// Whether the integer loops give the same pixels as the double arithmetic for
// columns first .. first + count - 1 of the tables and rowCount rows from
// rows on: every weight a whole multiple of 1/256 (then every product and sum
// is exact), neighbours never further apart than their window allows (ratios
// from 1 up), and rounding to nearest, as the integer loops round.
bool integerLoopsExact(const ColumnTables& columns, int first, int count, const RowSample* rows,
                       int rowCount, double r);

// Whether the integer loops may blend byte pairs there: every weight a whole
// multiple of 1/64.
bool bytePairsExact(const ColumnTables& columns, int first, int count, const RowSample* rows,
                    int rowCount);

// Points the job's column tables at column x of the tables (the byte pairs'
// weights only where coarse).
void pointColumns(BandJob& job, const ColumnTables& columns, int x, bool coarse);

} // namespace velmora::detail
