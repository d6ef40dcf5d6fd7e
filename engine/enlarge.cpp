#include "engine/enlarge.h"

#include <climits>
#include <cmath>

namespace velmora {

namespace {

// r * n - 1 computed in double, handed on as a single-precision value and cut
// to whole pixels, as the display surface takes its size.
long long destinationExtent(int n, double r) {
    const float extent = static_cast<float>(r * n - 1);
    if (!(extent >= 1.0f))
        return 0;
    return static_cast<long long>(extent);
}

} // namespace

EnlargeGeometry Enlarge_Geometry(int sourceWidth, int sourceHeight, double r) {
    EnlargeGeometry g;
    if (!(r > 0) || !std::isfinite(r) || sourceWidth < 0 || sourceHeight < 0)
        return g;
    const long long w = destinationExtent(sourceWidth, r);
    const long long h = destinationExtent(sourceHeight, r);
    if (w > INT_MAX || h > INT_MAX)
        return g;
    g.valid = true;
    g.width = static_cast<int>(w);
    g.height = static_cast<int>(h);
    g.computedColumns = static_cast<long long>(std::floor(r * sourceWidth)) + 1;
    g.computedRows = static_cast<long long>(std::floor(r * sourceHeight)) + 1;
    return g;
}

void Enlarge(const SourceImage& source, double r, const DestImage& dst,
             const EnlargeOptions& options) {
    for (int x = 0; x < dst.width; ++x) {
        const double sx = x / r;
        for (int y = 0; y < dst.height; ++y) {
            const double sy = y / r;
            std::uint32_t c = Sample_Bilinear(sx, sy, source);
            dst.pixels[static_cast<std::ptrdiff_t>(y) * dst.stride + x] = c;
        }
        if (options.progress)
            options.progress(x + 1);
    }
    (void)options.blendedHigh;
}

} // namespace velmora
