// The per-pixel sampling routines on tiny images with hand-worked values.
#include "engine/sampling.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace velmora {
namespace {

struct Image {
    int width;
    int height;
    std::vector<std::uint32_t> pixels;
    SourceImage view() const { return {pixels.data(), width, height, width}; }
};

TEST(MixColors, workedExampleRoundsHalvesToEven) {
    // 0.75 * 100 + 0.25 * 50 = 87.5 rounds to 88; 63.75 rounds to 64.
    EXPECT_EQ(Mix_Colors(0x0064C8u, 0.25, 0xFF3264u, 0.75), 0x4058AFu);
}

TEST(MixColors, ignoresAndClearsBitsAboveTheColour) {
    EXPECT_EQ(Mix_Colors(0xFF0064C8u, 0.25, 0x12FF3264u, 0.75), 0x4058AFu);
    EXPECT_EQ(Mix_Colors(0xFFFFFFFFu, 0.5, 0xFFFFFFFFu, 0.5), 0x00FFFFFFu);
}

TEST(MixColors, halfwayTiesGoToTheEvenNeighbour) {
    // 12.5 -> 12, 13.5 -> 14, 254.5 -> 254 in the three channels.
    EXPECT_EQ(Mix_Colors(0xFE0D0Cu, 0.5, 0xFF0E0Du, 0.5), 0xFE0E0Cu);
}

TEST(SampleBilinear, wholePositionReturnsTheStoredPixelItself) {
    const Image img{2, 2, {0xAB123456u, 0x00000001u, 0x7F0000FFu, 0x00FFFFFFu}};
    EXPECT_EQ(Sample_Bilinear(0, 0, img.view()), 0xAB123456u);
    EXPECT_EQ(Sample_Bilinear(1, 1, img.view()), 0x00FFFFFFu);
    EXPECT_EQ(Sample_Bilinear(0, 1, img.view()), 0x7F0000FFu);
}

TEST(SampleBilinear, tinyFractionsSnapAndSlightlyLargerOnesBlend) {
    // A snapped sample is the raw pixel, high byte included; a blend with a
    // 0.0011 share of white is 0.28 per channel, which rounds to 0, and has the
    // high byte clear.
    const Image row{2, 1, {0xFF000000u, 0xFFFFFFu}};
    EXPECT_EQ(Sample_Bilinear(0.0009, 0, row.view()), 0xFF000000u);
    EXPECT_EQ(Sample_Bilinear(0.0011, 0, row.view()), 0u);
    const Image column{1, 3, {0u, 0xFF000000u, 0xFFFFFFu}};
    EXPECT_EQ(Sample_Bilinear(0, 1.0009, column.view()), 0xFF000000u);
    EXPECT_EQ(Sample_Bilinear(0, 1.0011, column.view()), 0u);
}

TEST(SampleBilinear, fourPixelsAverageColumnsFirstWithIntermediateRounding) {
    // Left column 0x0A0100 over 0x0B0201, right column 0x140302 over 0x150403.
    // Red: 0.5 -> 0 and 2.5 -> 2, then 1 (plain bilinear would give 1.5 -> 2).
    // Green: 1.5 -> 2 and 3.5 -> 4, then 3 (plain: 2.5 -> 2).
    // Blue: 10.5 -> 10 and 20.5 -> 20, then 15 (plain: 15.5 -> 16).
    const Image img{2, 2, {0x0A0100u, 0x140302u, 0x0B0201u, 0x150403u}};
    EXPECT_EQ(Sample_Bilinear(0.5, 0.5, img.view()), 0x0F0301u);
}

TEST(SampleBilinear, lastColumnBlendsWithWhiteOutside) {
    const Image img{2, 2, {0x000000u, 0x0000FFu, 0x000000u, 0x0000FFu}};
    // Green and blue are 127.5 and round to the even 128.
    EXPECT_EQ(Sample_Bilinear(1.5, 0, img.view()), 0x8080FFu);
    EXPECT_EQ(Sample_Bilinear(1.5, 1, img.view()), 0x8080FFu);
    const Image column{1, 2, {0x0000FFu, 0x0000FFu}};
    EXPECT_EQ(Sample_Bilinear(0, 1.5, column.view()), 0x8080FFu);
}

TEST(SampleBilinear, columnAfterTheLastIsWhiteOrTheInvalidValue) {
    const Image img{2, 2, {0x000000u, 0x0000FFu, 0x000000u, 0x0000FFu}};
    EXPECT_EQ(Sample_Bilinear(2, 0.5, img.view()), 0x00FFFFFFu);
    EXPECT_EQ(Sample_Bilinear(2, 0, img.view()), 0xFFFFFFFFu);
    EXPECT_EQ(Sample_Bilinear(0.5, 2, img.view()), 0x00FFFFFFu);
    EXPECT_EQ(Sample_Bilinear(0, 2, img.view()), 0xFFFFFFFFu);
}

TEST(SampleBilinear, positionsBeyondAnyIndexReadOutsideUnblended) {
    const Image img{1, 1, {0x123456u}};
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Sample_Bilinear(1e300, 0, img.view()), 0xFFFFFFFFu);
    EXPECT_EQ(Sample_Bilinear(0, 1e300, img.view()), 0xFFFFFFFFu);
    EXPECT_EQ(Sample_Bilinear(inf, 0, img.view()), 0xFFFFFFFFu);
    EXPECT_EQ(Sample_Bilinear(0, inf, img.view()), 0xFFFFFFFFu);
}

TEST(SampleBilinear, blendedResultsHaveTheHighByteClear) {
    const Image img{2, 2, {0xFF102030u, 0xFF405060u, 0xFF708090u, 0xFFA0B0C0u}};
    for (double sx : {0.0, 0.25, 0.5})
        for (double sy : {0.0, 0.25, 0.5}) {
            if (sx == 0 && sy == 0)
                continue;
            EXPECT_EQ(Sample_Bilinear(sx, sy, img.view()) >> 24, 0u) << sx << ", " << sy;
        }
}

} // namespace
} // namespace velmora
