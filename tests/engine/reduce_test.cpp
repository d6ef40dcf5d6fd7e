// The reduced view of a result: each view pixel against the exact average of
// the result pixels its block covers, for noise and smooth pictures, ratios
// with and without blending, whole and fractional divisors; any tile of the
// view equals the same part of the whole view.
#include "engine/reduce.h"
#include "tests/support/caseprint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace velmora {
namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    SourceImage view() const { return {pixels.data(), width, height, width}; }
};

Picture noise(int w, int h) {
    Picture p{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)};
    std::mt19937 rng(7);
    for (auto& px : p.pixels)
        px = 0xFF000000u | (rng() & 0xFFFFFF);
    return p;
}

Picture smooth(int w, int h) {
    Picture p{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.pixels[static_cast<std::size_t>(y) * w + x] =
                0xFF000000u | static_cast<std::uint32_t>(x * 255 / w) << 16 |
                static_cast<std::uint32_t>(y * 255 / h) << 8 |
                static_cast<std::uint32_t>((x + y) * 97 % 256);
    return p;
}

// The whole result, as the engine makes it (the source itself at ratio 0).
Picture wholeResult(const Picture& source, double r) {
    if (r == 0)
        return source;
    const EnlargeGeometry g = enlargeGeometry(source.width, source.height, r);
    Picture out{g.width, g.height, std::vector<std::uint32_t>(std::size_t(g.width) * g.height)};
    EXPECT_EQ(enlarge(source.view(), r, {out.pixels.data(), g.width, g.height, g.width}),
              EnlargeStatus::Done);
    return out;
}

// The exact average of view pixel (u, v)'s block, per channel (blue, green, red).
std::vector<double> exactAverage(const Picture& result, double d, int u, int v) {
    const auto start = [d](long long i) { return static_cast<long long>(std::floor(i * d)); };
    const long long x0 = start(u), x1 = std::min<long long>(result.width, start(u + 1));
    const long long y0 = start(v), y1 = std::min<long long>(result.height, start(v + 1));
    std::vector<double> sum(3, 0.0);
    for (long long y = y0; y < y1; ++y)
        for (long long x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c)
                sum[c] += result.pixels[y * result.width + x] >> (8 * c) & 0xFF;
    for (double& s : sum)
        s /= static_cast<double>((x1 - x0) * (y1 - y0));
    return sum;
}

using velmora_test::PrintTo;

struct Case {
    const char* name;
    bool noisy;
    int width, height;
    double r, divisor;
};

class ReduceTest : public ::testing::TestWithParam<Case> {};

TEST_P(ReduceTest, everyViewPixelIsWithinOneOfItsBlocksExactAverage) {
    const Case& c = GetParam();
    const Picture source = c.noisy ? noise(c.width, c.height) : smooth(c.width, c.height);
    const Picture result = wholeResult(source, c.r);
    const int w = reducedExtent(result.width, c.divisor);
    const int h = reducedExtent(result.height, c.divisor);
    ASSERT_GT(w, 0);
    std::vector<std::uint32_t> shown(std::size_t(w) * h);
    ASSERT_EQ(reduce(source.view(), c.r, c.divisor, {shown.data(), w, h, w}, 0, 0),
              EnlargeStatus::Done);
    double total = 0, worst = 0;
    for (int v = 0; v < h; ++v)
        for (int u = 0; u < w; ++u) {
            const std::vector<double> exact = exactAverage(result, c.divisor, u, v);
            ASSERT_EQ(shown[std::size_t(v) * w + u] >> 24, 0xFFu);
            for (int ch = 0; ch < 3; ++ch) {
                const double diff =
                    std::abs(double(shown[std::size_t(v) * w + u] >> (8 * ch) & 0xFF) - exact[ch]);
                total += diff;
                worst = std::max(worst, diff);
            }
        }
    EXPECT_LE(total / (3.0 * w * h), 1.0);
    EXPECT_LE(worst, 2.0);

    // A tile at an odd place is that part of the whole view; past the view, white.
    const int tx = w / 3, ty = h / 2, tw = w - tx + 2, th = std::max(1, h - ty);
    std::vector<std::uint32_t> tile(std::size_t(tw) * th);
    ASSERT_EQ(reduce(source.view(), c.r, c.divisor, {tile.data(), tw, th, tw}, tx, ty),
              EnlargeStatus::Done);
    for (int v = 0; v < th; ++v)
        for (int u = 0; u < tw; ++u) {
            const std::uint32_t expected =
                tx + u < w && ty + v < h ? shown[std::size_t(ty + v) * w + tx + u] : 0xFFFFFFFFu;
            ASSERT_EQ(tile[std::size_t(v) * tw + u], expected) << u << "," << v;
        }
}

INSTANTIATE_TEST_SUITE_P(
    cases, ReduceTest,
    ::testing::Values(Case{"noiseAtOneToOneHalved", true, 61, 47, 0, 2},
                      Case{"noiseAtTenQuartered", true, 23, 17, 10, 4},
                      Case{"noiseAtTenFitted", true, 23, 17, 10, 3.7},
                      Case{"noiseAtSevenPointThreeByThirtySeven", true, 31, 29, 7.3, 37.5},
                      Case{"noiseAtOnePointOneHalved", true, 57, 41, 1.1, 2},
                      Case{"smoothAtTwoPointFiveByEight", false, 64, 48, 2.5, 8},
                      Case{"smoothAtTenByFiveHundred", false, 80, 60, 10, 500},
                      Case{"noiseAtThreeWholeDivisorOne", true, 13, 11, 3, 1}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Axes of parts of a line of tiles joined give the view one axis gives; parts
// that leave a gap or overlap are refused.
TEST(Reduce, joinedAxesGiveTheViewOfOneAxis) {
    const Picture source = noise(23, 17);
    const EnlargeGeometry g = enlargeGeometry(23, 17, 10);
    const double d = 3.7;
    const int w = reducedExtent(g.width, d), h = reducedExtent(g.height, d);
    const auto axis = [&](int first, int count, long long extent, int sourceExtent) {
        ReducedAxis a;
        EXPECT_TRUE(makeReducedAxis(first, count, d, extent, 10, sourceExtent, &a));
        return a;
    };
    const ReducedAxis whole = axis(0, w, g.width, 23), rows = axis(0, h, g.height, 17);
    const ReducedAxis a = axis(0, 5, g.width, 23), b = axis(5, 12, g.width, 23),
                      c = axis(17, w - 17, g.width, 23);
    ReducedAxis joined;
    ASSERT_TRUE(joinReducedAxes({&a, &b, &c}, &joined));
    std::vector<std::uint32_t> one(std::size_t(w) * h), parts(one.size());
    ASSERT_EQ(reduce(source.view(), whole, rows, {one.data(), w, h, w}), EnlargeStatus::Done);
    ASSERT_EQ(reduce(source.view(), joined, rows, {parts.data(), w, h, w}), EnlargeStatus::Done);
    EXPECT_EQ(parts, one);
    EXPECT_FALSE(joinReducedAxes({&a, &c}, &joined));
    EXPECT_FALSE(joinReducedAxes({&a, &a}, &joined));
    EXPECT_FALSE(joinReducedAxes({}, &joined));
}

TEST(ReducedExtent, coversTheResultWithBlocksThatStartInsideIt) {
    EXPECT_EQ(reducedExtent(100, 1), 100);
    EXPECT_EQ(reducedExtent(100, 2), 50);
    EXPECT_EQ(reducedExtent(101, 2), 51);
    EXPECT_EQ(reducedExtent(59999, 31.25), 1920);
    EXPECT_EQ(reducedExtent(10, 3.7), 3);
    EXPECT_EQ(reducedExtent(0, 2), 0);
    EXPECT_EQ(reducedExtent(10, 0.5), 0);
}

TEST(Reduce, refusesWhatItCannotShow) {
    const Picture source = smooth(4, 4);
    std::uint32_t out[4];
    EXPECT_EQ(reduce(source.view(), -1, 2, {out, 2, 2, 2}, 0, 0), EnlargeStatus::Refused);
    EXPECT_EQ(reduce(source.view(), 2, 0.5, {out, 2, 2, 2}, 0, 0), EnlargeStatus::Refused);
    EXPECT_EQ(reduce(source.view(), 2, 2, {out, 2, 2, 1}, 0, 0), EnlargeStatus::Refused);
    EXPECT_EQ(reduce(source.view(), 2, 2, {out, 2, 2, 2}, -1, 0), EnlargeStatus::Refused);
}

} // namespace
} // namespace velmora
