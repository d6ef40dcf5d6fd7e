// The ratio chosen for a size: the side asked for comes out exactly as the
// engine computes it, the other side as near the source's aspect as the
// ratios giving that side allow, a box gets the largest result inside it, and
// a size out of the range is refused.
#include "engine/enlarge.h"
#include "tool/sizeratio.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using velmora::imageio::Size;
using velmora::tool::chooseRatio;
using velmora::tool::RatioChoice;
using velmora::tool::SizeRule;

Size resultAt(Size source, double r) {
    const velmora::EnlargeGeometry g = velmora::enlargeGeometry(source.width(), source.height(), r);
    return {g.width, g.height};
}

Size transposed(Size s) {
    return {s.height(), s.width()};
}

// Odd sizes both ways up, a square, extremes of aspect and a photo.
const Size kSources[] = {{29, 31},  {31, 17},   {7, 7},      {3, 1000},
                         {1000, 3}, {640, 480}, {4000, 2999}};

// The height the rule gives for width x: the share of the source's aspect,
// rounded, held within the heights the ratios giving x reach: r x W - 1 goes
// from x to x + 1 over them, so r x H - 1 from (x + 1) H / W - 1 to
// (x + 2) H / W - 1, the ratio kept from 1.1 to 10.0. Worked out without the
// engine; 0 when an end is too near a whole number for doubles to decide.
long long expectedHeight(Size source, int x) {
    const double w = source.width(), h = source.height();
    const double low = std::max((x + 1) * h / w, 1.1 * h) - 1;
    const double high = std::min((x + 2) * h / w, 10.0 * h) - 1;
    const auto nearWhole = [](double v) { return std::abs(v - std::round(v)) < 1e-6; };
    if (nearWhole(low) || nearWhole(high))
        return 0;
    return std::clamp(std::llround(x * h / w), static_cast<long long>(std::floor(low)),
                      static_cast<long long>(std::ceil(high)) - 1);
}

} // namespace

TEST(SizeRatio, aWidthComesOutExactlyWithTheHeightNearestTheAspect) {
    for (const Size& source : kSources) {
        const int from = resultAt(source, 1.1).width(), to = resultAt(source, 10.0).width();
        for (int x = from; x <= to; x += std::max(1, (to - from) / 97)) {
            const RatioChoice c = chooseRatio({SizeRule::Width, x, 0}, source);
            ASSERT_GE(c.ratio, 1.1) << source.width() << " to " << x << ": " << c.refusal;
            ASSERT_LE(c.ratio, 10.0);
            const Size got = resultAt(source, c.ratio);
            EXPECT_EQ(got.width(), x) << source.width() << "x" << source.height();
            if (const long long h = expectedHeight(source, x); h > 0) {
                EXPECT_EQ(got.height(), h)
                    << source.width() << "x" << source.height() << " to " << x;
            }
            // The smallest ratio that gives this result, unless that is 1.1.
            if (c.ratio > 1.1) {
                EXPECT_NE(resultAt(source, std::nextafter(c.ratio, 0.0)), got);
            }
            // --height is --width turned a quarter.
            const RatioChoice turned = chooseRatio({SizeRule::Height, 0, x}, transposed(source));
            EXPECT_EQ(turned.ratio, c.ratio);
        }
    }
}

TEST(SizeRatio, aBoxGetsTheLargestResultInsideIt) {
    const Size boxes[] = {{100, 100}, {1920, 1080}, {1080, 1920}, {64, 5000}, {5000, 64}};
    for (const Size& source : kSources)
        for (const Size& box : boxes) {
            const RatioChoice c = chooseRatio({SizeRule::Fit, box.width(), box.height()}, source);
            if (c.ratio == 0) // out of range: no ratio from 1.1 to 10.0 touches the box
                continue;
            const Size got = resultAt(source, c.ratio);
            EXPECT_TRUE(got.width() <= box.width() && got.height() <= box.height());
            EXPECT_TRUE(got.width() == box.width() || got.height() == box.height());
            if (c.ratio < 10.0) {
                const Size more = resultAt(source, std::nextafter(c.ratio, 20.0));
                EXPECT_TRUE(more.width() > box.width() || more.height() > box.height());
            }
        }
}

// At each end of the range the last side reached is taken, and one pixel
// further is refused, saying which way; so is a side single precision skips.
TEST(SizeRatio, aSizeOutOfTheRangeOrNotReachedExactlyIsRefused) {
    const Size source(29, 31);
    const int lowest = resultAt(source, 1.1).width(), highest = resultAt(source, 10.0).width();
    struct Case {
        velmora::tool::SizeTarget target;
        Size source;
        const char* refusal; // "" when taken
    } cases[] = {
        {{SizeRule::Width, lowest, 0}, source, ""},
        {{SizeRule::Width, highest, 0}, source, ""},
        {{SizeRule::Width, lowest - 1, 0},
         source,
         "to a width of 29 pixels: from 29 x 31 that needs a ratio below 1.1"},
        {{SizeRule::Width, highest + 1, 0},
         source,
         "to a width of 290 pixels: from 29 x 31 that needs a ratio above 10.0"},
        {{SizeRule::Height, 0, 400},
         source,
         "to a height of 400 pixels: from 29 x 31 that needs a ratio above 10.0"},
        {{SizeRule::Fit, 29, 1000},
         source,
         "to fit 29 x 1000: from 29 x 31 that needs a ratio below 1.1"},
        {{SizeRule::Fit, 1000, 1000},
         source,
         "to fit 1000 x 1000: from 29 x 31 that needs a ratio above 10.0"},
        {{SizeRule::Fit, highest, 1000}, source, ""},
        // Past 2^24 a float holds even numbers only.
        {{SizeRule::Width, (1 << 24) + 1, 0},
         {10000000, 1},
         "to a width of 16777217 pixels: no ratio gives exactly that from 10000000 x 1"},
    };
    for (const Case& c : cases) {
        const RatioChoice choice = chooseRatio(c.target, c.source);
        EXPECT_EQ(choice.refusal, c.refusal);
        EXPECT_EQ(choice.ratio == 0, *c.refusal != '\0') << c.refusal;
    }
}
