// The enlarged result seen from afar: each pixel of a reduced view is the
// average of the block of result pixels it covers.
//
// Contract
// - The result is the enlargement of the source by r (enlarge.h), or the source
//   itself when r is 0. Shown reduced by `divisor` (at least 1), view column u
//   covers result columns floor(u * divisor) up to, not including,
//   floor((u + 1) * divisor), cut at the result's width; rows alike. The blocks
//   depend on u alone, so a view that moves shows the same pixels where it
//   overlaps: nothing shimmers.
// - A view pixel is the average of its block, computed from the source: the
//   sums of the enlargement's linear blends over the block (its positions,
//   weights, snapping and white beyond the edges exactly), without the two
//   roundings to whole values that every result pixel makes, its vertical
//   weights in steps of 2^-14. So it differs from the exact average of the
//   result pixels by at most 1.55 before its own rounding; in practice by well
//   under 1 on average.
// - Cost: about (block / r + 2) source pixels per view pixel and axis, never
//   the block's result pixels, so a view of a gigapixel result takes
//   milliseconds.
#pragma once

#include "engine/enlarge.h"

#include <cstddef>
#include <vector>

namespace velmora {

// The source indexes one view index reads and their weights, which sum to 1:
// index first + k has weight weights[at + k]; the index one past the source
// stands for everything outside it (white). count 0: the view index lies
// past the result.
struct ReducedSpan {
    long long first = 0;
    int count = 0;
    std::size_t at = 0;
};

// The blocks along one axis of a reduced view for view indexes firstView ..
// firstView + spans.size() - 1. Made once, it serves every tile on that line.
struct ReducedAxis {
    int firstView = 0;
    std::vector<ReducedSpan> spans;
    std::vector<float> weights;
};

// The reduced view's size for a result of width x height: ceil(size / divisor).
int reducedExtent(int resultExtent, double divisor);

// The axis of view indexes firstView .. firstView + count - 1 reducing a
// result of resultExtent by divisor, whose indexes sample a source of
// sourceExtent at ratio r (0: the result is the source). False, with *axis
// unchanged, for unusable arguments or when its tables cannot be had.
bool makeReducedAxis(int firstView, int count, double divisor, long long resultExtent, double r,
                     int sourceExtent, ReducedAxis* axis) noexcept;

// The axes one after another as one axis: each begins at the view index
// where the one before ends. False, with *joined unchanged, when they do not
// or its tables cannot be had.
bool joinReducedAxes(const std::vector<const ReducedAxis*>& axes, ReducedAxis* joined) noexcept;

// Fills dst (dst.width columns' spans, dst.height rows' spans) with the
// reduced view the axes describe. Refused when dst is larger than the axes or
// unusable; OutOfMemory when its working rows cannot be had.
[[nodiscard]] EnlargeStatus reduce(const SourceImage& source, const ReducedAxis& columns,
                                   const ReducedAxis& rows, const DestImage& dst) noexcept;

// Fills dst with view columns firstColumn .. and rows firstRow .. of the result
// reduced by divisor, as opaque 32-bit pixels (0xFF in bits 24-31). View pixels
// past the result's reduced size are white. Refused when r is neither 0 nor
// positive and finite, the divisor is below 1 or not finite, a view is
// unusable or the offsets are negative; OutOfMemory when its tables cannot be
// had. Runs on the calling thread.
[[nodiscard]] EnlargeStatus reduce(const SourceImage& source, double r, double divisor,
                                   const DestImage& dst, int firstColumn, int firstRow) noexcept;

} // namespace velmora
