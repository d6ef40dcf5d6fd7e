#include "texture.h"

#include <QColor>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace artgen {

namespace {

constexpr std::uint32_t kSeed = 20061207;
// Ends of the horizontal shading, red/green/blue.
constexpr int kLeft[3] = {223, 216, 223};
constexpr int kRight[3] = {175, 168, 160};
// Streaks: each row brightens or darkens as a whole, and slowly along its
// length, which gives the brushed look; a little grain on top.
constexpr int kRowSwing = 4;      // +- per row
constexpr int kStreakSwing = 5;   // +- along a row
constexpr int kStreakLength = 24; // pixels between the streak's control points
constexpr int kGrain = 2;         // +- per pixel

// Uniform integer in [-swing, swing].
int draw(std::mt19937& rng, int swing) {
    return static_cast<int>(rng() % static_cast<std::uint32_t>(2 * swing + 1)) - swing;
}

} // namespace

QImage drawTexture() {
    std::mt19937 rng(kSeed);
    QImage image(kTextureWidth, kTextureHeight, QImage::Format_RGB888);
    const int points = kTextureWidth / kStreakLength + 2;
    std::vector<int> streak(points);
    for (int y = 0; y < kTextureHeight; ++y) {
        const int rowOffset = draw(rng, kRowSwing);
        for (int& p : streak)
            p = draw(rng, kStreakSwing);
        for (int x = 0; x < kTextureWidth; ++x) {
            // Linear interpolation between the streak's control points, in
            // integers so the result does not depend on floating point.
            const int i = x / kStreakLength, f = x % kStreakLength;
            const int along = (streak[i] * (kStreakLength - f) + streak[i + 1] * f) / kStreakLength;
            const int offset = rowOffset + along + draw(rng, kGrain);
            int rgb[3];
            for (int c = 0; c < 3; ++c) {
                const int base = kLeft[c] + (kRight[c] - kLeft[c]) * x / (kTextureWidth - 1);
                rgb[c] = std::clamp(base + offset, 0, 255);
            }
            image.setPixel(x, y, qRgb(rgb[0], rgb[1], rgb[2]));
        }
    }
    return image;
}

} // namespace artgen
