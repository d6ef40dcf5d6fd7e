#include "engine/sampling.h"

#include <cmath>
#include <limits>

namespace velmora {

namespace {

// Rounds a channel sum to the nearest whole number, ties to the even neighbour.
// nearbyint follows the current rounding mode, which is round-to-nearest-even
// unless somebody changed it; the sums never leave 0..255.
inline std::uint32_t roundChannel(double v) {
    return static_cast<std::uint32_t>(std::nearbyint(v));
}

// A whole-number coordinate as a pixel index. Coordinates are never negative;
// one too large for the index type, or not a number, lies outside the image in
// any case, and converting it directly would be undefined.
inline long long toIndex(double v) {
    return v < 9.0e18 ? static_cast<long long>(v) : std::numeric_limits<long long>::max();
}

// Whether the two neighbours differ, that is whether a blend is needed. Written
// so that an infinite or not-a-number coordinate counts as whole (a blend would
// have no defined weights there); for finite ones it is exactly y1 - y0 != 0.
inline bool needsBlend(double lower, double upper) {
    return upper > lower;
}

} // namespace

std::uint32_t Mix_Colors(std::uint32_t a, double f, std::uint32_t b, double w) {
    const double ar = a & 0xFFu, ag = (a & 65280u) / 256, ab = (a & 16711680u) / 65536;
    const double br = b & 0xFFu, bg = (b & 65280u) / 256, bb = (b & 16711680u) / 65536;
    // Written as separate products and a sum; the engine is compiled with
    // -ffp-contract=off so these never fuse into one rounding.
    const double r = w * ar + f * br;
    const double g = w * ag + f * bg;
    const double bl = w * ab + f * bb;
    return roundChannel(r) + 256u * roundChannel(g) + 65536u * roundChannel(bl);
}

std::uint32_t Sample_Column(double c, double sy, const SourceImage& source) {
    const double y0 = std::floor(sy);
    const double y1 = std::floor(sy + kSnap);
    const double fy = sy - y0;
    const long long column = toIndex(c);
    if (!needsBlend(y0, y1))
        return source.pixel(column, toIndex(y0));
    const std::uint32_t upper = source.pixel(column, toIndex(y0));
    const std::uint32_t lower = source.pixel(column, toIndex(y1));
    return Mix_Colors(upper, fy, lower, 1 - fy);
}

std::uint32_t Sample_Bilinear(double sx, double sy, const SourceImage& source) {
    const double x0 = std::floor(sx);
    const double x1 = std::floor(sx + kSnap);
    const double fx = sx - x0;
    if (!needsBlend(x0, x1))
        return Sample_Column(x0, sy, source);
    const std::uint32_t left = Sample_Column(x0, sy, source);
    const std::uint32_t right = Sample_Column(x1, sy, source);
    return Mix_Colors(left, fx, right, 1 - fx);
}

} // namespace velmora
