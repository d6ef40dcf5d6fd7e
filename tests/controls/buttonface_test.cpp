// How the button's face is drawn: the gradient between its two colours, and
// the frame picture's slices stretched around it.
#include "controls/buttonface.h"
#include "tests/controls/controls_fixture.h"

#include <QImage>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::colourAt;

TEST(FaceGradient, runsBetweenItsTwoColoursAndHoverMirrorsIt) {
    QImage normal(8, 25, QImage::Format_ARGB32_Premultiplied);
    QImage hover(normal.size(), normal.format());
    PaintGradient(normal, false);
    PaintGradient(hover, true);
    EXPECT_TRUE(colourAt(normal, 3, 0, kFaceLight));
    EXPECT_TRUE(colourAt(normal, 3, 24, kFaceShade));
    EXPECT_TRUE(colourAt(hover, 3, 0, kFaceShade));
    EXPECT_TRUE(colourAt(hover, 3, 24, kFaceLight));
    for (int y = 0; y < 25; ++y) {
        EXPECT_NEAR(qBlue(normal.pixel(0, y)), qBlue(hover.pixel(7, 24 - y)), 1) << y;
        EXPECT_NEAR(qRed(normal.pixel(0, y)), qRed(hover.pixel(7, 24 - y)), 1) << y;
        if (y > 0) {
            EXPECT_LE(qRed(normal.pixel(0, y)), qRed(normal.pixel(0, y - 1))) << y;
        }
    }
}

// A frame whose regions have their own colours shows where each slice lands.
constexpr QRgb kCornerRegion = 0xFFFF0000, kHorizontalRegion = 0xFF00FF00,
               kVerticalRegion = 0xFF0000FF, kCentreRegion = 0xFFFF00FF, kUntouched = 0xFF000000;

QImage regionFrame() {
    QImage frame(64, 25, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool edgeX = x < 4 || x >= 60, edgeY = y < 4 || y >= 21;
            frame.setPixel(x, y,
                           edgeX && edgeY ? kCornerRegion
                           : edgeY        ? kHorizontalRegion
                           : edgeX        ? kVerticalRegion
                                          : kCentreRegion);
        }
    return frame;
}

QImage paintedSlices(QSize size) {
    QImage button(size, QImage::Format_ARGB32_Premultiplied);
    button.fill(kUntouched);
    paintFrameSlices(button, regionFrame());
    return button;
}

TEST(FrameSlicesOnAButton, cornersKeepTheirSizeEdgesStretchAndTheCentreIsNotDrawn) {
    // 915 x 375 twips: edges of 795 (53 pixels) and 255 twips (17 pixels).
    const QImage button = paintedSlices({61, 25});
    auto count = [&](QRgb c, auto&& at, int n) {
        int k = 0;
        for (int i = 0; i < n; ++i)
            k += at(i) == c;
        return k;
    };
    for (int y : {0, 3, 21, 24})
        EXPECT_EQ(count(
                      kHorizontalRegion, [&](int x) { return button.pixel(x, y); }, 61),
                  53)
            << y;
    for (int x : {0, 3, 57, 60})
        EXPECT_EQ(count(
                      kVerticalRegion, [&](int y) { return button.pixel(x, y); }, 25),
                  17)
            << x;
    for (int x : {0, 3, 57, 60})
        for (int y : {0, 3, 21, 24})
            EXPECT_EQ(button.pixel(x, y), kCornerRegion) << x << "," << y;
    for (int y = 4; y < 21; ++y)
        for (int x = 4; x < 57; ++x)
            ASSERT_EQ(button.pixel(x, y), kUntouched) << x << "," << y;
}

TEST(FrameSlicesOnAButton, aButtonSmallerThanItsCornersGetsCornersOnly) {
    // 90 x 90 twips: W - 120 is negative; the edges are left out, not mirrored.
    const QImage button = paintedSlices({6, 6});
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(button.pixel(x, y), kCornerRegion) << x << "," << y;
}

} // namespace
} // namespace velmora
