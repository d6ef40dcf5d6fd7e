// Anti-aliased sampling of a source image at a fractional position.
//
// Contract
// - A colour value keeps its three channels in bits 0-7, 8-15 and 16-23; bits
//   24-31 are not part of the colour. The blend treats the three channels alike,
//   so it does not matter which channel is red.
// - Position (sx, sy) maps to the source pixels floor(sx) and floor(sx + 0.999)
//   across, and likewise down. A coordinate whose fraction is so small that adding
//   0.999 does not reach the next whole number is treated as whole: no blend.
// - The blend goes down the column first, rounded to whole channel values, then
//   across: w * a + f * b in double precision with w = 1 - f, rounded to nearest
//   with ties to even. The intermediate rounding is part of the result.
// - A read outside the source gives 0xFFFFFFFF, so it counts as white in a blend;
//   a sample that needs no blend is returned exactly as read.
// - Results are the same on every machine: the engine is built without FMA
//   contraction and without fast-math.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

// A read-only view of 32-bit pixels owned by the caller. stride counts pixels.
struct SourceImage {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;

    // The pixel at (x, y), or 0xFFFFFFFF outside the image.
    std::uint32_t pixel(long long x, long long y) const {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return 0xFFFFFFFFu;
        return pixels[static_cast<std::ptrdiff_t>(y) * stride + static_cast<std::ptrdiff_t>(x)];
    }
};

inline constexpr double kSnap = 0.999;

// Per-channel w * a + f * b, each rounded half to even; bits 24-31 of the result are 0.
std::uint32_t Mix_Colors(std::uint32_t a, double f, std::uint32_t b, double w);

// The colour at whole-number column c and fractional row sy.
std::uint32_t Sample_Column(double c, double sy, const SourceImage& source);

// The colour at (sx, sy); sx and sy are never negative. A coordinate too large
// for a pixel index (or infinite) lies outside and counts as whole.
std::uint32_t Sample_Bilinear(double sx, double sy, const SourceImage& source);

} // namespace velmora
