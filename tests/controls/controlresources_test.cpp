// The pictures compiled into the controls: the frame pictures against their
// colour tables, and the dialogs' texture strip.
#include "controls/controlresources.h"
#include "tests/controls/controls_fixture.h"
#include "tests/support/caseprint.h"

#include <QImage>

#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

namespace velmora {
namespace {

using testing::colourAt;
using testing::kOutline;

using velmora_test::PrintTo;

// Spot checks of each frame picture against its colour table.
struct FrameSpots {
    const char* name;
    Frame frame;
    int outlineInset;
    QRgb outline;
    std::vector<std::tuple<int, int, QRgb>> spots;
};

class FramePictures : public ::testing::TestWithParam<FrameSpots> {};

TEST_P(FramePictures, haveTheOutlineAndBandOfTheirTable) {
    const FrameSpots& p = GetParam();
    const QImage image = frameImage(p.frame);
    ASSERT_EQ(image.size(), QSize(64, 25));
    const int i = p.outlineInset;
    // Outline one (Pressed: two) pixels inside every edge.
    EXPECT_TRUE(colourAt(image, i, 12, p.outline));
    EXPECT_TRUE(colourAt(image, 63 - i, 12, p.outline));
    EXPECT_TRUE(colourAt(image, 32, i, p.outline));
    EXPECT_TRUE(colourAt(image, 32, 24 - i, p.outline));
    // Rounded corners: the corner pixel itself is not outline, the one
    // diagonally inside is.
    for (auto [x, y] : {std::pair{i, i}, {63 - i, i}, {i, 24 - i}, {63 - i, 24 - i}})
        EXPECT_FALSE(colourAt(image, x, y, p.outline));
    for (auto [x, y] :
         {std::pair{i + 1, i + 1}, {62 - i, i + 1}, {i + 1, 23 - i}, {62 - i, 23 - i}})
        EXPECT_TRUE(colourAt(image, x, y, p.outline));
    for (const auto& [x, y, c] : p.spots)
        EXPECT_TRUE(colourAt(image, x, y, c));
}

INSTANTIATE_TEST_SUITE_P(
    frames, FramePictures,
    ::testing::Values(
        FrameSpots{"normal",
                   Frame::Normal,
                   1,
                   kOutline,
                   {{32, 12, 0xF3F3EE}, {32, 21, 0xE2DFD6}, {32, 22, 0xD6D0C5}}},
        FrameSpots{"highLight",
                   Frame::HighLight,
                   1,
                   kOutline,
                   {{32, 2, 0xFFF0CF},
                    {32, 3, 0xFDD889},
                    {2, 4, 0xFEDF9A},
                    {61, 20, 0xF9B435},
                    {60, 22, 0xE59700},
                    {32, 21, 0xF8B330},
                    {32, 22, 0xE59700}}},
        FrameSpots{"selected",
                   Frame::Selected,
                   1,
                   kOutline,
                   {{32, 2, 0xCEE7FF}, {32, 3, 0xCEE7FF}, {32, 21, 0x6982EE}, {32, 22, 0x6982EE}}},
        FrameSpots{"pressed",
                   Frame::Pressed,
                   2,
                   kOutline,
                   {{0, 12, 0xECE9D8},
                    {1, 12, 0xECE9D8},
                    {32, 1, 0xECE9D8},
                    {32, 3, 0xD1CCC1},
                    {3, 12, 0xD1CCC1},
                    {32, 12, 0xE2E1D9},
                    {32, 21, 0xF2F1EE}}},
        FrameSpots{"disable", Frame::Disable, 1, 0xC9C7BA, {{0, 0, 0xECE9D8}, {32, 12, 0xF5F4EA}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FramePictures, highLightSelectIsHighLightPixelForPixel) {
    EXPECT_EQ(frameImage(Frame::HighLightSelect), frameImage(Frame::HighLight));
}

TEST(TextureStrip, isALightStreakyGreyDarkeningToTheRight) {
    initControlResources();
    const QImage strip(QStringLiteral(":/textures/metal.bmp"));
    ASSERT_EQ(strip.size(), QSize(1030, 23));
    ASSERT_EQ(strip.depth(), 32); // loaded; the file itself is 24-bit
    auto columnMean = [&](int x0, int x1) {
        double r = 0, g = 0, b = 0;
        int n = 0;
        for (int x = x0; x <= x1; ++x)
            for (int y = 0; y < strip.height(); ++y, ++n) {
                r += qRed(strip.pixel(x, y));
                g += qGreen(strip.pixel(x, y));
                b += qBlue(strip.pixel(x, y));
            }
        return std::array<double, 3>{r / n, g / n, b / n};
    };
    const auto left = columnMean(0, 3), right = columnMean(1026, 1029);
    const double expectLeft[] = {223, 216, 223}, expectRight[] = {175, 168, 160};
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(left[c], expectLeft[c], 6) << "channel " << c;
        EXPECT_NEAR(right[c], expectRight[c], 6) << "channel " << c;
    }
    // Streaks: neighbouring rows differ.
    int differingRows = 0;
    for (int y = 1; y < strip.height(); ++y)
        differingRows += strip.copy(0, y, 1030, 1) != strip.copy(0, y - 1, 1030, 1);
    EXPECT_EQ(differingRows, 22);
}

} // namespace
} // namespace velmora
