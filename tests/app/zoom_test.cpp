// The zoom's arithmetic: the steps, fit, and the conversions between content
// and shown pixels.
#include "app/zoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <ostream>
#include <string>

// Failures print sizes, points and zooms as numbers.
void PrintTo(const QSize& s, std::ostream* os) {
    *os << s.width() << " x " << s.height();
}
void PrintTo(const QPoint& p, std::ostream* os) {
    *os << "(" << p.x() << ", " << p.y() << ")";
}

namespace velmora {
void PrintTo(const Zoom& z, std::ostream* os) {
    *os << "magnify " << z.magnify << " / divisor " << z.divisor;
}
} // namespace velmora

using namespace velmora;

namespace {

// A case prints as its name.
template <typename Case> void printCase(const Case& c, std::ostream* os) {
    *os << c.name;
}

} // namespace

namespace {

struct StepCase {
    const char* name;
    Zoom from;
    std::optional<Zoom> in, out; // fit divisor 4.15 (415 x 298 in 100 x 80)
};
void PrintTo(const StepCase& c, std::ostream* os) {
    printCase(c, os);
}

class ZoomSteps : public testing::TestWithParam<StepCase> {};

} // namespace

TEST_P(ZoomSteps, goByHalvesBetweenTheLargestThatFitsAndEightTimes) {
    const StepCase& c = GetParam();
    const double fit = fitDivisor({415, 298}, {100, 80});
    EXPECT_EQ(zoomedIn(c.from), c.in);
    EXPECT_EQ(zoomedOut(c.from, fit), c.out);
}

INSTANTIATE_TEST_SUITE_P(steps, ZoomSteps,
                         testing::Values(StepCase{"fit", {4.15, 1}, Zoom{4, 1}, Zoom{8, 1}},
                                         StepCase{"quarter", {4, 1}, Zoom{2, 1}, Zoom{8, 1}},
                                         StepCase{"eighth", {8, 1}, Zoom{4, 1}, std::nullopt},
                                         StepCase{"half", {2, 1}, Zoom{1, 1}, Zoom{4, 1}},
                                         StepCase{"oneToOne", {1, 1}, Zoom{1, 2}, Zoom{2, 1}},
                                         StepCase{"twice", {1, 2}, Zoom{1, 4}, Zoom{1, 1}},
                                         StepCase{"eightTimes", {1, 8}, std::nullopt, Zoom{1, 4}}),
                         [](const testing::TestParamInfo<StepCase>& info) {
                             return std::string(info.param.name);
                         });

namespace {

struct FitCase {
    const char* name;
    QSize content, area, shown; // shown: the content at the fit divisor
};
void PrintTo(const FitCase& c, std::ostream* os) {
    printCase(c, os);
}

class Fit : public testing::TestWithParam<FitCase> {};

} // namespace

TEST_P(Fit, isTheSmallestReductionThatFits) {
    const FitCase& c = GetParam();
    const double d = fitDivisor(c.content, c.area);
    EXPECT_EQ(shownSize(c.content, {d, 1}), c.shown);
    // A hair less would not fit.
    if (d > 1)
        EXPECT_FALSE(QRect(QPoint(), c.area)
                         .contains(QRect(QPoint(), shownSize(c.content, {d * (1 - 1e-6), 1}))));
}

INSTANTIATE_TEST_SUITE_P(
    areas, Fit,
    testing::Values(FitCase{"alreadyFits", {90, 70}, {100, 80}, {90, 70}},
                    FitCase{"wide", {415, 298}, {100, 80}, {100, 72}},
                    FitCase{"tall", {298, 415}, {100, 80}, {58, 80}},
                    FitCase{"huge", {59999, 39999}, {1920, 1080}, {1621, 1080}}),
    [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

namespace {

struct AnchorCase {
    const char* name;
    Zoom zoom;
    QPointF point; // content point to keep under `at`
    QPoint at, offset;
};
void PrintTo(const AnchorCase& c, std::ostream* os) {
    printCase(c, os);
}

class Anchor : public testing::TestWithParam<AnchorCase> {};

} // namespace

// In a 100 x 80 view of 415 x 298: the point stays under the pointer, unless
// an edge stops the view; the content under the view covers it.
TEST_P(Anchor, keepsThePointUnderThePointerWithinTheEdges) {
    const AnchorCase& c = GetParam();
    const QSize content(415, 298), view(100, 80);
    const QSize shown = shownSize(content, c.zoom);
    const QPoint offset = anchoredOffset(c.point, c.at, c.zoom, shown, view);
    EXPECT_EQ(offset, c.offset);
    const QRect under = contentUnder(QRect(offset, view), c.zoom, content);
    EXPECT_TRUE(under.contains(c.point.toPoint()));
    const QPointF left = QPointF(offset) / c.zoom.scale();
    EXPECT_EQ(under.topLeft(), QPoint(int(std::floor(left.x())), int(std::floor(left.y()))));
}

INSTANTIATE_TEST_SUITE_P(
    points, Anchor,
    testing::Values(AnchorCase{"oneToOne", {1, 1}, {200.5, 150.5}, {50, 40}, {150, 110}},
                    AnchorCase{"twice", {1, 2}, {200.5, 150.5}, {50, 40}, {351, 261}},
                    AnchorCase{"half", {2, 1}, {200, 150}, {10, 10}, {90, 65}},
                    AnchorCase{"pastTheOrigin", {1, 4}, {3, 2}, {50, 40}, {0, 0}},
                    AnchorCase{"pastTheFarEdge", {1, 1}, {410, 290}, {0, 0}, {315, 218}}),
    [](const testing::TestParamInfo<AnchorCase>& info) { return std::string(info.param.name); });

TEST(ZoomText, namesWholePercentsAndTenths) {
    EXPECT_EQ(zoomText(1), "100%");
    EXPECT_EQ(zoomText(8), "800%");
    EXPECT_EQ(zoomText(0.125), "12.5%");
    EXPECT_EQ(zoomText(1 / 37.0), "2.7%");
}
