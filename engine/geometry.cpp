// The size rule of the enlargement: r * W - 1 by r * H - 1 pixels, as the
// display surface takes a size handed to it in single precision.
#include "engine/enlarge.h"

#include <climits>
#include <cmath>
#include <cstddef>

namespace velmora {

namespace {

// Sizes beyond this are refused before any single-precision conversion.
constexpr double kMaxExtent = 4.0e9;

// r * n - 1 computed in double, handed on as a single-precision value and cut
// to whole pixels. -1: beyond any size.
long long destinationExtent(int n, double r) {
    const double exact = r * n - 1;
    if (!(exact <= kMaxExtent))
        return -1;
    const float extent = static_cast<float>(exact);
    if (!(extent >= 1.0f))
        return 0;
    return static_cast<long long>(extent);
}

} // namespace

EnlargeGeometry enlargeGeometry(int sourceWidth, int sourceHeight, double r) {
    EnlargeGeometry g;
    if (!(r > 0) || !std::isfinite(r) || sourceWidth < 0 || sourceHeight < 0)
        return g;
    const long long w = destinationExtent(sourceWidth, r);
    const long long h = destinationExtent(sourceHeight, r);
    if (w < 0 || h < 0 || w > INT_MAX || h > INT_MAX)
        return g;
    // A caller that holds the whole result allocates width * height 32-bit
    // pixels; that byte count must fit.
    if (w > 0 && h > PTRDIFF_MAX / 4 / w)
        return g;
    g.valid = true;
    g.width = static_cast<int>(w);
    g.height = static_cast<int>(h);
    g.computedColumns = static_cast<long long>(std::floor(r * sourceWidth)) + 1;
    g.computedRows = static_cast<long long>(std::floor(r * sourceHeight)) + 1;
    return g;
}

} // namespace velmora
