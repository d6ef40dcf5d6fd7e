// What the button paints: the frame pictures, the slices stretched around the
// face, the gradient and where the caption goes.
#include "controls/buttonface.h"
#include "controls/command.h"
#include "controls/controlresources.h"
#include "controls/propertybag.h"

#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

namespace velmora {
namespace {

constexpr QRgb kOutline = 0x003C74;

QString hex(QRgb c) {
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}
::testing::AssertionResult colourAt(const QImage& image, int x, int y, QRgb expected) {
    const QRgb actual = image.pixel(x, y) & 0xFFFFFF;
    if (actual == (expected & 0xFFFFFF))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << x << ", " << y << ") is " << hex(actual).toStdString() << ", expected "
           << hex(expected).toStdString();
}

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
    Frames, FramePictures,
    ::testing::Values(
        FrameSpots{"Normal",
                   Frame::Normal,
                   1,
                   kOutline,
                   {{32, 12, 0xF3F3EE}, {32, 21, 0xE2DFD6}, {32, 22, 0xD6D0C5}}},
        FrameSpots{"HighLight",
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
        FrameSpots{"Selected",
                   Frame::Selected,
                   1,
                   kOutline,
                   {{32, 2, 0xCEE7FF}, {32, 3, 0xCEE7FF}, {32, 21, 0x6982EE}, {32, 22, 0x6982EE}}},
        FrameSpots{"Pressed",
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
        FrameSpots{"Disable", Frame::Disable, 1, 0xC9C7BA, {{0, 0, 0xECE9D8}, {32, 12, 0xF5F4EA}}}),
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

class PaintedButton : public ::testing::Test {
  protected:
    void SetUp() override {
        host.resize(200, 100);
        button = new Command(&host);
        button->setGeometry(10, 10, 61, 25);
        button->readProperties(PropertyBag{});
        button->Initialize();
        host.show();
    }
    QWidget host;
    Command* button = nullptr;
};

TEST_F(PaintedButton, normalFaceHasTheOutlineAtItsEdgesAndTheGradientInside) {
    ASSERT_EQ(button->shownFrame(), Frame::Normal);
    const QImage& face = button->face();
    ASSERT_EQ(face.size(), QSize(61, 25));
    for (auto [x, y] : {std::pair{1, 12}, {59, 12}, {30, 1}, {30, 23}, {2, 2}, {58, 22}})
        EXPECT_TRUE(colourAt(face, x, y, kOutline));
    EXPECT_FALSE(colourAt(face, 0, 0, kOutline));
    EXPECT_FALSE(colourAt(face, 1, 1, kOutline));

    QImage reference(61, 25, QImage::Format_ARGB32_Premultiplied);
    PaintGradient(reference, false);
    for (int y = 4; y < 21; ++y)
        EXPECT_TRUE(colourAt(face, 30, y, reference.pixel(30, y)));
}

TEST_F(PaintedButton, captionIsCentredAcrossTheWholeButton) {
    const auto* caption = button->findChild<QLabel*>(QStringLiteral("LblMsg"));
    ASSERT_NE(caption, nullptr);
    // A 375-twip button with the 195-twip label: top 80 twips.
    EXPECT_DOUBLE_EQ(button->captionTopTwips(), 80.0);
    EXPECT_EQ(caption->geometry(), QRect(0, 5, 61, 13));
    EXPECT_EQ(caption->alignment(), Qt::AlignCenter);
    button->resize(120, 40);
    EXPECT_DOUBLE_EQ(button->captionTopTwips(), (600 - 195 - 20) / 2.0);
    EXPECT_EQ(caption->width(), 120);
}

TEST_F(PaintedButton, disabledLookHasAGreyOutlineAndAGreyedCaption) {
    button->Caption(QStringLiteral("設定"));
    auto darkest = [&] {
        const QImage shot = button->grab().toImage();
        int best = 255;
        for (int y = 5; y < 18; ++y)
            for (int x = 10; x < 50; ++x)
                best = std::min(best, qGray(shot.pixel(x, y)));
        return best;
    };
    const int enabledInk = darkest();
    button->Enabled(false);
    EXPECT_TRUE(colourAt(button->face(), 1, 12, 0xC9C7BA));
    const int disabledInk = darkest();
    EXPECT_LT(enabledInk, 60);
    EXPECT_GT(disabledInk, enabledInk + 40);
}

TEST_F(PaintedButton, transparentButtonLeavesItsFaceOut) {
    QPalette green = host.palette();
    green.setColor(QPalette::Window, QColor(10, 200, 10));
    host.setPalette(green);
    host.setAutoFillBackground(true);
    button->Caption(QString());
    button->Visible(0);
    const QImage shot = host.grab(button->geometry()).toImage();
    EXPECT_TRUE(colourAt(shot, 30, 12, qRgb(10, 200, 10)));
    button->Visible(1);
    const QImage opaque = host.grab(button->geometry()).toImage();
    EXPECT_TRUE(colourAt(opaque, 1, 12, kOutline));
}

} // namespace
} // namespace velmora
