#include "engine/sampling.h"

#include <cmath>

namespace velmora {

namespace {

// Rounds a channel sum to the nearest whole number, ties to the even neighbour.
// nearbyint follows the current rounding mode, which is round-to-nearest-even
// unless somebody changed it; the sums never leave 0..255.
inline std::uint32_t roundChannel(double v) {
    return static_cast<std::uint32_t>(std::nearbyint(v));
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
    const auto column = static_cast<long long>(c);
    if (y1 - y0 == 0)
        return source.pixel(column, static_cast<long long>(y0));
    const std::uint32_t upper = source.pixel(column, static_cast<long long>(y0));
    const std::uint32_t lower = source.pixel(column, static_cast<long long>(y1));
    return Mix_Colors(upper, fy, lower, 1 - fy);
}

std::uint32_t Sample_Bilinear(double sx, double sy, const SourceImage& source) {
    const double x0 = std::floor(sx);
    const double x1 = std::floor(sx + kSnap);
    const double fx = sx - x0;
    if (x1 - x0 == 0)
        return Sample_Column(x0, sy, source);
    const std::uint32_t left = Sample_Column(x0, sy, source);
    const std::uint32_t right = Sample_Column(x1, sy, source);
    return Mix_Colors(left, fx, right, 1 - fx);
}

} // namespace velmora
