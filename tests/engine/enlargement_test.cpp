// The result object: random rectangles of it, in every layout it writes, are
// the same pixels as that part of the whole-picture enlarge(), for ratios the
// integer loops take and ratios they do not, with every instruction set; and
// what it refuses.
#include "engine/enlargement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace velmora {
namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;
constexpr unsigned char kCanary = 0xA5;

std::vector<std::uint32_t> RandomPixels(int width, int height, std::uint32_t seed) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    std::mt19937 rng(seed);
    for (std::uint32_t& p : pixels)
        p = static_cast<std::uint32_t>(rng());
    return pixels;
}

struct RatioCase {
    double r;
    EnlargeKernel kernel;
};

const char* kernelName(EnlargeKernel kernel) {
    static const char* kernels[] = {"automatic", "baseline", "avx2", "avx512"};
    return kernels[static_cast<int>(kernel)];
}

// A case prints as its test's name: the kernel, then the ratio in hundredths.
void PrintTo(const RatioCase& c, std::ostream* os) {
    *os << kernelName(c.kernel) << "_r" << static_cast<int>(c.r * 100);
}

std::string Name(const testing::TestParamInfo<RatioCase>& info) {
    std::ostringstream s;
    PrintTo(info.param, &s);
    return s.str();
}

class EnlargementRectangles : public testing::TestWithParam<RatioCase> {};

// Each rectangle goes into a buffer with canary bytes around it; the layout,
// offset (to misalign words) and padding change from one to the next.
TEST_P(EnlargementRectangles, equalTheSameAreaOfTheWholeEnlargement) {
    const RatioCase c = GetParam();
    if (!enlargeKernelAvailable(c.kernel))
        GTEST_SKIP() << "the processor lacks these loops";
    constexpr int kWidth = 61, kHeight = 43;
    const std::vector<std::uint32_t> pixels = RandomPixels(kWidth, kHeight, 5);
    const SourceImage source{pixels.data(), kWidth, kHeight, kWidth};
    const Enlargement result(source, c.r, kOpaque, c.kernel);
    const EnlargeGeometry g = enlargeGeometry(kWidth, kHeight, c.r);
    ASSERT_EQ(result.status(), EnlargeStatus::Done);
    ASSERT_EQ(result.width(), g.width);
    ASSERT_EQ(result.height(), g.height);
    std::vector<std::uint32_t> whole(static_cast<std::size_t>(g.width) * g.height);
    EnlargeOptions options;
    options.blendedHigh = kOpaque;
    options.kernel = c.kernel;
    ASSERT_EQ(enlarge(source, c.r, {whole.data(), g.width, g.height, g.width}, options),
              EnlargeStatus::Done);
    std::mt19937 rng(static_cast<std::uint32_t>(c.r * 1000));
    const int layouts[] = {4, 4, 3, 1};
    for (int k = 0; k < 24; ++k) {
        Rect area;
        area.width = 1 + static_cast<int>(rng() % std::min(g.width, 300));
        area.height = 1 + static_cast<int>(rng() % std::min(g.height, 150));
        area.left = static_cast<int>(rng() % (g.width - area.width + 1));
        area.top = static_cast<int>(rng() % (g.height - area.height + 1));
        const int bpp = layouts[k % 4];
        const int offset = k % 8 == 1 ? 1 : 0; // words not aligned as words
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(area.width) * bpp + k % 5;
        std::vector<unsigned char> memory(offset + stride * area.height + 8, kCanary);
        ASSERT_EQ(result.fill(area, {memory.data() + offset, stride, bpp}), EnlargeStatus::Done);
        for (std::size_t i = 0; i < memory.size(); ++i) {
            const long long at = static_cast<long long>(i) - offset;
            const long long y = at / stride, x = at % stride / bpp;
            const bool inside = at >= 0 && y < area.height && at % stride < area.width * bpp;
            if (!inside) {
                ASSERT_EQ(memory[i], kCanary) << "written outside, byte " << i << " of case " << k;
                continue;
            }
            const std::uint32_t word =
                whole[static_cast<std::size_t>(area.top + y) * g.width + area.left + x];
            ASSERT_EQ(memory[i], static_cast<unsigned char>(word >> (8 * (at % stride % bpp))))
                << "case " << k << ", " << bpp << " bytes a pixel, result pixel (" << area.left + x
                << ", " << area.top + y << ")";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ratiosAndKernels, EnlargementRectangles,
                         testing::Values(RatioCase{1.0, EnlargeKernel::Automatic},
                                         RatioCase{2.0, EnlargeKernel::Automatic},
                                         RatioCase{3.3, EnlargeKernel::Automatic},
                                         RatioCase{6.4, EnlargeKernel::Automatic},
                                         RatioCase{0.7, EnlargeKernel::Automatic},
                                         RatioCase{4.0, EnlargeKernel::Baseline},
                                         RatioCase{7.3, EnlargeKernel::Baseline},
                                         RatioCase{2.0, EnlargeKernel::Avx2},
                                         RatioCase{9.1, EnlargeKernel::Avx2},
                                         RatioCase{8.0, EnlargeKernel::Avx512},
                                         RatioCase{5.7, EnlargeKernel::Avx512}),
                         Name);

TEST(Enlargement, refusesWhatItCannotFill) {
    const std::vector<std::uint32_t> pixels = RandomPixels(10, 10, 1);
    const Enlargement result({pixels.data(), 10, 10, 10}, 2.0, kOpaque);
    std::vector<std::uint32_t> out(400, 0);
    const PixelView into = PixelView::words(out.data(), 20);
    EXPECT_EQ(result.fill({0, 0, 20, 20}, into), EnlargeStatus::Refused); // result is 19 x 19
    EXPECT_EQ(result.fill({-1, 0, 5, 5}, into), EnlargeStatus::Refused);
    EXPECT_EQ(result.fill({0, 0, 19, 2}, {reinterpret_cast<unsigned char*>(out.data()), 40, 4}),
              EnlargeStatus::Refused); // stride below a row
    EXPECT_EQ(result.fill({0, 0, 5, 5}, {reinterpret_cast<unsigned char*>(out.data()), 80, 2}),
              EnlargeStatus::Refused);
    EXPECT_EQ(result.fill({0, 0, 5, 5}, {nullptr, 80, 4}), EnlargeStatus::Refused);
    EXPECT_EQ(result.fill({3, 3, 0, 5}, {nullptr, 0, 4}), EnlargeStatus::Done);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::uint32_t p) { return p == 0; }));
    for (const double r : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        const Enlargement bad({pixels.data(), 10, 10, 10}, r, kOpaque);
        EXPECT_EQ(bad.status(), EnlargeStatus::Refused) << r;
        EXPECT_EQ(bad.fill({0, 0, 1, 1}, into), EnlargeStatus::Refused) << r;
    }
    EXPECT_EQ(Enlargement({nullptr, 10, 10, 10}, 2.0, kOpaque).status(), EnlargeStatus::Refused);
    // A source of no pixels is read as white.
    const Enlargement none({nullptr, 0, 0, 0}, 1.5, 0);
    EXPECT_EQ(none.status(), EnlargeStatus::Done);
    EXPECT_EQ(none.width(), 0);
}

} // namespace
} // namespace velmora
