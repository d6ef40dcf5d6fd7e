// The whole-image enlargement: its size rule, and that every pixel it writes is
// the per-pixel Sample_Bilinear result, for every ratio, image shape, thread
// count and instruction set, without touching memory outside the destination;
// its statuses, and a stop asked for by the progress callback.
#include "engine/enlarge.h"
#include "engine/sampling.h"
#include "tests/support/caseprint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <limits>
#include <mutex>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace velmora {
namespace {

constexpr std::uint32_t kCanary = 0x5A5AA5A5u;
constexpr std::uint32_t kOpaque = 0xFF000000u;

struct Image {
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    std::vector<std::uint32_t> pixels;

    SourceImage view() const { return {pixels.data(), width, height, stride}; }
};

// Random pixels, high byte included, with stride padding that must never be read
// as image content (it holds a value the content never has).
Image Random_Image(int width, int height, int padding, std::uint32_t seed) {
    Image img{width, height, width + padding, {}};
    img.pixels.assign(static_cast<std::size_t>(img.stride) * std::max(height, 1), 0x00C0FFEEu);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.pixels[y * img.stride + x] = static_cast<std::uint32_t>(rng());
    return img;
}

// A destination with canary words after every row and after the last row.
struct Dest {
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    std::vector<std::uint32_t> pixels;

    Dest(int w, int h, int padding = 3)
        : width(w), height(h), stride(w + padding),
          pixels(static_cast<std::size_t>(stride) * h + padding, kCanary) {}
    DestImage view() { return {pixels.data(), width, height, stride}; }
    std::uint32_t at(int x, int y) const { return pixels[y * stride + x]; }

    // Canary words that were overwritten.
    int damagedCanaries() const {
        int damaged = 0;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            const auto x = static_cast<std::ptrdiff_t>(i % stride);
            const auto y = static_cast<std::ptrdiff_t>(i / stride);
            if ((x >= width || y >= height) && pixels[i] != kCanary)
                ++damaged;
        }
        return damaged;
    }
};

// What the contract says destination pixel (x, y) is: Sample_Bilinear at
// (x / r, y / r), with blendedHigh on top where a blend took place.
std::uint32_t Expected(const SourceImage& src, double r, int x, int y, std::uint32_t high) {
    const double sx = x / r;
    const double sy = y / r;
    const std::uint32_t c = Sample_Bilinear(sx, sy, src);
    const bool blended =
        std::floor(sx + kSnap) != std::floor(sx) || std::floor(sy + kSnap) != std::floor(sy);
    return blended ? c | high : c;
}

std::string Hex(std::uint32_t v) {
    std::ostringstream s;
    s << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << v;
    return s.str();
}

// The first mismatch, with a small grid of expected / actual values around it.
std::string Compare(const SourceImage& src, double r, const Dest& dst, std::uint32_t high) {
    for (int y = 0; y < dst.height; ++y)
        for (int x = 0; x < dst.width; ++x) {
            if (dst.at(x, y) == Expected(src, r, x, y, high))
                continue;
            std::ostringstream s;
            s << "first difference at (" << x << ", " << y << ") of " << dst.width << " x "
              << dst.height << "; expected/actual around it:\n";
            for (int gy = std::max(0, y - 1); gy < std::min(dst.height, y + 3); ++gy) {
                for (int gx = std::max(0, x - 2); gx < std::min(dst.width, x + 3); ++gx)
                    s << ' ' << Hex(Expected(src, r, gx, gy, high)) << '/' << Hex(dst.at(gx, gy));
                s << '\n';
            }
            return s.str();
        }
    return {};
}

EnlargeOptions Options(std::uint32_t high, int threads = 0) {
    EnlargeOptions options;
    options.blendedHigh = high;
    options.threads = threads;
    return options;
}

std::vector<EnlargeKernel> Available_Kernels() {
    std::vector<EnlargeKernel> kernels;
    for (EnlargeKernel k : {EnlargeKernel::Baseline, EnlargeKernel::Avx2, EnlargeKernel::Avx512})
        if (enlargeKernelAvailable(k))
            kernels.push_back(k);
    return kernels;
}

const char* Kernel_Name(EnlargeKernel k) {
    switch (k) {
    case EnlargeKernel::Avx2:
        return "avx2";
    case EnlargeKernel::Avx512:
        return "avx512";
    case EnlargeKernel::Baseline:
        return "baseline";
    default:
        return "automatic";
    }
}

} // namespace

// GoogleTest looks for a kernel's printer beside the kernel, in velmora.
static void PrintTo(EnlargeKernel k, std::ostream* os) {
    *os << Kernel_Name(k);
}

namespace {

using velmora_test::PrintTo;

// ---------------------------------------------------------------- size rule

struct GeometryCase {
    const char* name;
    int width, height;
    double r;
    bool valid;
    int destWidth, destHeight;
    long long computedColumns;
};

class EnlargeGeometryTest : public testing::TestWithParam<GeometryCase> {};

TEST_P(EnlargeGeometryTest, followsTheSizeRule) {
    const GeometryCase& c = GetParam();
    const EnlargeGeometry g = enlargeGeometry(c.width, c.height, c.r);
    EXPECT_EQ(g.valid, c.valid);
    if (!c.valid)
        return;
    EXPECT_EQ(g.width, c.destWidth);
    EXPECT_EQ(g.height, c.destHeight);
    EXPECT_EQ(g.empty(), c.destWidth == 0 || c.destHeight == 0);
    EXPECT_EQ(g.computedColumns, c.computedColumns);
}

INSTANTIATE_TEST_SUITE_P(
    cases, EnlargeGeometryTest,
    testing::Values(
        // 1.2 * 101 = 121.19999999999999: columns 0..121 computed, 120.2 wide.
        GeometryCase{"ratio1point2On101", 101, 10, 1.2, true, 120, 11, 122},
        // 8.2 * 30 = 245.99999999999997: 246 columns computed, and the width
        // 244.99999999999997 becomes 245 in single precision.
        GeometryCase{"ratio8point2On30", 30, 30, 8.2, true, 245, 245, 246},
        GeometryCase{"ratio2On3", 3, 1, 2.0, true, 5, 1, 7},
        GeometryCase{"vgaRatio2", 640, 480, 2.0, true, 1279, 959, 1281},
        GeometryCase{"vgaRatio10", 640, 480, 10.0, true, 6399, 4799, 6401},
        GeometryCase{"oneRowBelowRatio2IsEmpty", 50, 1, 1.9, true, 94, 0, 96},
        GeometryCase{"emptySource", 0, 0, 2.0, true, 0, 0, 1},
        GeometryCase{"ratioZero", 10, 10, 0.0, false, 0, 0, -1},
        GeometryCase{"ratioNegative", 10, 10, -1.2, false, 0, 0, -1},
        GeometryCase{"ratioNaN", 10, 10, std::numeric_limits<double>::quiet_NaN(), false, 0, 0, -1},
        GeometryCase{"ratioInfinite", 10, 10, std::numeric_limits<double>::infinity(), false, 0, 0,
                     -1},
        GeometryCase{"negativeSize", -1, 10, 2.0, false, 0, 0, -1},
        GeometryCase{"widthBeyondInt", INT_MAX, 1, 10.0, false, 0, 0, -1},
        GeometryCase{"hugeRatio", 100, 100, 1e300, false, 0, 0, -1},
        GeometryCase{"bytesBeyondAddressRange", 1000000000, 1000000000, 2.0, false, 0, 0, -1}),
    [](const testing::TestParamInfo<GeometryCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------- fixed results

TEST(Enlarge, ratio2OnThreePixelsAlternatesSourceAndEvenBlend) {
    const Image img{3, 2, 3, {0x000000u, 0x0000FFu, 0x00FF00u, 0x000000u, 0x0000FFu, 0x00FF00u}};
    Dest dst(5, 1);
    ASSERT_EQ(enlarge(img.view(), 2.0, dst.view()), EnlargeStatus::Done);
    // Source column 0, the blend of 0 and 1 (127.5 -> 128), column 1, the blend
    // of 1 and 2 (127.5 -> 128 in both channels), column 2.
    const std::vector<std::uint32_t> expected{0x000000u, 0x000080u, 0x0000FFu, 0x008080u,
                                              0x00FF00u};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(dst.at(x, 0), expected[x]) << "column " << x;
    EXPECT_EQ(dst.damagedCanaries(), 0);
}

TEST(Enlarge, ratio1IsTheImageWithoutItsLastColumnAndRow) {
    const Image img = Random_Image(9, 7, 2, 11);
    const EnlargeGeometry g = enlargeGeometry(img.width, img.height, 1.0);
    ASSERT_EQ(g.width, 8);
    ASSERT_EQ(g.height, 6);
    Dest dst(g.width, g.height);
    ASSERT_EQ(enlarge(img.view(), 1.0, dst.view(), Options(kOpaque)), EnlargeStatus::Done);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            ASSERT_EQ(dst.at(x, y), img.pixels[y * img.stride + x]) << x << ", " << y;
}

TEST(Enlarge, lastColumnBlendsWithWhiteBeyondRatio2) {
    const Image img{1, 1, 1, {0x0000FFu}};
    Dest dst(3, 3);
    ASSERT_EQ(enlarge(img.view(), 2.0, dst.view(), Options(kOpaque)), EnlargeStatus::Done);
    EXPECT_EQ(dst.at(0, 0), 0x0000FFu);   // whole: the stored pixel
    EXPECT_EQ(dst.at(1, 0), 0xFF8080FFu); // half white across
    EXPECT_EQ(dst.at(0, 1), 0xFF8080FFu); // half white down
    EXPECT_EQ(dst.at(2, 0), 0xFFFFFFFFu); // whole, outside
    EXPECT_EQ(dst.at(2, 1), 0xFFFFFFFFu); // blended white, opaque
    EXPECT_EQ(dst.damagedCanaries(), 0);
}

TEST(Enlarge, emptySourceReadsWhiteEverywhere) {
    const SourceImage none{nullptr, 0, 0, 0};
    Dest dst(4, 3);
    ASSERT_EQ(enlarge(none, 1.5, dst.view(), Options(0)), EnlargeStatus::Done);
    EXPECT_EQ(dst.at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(dst.at(1, 0), 0x00FFFFFFu);
    EXPECT_EQ(dst.at(0, 2), 0x00FFFFFFu);
    EXPECT_EQ(dst.at(3, 0), 0xFFFFFFFFu);
    EXPECT_EQ(Compare(none, 1.5, dst, 0), "");
    EXPECT_EQ(dst.damagedCanaries(), 0);
}

// 1 / r overflows: every position but the origin is infinitely far out.
TEST(Enlarge, tinyRatioLeavesOnlyTheOriginInside) {
    const Image img = Random_Image(3, 3, 0, 4);
    Dest dst(3, 2);
    ASSERT_EQ(enlarge(img.view(), 1e-310, dst.view(), Options(kOpaque)), EnlargeStatus::Done);
    EXPECT_EQ(dst.at(0, 0), img.pixels[0]);
    EXPECT_EQ(dst.at(1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(Compare(img.view(), 1e-310, dst, kOpaque), "");
}

TEST(Enlarge, unusableArgumentsAreRefusedWithNothingWritten) {
    const Image img = Random_Image(4, 4, 0, 3);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    int calls = 0;
    EnlargeOptions options;
    options.progress = [&](int) {
        ++calls;
        return EnlargeStep::GoOn;
    };
    for (double r : {0.0, -2.0, nan, inf}) {
        Dest dst(5, 5);
        EXPECT_EQ(enlarge(img.view(), r, dst.view(), options), EnlargeStatus::Refused) << r;
        EXPECT_EQ(dst.at(0, 0), kCanary);
    }
    Dest dst(5, 5);
    const auto byTwo = [&](const SourceImage& source, const DestImage& dest) {
        return enlarge(source, 2.0, dest, options);
    };
    // No pixels, a stride below the width, a negative width.
    EXPECT_EQ(byTwo({nullptr, 4, 4, 4}, dst.view()), EnlargeStatus::Refused);
    EXPECT_EQ(byTwo({img.pixels.data(), 4, 4, 3}, dst.view()), EnlargeStatus::Refused);
    EXPECT_EQ(byTwo({img.pixels.data(), -1, 4, 4}, dst.view()), EnlargeStatus::Refused);
    EXPECT_EQ(byTwo(img.view(), {dst.pixels.data(), 5, 5, 4}), EnlargeStatus::Refused);
    EXPECT_EQ(byTwo(img.view(), {nullptr, 5, 5, 5}), EnlargeStatus::Refused);
    EXPECT_EQ(byTwo(img.view(), {dst.pixels.data(), 5, INT_MAX, PTRDIFF_MAX / 2}),
              EnlargeStatus::Refused);
    EXPECT_EQ(dst.damagedCanaries(), 0);
    EXPECT_EQ(dst.at(0, 0), kCanary);
    EXPECT_EQ(calls, 0);

    // An empty destination is complete at once: a Stop in answer changes nothing.
    std::vector<int> reported;
    options.progress = [&](int done) {
        reported.push_back(done);
        return EnlargeStep::Stop;
    };
    EXPECT_EQ(enlarge(img.view(), 2.0, {nullptr, 0, 0, 0}, options), EnlargeStatus::Done);
    EXPECT_EQ(reported, std::vector<int>{0});
}

// ------------------------------------------- fast path against the reference

struct SweepCase {
    int width, height;
};

// Every ratio the program offers plus ratio 1.0 (r = k / 10 as the caller
// divides), on small images of many shapes, with each instruction set. The
// destination is three pixels larger than the size rule in both directions so the
// columns and rows at and beyond the far edge are checked too.
class EnlargeRatioSweep : public testing::TestWithParam<int> {};

TEST_P(EnlargeRatioSweep, equalsPerPixelSampling) {
    const double r = GetParam() / 10.0;
    const std::vector<SweepCase> shapes{{1, 1}, {2, 1}, {1, 3}, {3, 2}, {7, 5}, {13, 11}, {31, 17}};
    for (EnlargeKernel kernel : Available_Kernels())
        for (const SweepCase& shape : shapes) {
            const Image img = Random_Image(shape.width, shape.height, 3,
                                           GetParam() * 1000 + shape.width * 37 + shape.height);
            const EnlargeGeometry g = enlargeGeometry(img.width, img.height, r);
            ASSERT_TRUE(g.valid);
            for (std::uint32_t high : {kOpaque, 0u}) {
                Dest dst(g.width + 3, g.height + 3, 5);
                EnlargeOptions options;
                options.blendedHigh = high;
                options.kernel = kernel;
                ASSERT_EQ(enlarge(img.view(), r, dst.view(), options), EnlargeStatus::Done);
                ASSERT_EQ(Compare(img.view(), r, dst, high), "")
                    << Kernel_Name(kernel) << ", " << shape.width << " x " << shape.height
                    << ", high " << Hex(high);
                ASSERT_EQ(dst.damagedCanaries(), 0)
                    << Kernel_Name(kernel) << ", " << shape.width << " x " << shape.height;
            }
        }
}

INSTANTIATE_TEST_SUITE_P(everyOfferedRatio, EnlargeRatioSweep, testing::Range(10, 101),
                         [](const testing::TestParamInfo<int>& info) {
                             return "ratio" + std::to_string(info.param / 10) + "point" +
                                    std::to_string(info.param % 10);
                         });

// Ratios only a hand-edited settings file gives, and a shape wide enough for
// many bands on two threads.
struct OddCase {
    const char* name;
    double r;
    int width, height;
};

class EnlargeOddRatio : public testing::TestWithParam<OddCase> {};

TEST_P(EnlargeOddRatio, equalsPerPixelSampling) {
    const OddCase& c = GetParam();
    const Image img = Random_Image(c.width, c.height, 1, 77);
    const EnlargeGeometry g = enlargeGeometry(c.width, c.height, c.r);
    ASSERT_TRUE(g.valid);
    for (EnlargeKernel kernel : Available_Kernels()) {
        Dest dst(g.width + 1, g.height + 1, 2);
        EnlargeOptions options;
        options.blendedHigh = kOpaque;
        options.kernel = kernel;
        options.threads = 2;
        ASSERT_EQ(enlarge(img.view(), c.r, dst.view(), options), EnlargeStatus::Done);
        ASSERT_EQ(Compare(img.view(), c.r, dst, kOpaque), "") << Kernel_Name(kernel);
        ASSERT_EQ(dst.damagedCanaries(), 0) << Kernel_Name(kernel);
    }
}

INSTANTIATE_TEST_SUITE_P(
    cases, EnlargeOddRatio,
    testing::Values(OddCase{"half", 0.5, 41, 23}, OddCase{"ratio0point3", 0.3, 3001, 9},
                    OddCase{"ratio12point3", 12.3, 13, 9}, OddCase{"ratio1point05", 1.05, 301, 40},
                    OddCase{"ratio2point5Wide", 2.5, 437, 61},
                    OddCase{"ratio7point7Wide", 7.7, 171, 23}, OddCase{"ratio3Wide", 3.0, 1601, 3},
                    // Whole multiples of 1/256 (integer loops), in two bands.
                    OddCase{"ratio2TwoBands", 2.0, 2501, 7}, OddCase{"ratio4", 4.0, 67, 29}),
    [](const testing::TestParamInfo<OddCase>& info) { return std::string(info.param.name); });

// A destination of megabytes, where the engine asks for huge pages and every
// thread gets several bands; rows are checked at a prime step to keep it quick.
TEST(Enlarge, largeDestinationMatchesOnSampledRows) {
    const Image img = Random_Image(200, 150, 8, 21);
    const double r = 10.0;
    const EnlargeGeometry g = enlargeGeometry(img.width, img.height, r);
    for (EnlargeKernel kernel : Available_Kernels()) {
        Dest dst(g.width, g.height, 1);
        EnlargeOptions options = Options(kOpaque, 2);
        options.kernel = kernel;
        ASSERT_EQ(enlarge(img.view(), r, dst.view(), options), EnlargeStatus::Done);
        for (int y = 0; y < g.height; y += 37)
            for (int x = 0; x < g.width; ++x)
                ASSERT_EQ(dst.at(x, y), Expected(img.view(), r, x, y, kOpaque))
                    << Kernel_Name(kernel) << " " << x << ", " << y;
        EXPECT_EQ(dst.damagedCanaries(), 0) << Kernel_Name(kernel);
    }
}

// Destinations placed against 2 MiB boundaries, where whole huge pages are
// faulted in ahead of the threads that write them: across one boundary with no
// whole page (the strip across it must not look for a page in an empty list),
// from a boundary on, and around one whole page. Rows end in a canary word.
TEST(Enlarge, destinationsAroundHugePageBoundariesMatchOnTwoThreads) {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    const struct {
        std::size_t offset; // bytes from a boundary to the first pixel
        int sourceHeight;
    } cases[] = {{(1 << 20) + (1 << 16), 175}, {kHuge, 100}, {kHuge - 4096, 300}};
    for (const auto& c : cases) {
        const Image img = Random_Image(128, c.sourceHeight, 0, 31);
        const EnlargeGeometry g = enlargeGeometry(img.width, img.height, 4.0);
        const std::ptrdiff_t stride = g.width + 1;
        std::vector<std::uint32_t> buffer(5 * kHuge / 4, kCanary);
        const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
        const auto first = static_cast<std::ptrdiff_t>(
            ((address + kHuge - 1) / kHuge * kHuge - address + c.offset) / 4);
        ASSERT_EQ(enlarge(img.view(), 4.0, {buffer.data() + first, g.width, g.height, stride},
                          Options(kOpaque, 2)),
                  EnlargeStatus::Done);
        for (std::ptrdiff_t i = 0; i < static_cast<std::ptrdiff_t>(buffer.size()); ++i) {
            const auto x = static_cast<int>((i - first) % stride);
            const auto y = static_cast<int>((i - first) / stride);
            const bool inside = i >= first && y < g.height && x < g.width;
            ASSERT_EQ(buffer[i], inside ? Expected(img.view(), 4.0, x, y, kOpaque) : kCanary)
                << "offset " << c.offset << ", word " << i - first;
        }
    }
}

// ------------------------------------------------------- threads and progress

TEST(Enlarge, oneAndTwoThreadsGiveIdenticalPixels) {
    const Image img = Random_Image(211, 67, 4, 5);
    const double r = 4.3;
    const EnlargeGeometry g = enlargeGeometry(img.width, img.height, r);
    Dest one(g.width, g.height), two(g.width, g.height);
    ASSERT_EQ(enlarge(img.view(), r, one.view(), Options(kOpaque, 1)), EnlargeStatus::Done);
    ASSERT_EQ(enlarge(img.view(), r, two.view(), Options(kOpaque, 2)), EnlargeStatus::Done);
    EXPECT_TRUE(one.pixels == two.pixels);
    EXPECT_EQ(Compare(img.view(), r, two, kOpaque), "");
}

TEST(Enlarge, progressGrowsOverFinishedColumnsAndEndsAtTheWidth) {
    const Image img = Random_Image(900, 20, 0, 9);
    const double r = 3.7;
    const EnlargeGeometry g = enlargeGeometry(img.width, img.height, r);
    for (int threads : {1, 2, 3}) {
        Dest dst(g.width, g.height);
        std::vector<int> reported;
        bool prefixComplete = true;
        EnlargeOptions options;
        options.threads = threads;
        options.blendedHigh = kOpaque;
        options.bandColumns = 1024; // the default, strips of rows, reports once at the end
        options.progress = [&](int done) {
            reported.push_back(done);
            // The last column reported done is final in every row.
            for (int y = 0; y < g.height && done > 0; ++y)
                if (dst.at(done - 1, y) != Expected(img.view(), r, done - 1, y, kOpaque))
                    prefixComplete = false;
            return EnlargeStep::GoOn;
        };
        ASSERT_EQ(enlarge(img.view(), r, dst.view(), options), EnlargeStatus::Done);
        ASSERT_FALSE(reported.empty());
        for (std::size_t i = 1; i < reported.size(); ++i)
            EXPECT_LT(reported[i - 1], reported[i]) << "threads " << threads;
        EXPECT_EQ(reported.back(), g.width) << "threads " << threads;
        // One thread finishes the bands in order; with more, a descheduled thread
        // may hold back the prefix until the end.
        if (threads == 1) {
            EXPECT_GT(reported.size(), 2u);
        }
        EXPECT_TRUE(prefixComplete) << "threads " << threads;
    }
}

TEST(Enlarge, narrowBandsGiveTheSamePixelsAndProgressInTheirSteps) {
    const Image img = Random_Image(97, 41, 2, 11);
    const double r = 6.1;
    const EnlargeGeometry g = enlargeGeometry(img.width, img.height, r);
    for (int band : {16, 64}) {
        Dest dst(g.width, g.height);
        std::vector<int> reported;
        EnlargeOptions options;
        options.threads = 1;
        options.blendedHigh = kOpaque;
        options.bandColumns = band;
        options.progress = [&](int done) {
            reported.push_back(done);
            return EnlargeStep::GoOn;
        };
        ASSERT_EQ(enlarge(img.view(), r, dst.view(), options), EnlargeStatus::Done);
        EXPECT_EQ(Compare(img.view(), r, dst, kOpaque), "") << "band " << band;
        EXPECT_EQ(static_cast<int>(reported.size()), (g.width + band - 1) / band) << band;
    }
}

// Any rectangle of the result, computed on its own, is that part of the whole
// result: strips of rows, tiles at odd offsets, the last row and column, and
// rectangles reaching past the result's edge, with each instruction set, on a
// ratio the integer loops take (2.0) and two they do not.
struct RectCase {
    const char* name;
    int x, y, width, height; // -1 in x or y: ending at the result's last column or row
};

class EnlargeRectangle : public testing::TestWithParam<EnlargeKernel> {};

TEST_P(EnlargeRectangle, equalsThatPartOfTheWholeResult) {
    const Image img = Random_Image(53, 37, 1, 12);
    const std::vector<RectCase> rects{
        {"strip", 0, 17, 0, 17},       {"oddTile", 37, 23, 41, 19}, {"oneByOne", 101, 59, 1, 1},
        {"lastColumn", -1, 5, 1, 30},  {"lastRow", 3, -1, 77, 1},   {"corner", -1, -1, 9, 7},
        {"pastTheEdge", -1, -1, 5, 4}, {"column", 64, 0, 16, 0},
    };
    for (double r : {2.0, 3.3, 10.0}) {
        const EnlargeGeometry g = enlargeGeometry(img.width, img.height, r);
        Dest whole(g.width + 16, g.height + 16); // room for the rectangles past the edge
        EnlargeOptions options = Options(kOpaque, 2);
        options.kernel = GetParam();
        ASSERT_EQ(enlarge(img.view(), r, whole.view(), options), EnlargeStatus::Done);
        for (const RectCase& c : rects) {
            const int width = c.width > 0 ? c.width : g.width;
            const int height = c.height > 0 ? c.height : g.height;
            const int x0 = c.x >= 0 ? c.x : g.width - std::min(width, 3);
            const int y0 = c.y >= 0 ? c.y : g.height - std::min(height, 3);
            Dest part(width, height);
            options.firstColumn = x0;
            options.firstRow = y0;
            ASSERT_EQ(enlarge(img.view(), r, part.view(), options), EnlargeStatus::Done) << c.name;
            EXPECT_EQ(part.damagedCanaries(), 0) << c.name;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    ASSERT_EQ(Hex(part.at(x, y)), Hex(whole.at(x0 + x, y0 + y)))
                        << c.name << " at " << x0 + x << "," << y0 + y << " r " << r;
        }
    }
}

// A row sink gets every row of the rectangle exactly once, in strips from
// several threads, and never writes the destination's own memory.
TEST_P(EnlargeRectangle, rowSinkGetsEveryRowOnce) {
    const Image img = Random_Image(53, 37, 1, 12);
    for (const auto& [r, x0, y0, width, height, threads] :
         std::vector<std::tuple<double, int, int, int, int, int>>{
             {10.0, 0, 0, 529, 369, 2}, {3.3, 13, 7, 101, 100, 3}, {2.0, 5, 70, 1, 1, 1}}) {
        Dest whole(width, height);
        EnlargeOptions options = Options(kOpaque, threads);
        options.kernel = GetParam();
        options.firstColumn = x0;
        options.firstRow = y0;
        ASSERT_EQ(enlarge(img.view(), r, whole.view(), options), EnlargeStatus::Done);
        std::vector<std::uint32_t> got(static_cast<std::size_t>(width) * height);
        std::vector<int> delivered(height, 0);
        std::mutex mutex;
        options.rowSink = [&](const std::uint32_t* words, int firstRow, int rowCount) {
            const std::lock_guard<std::mutex> lock(mutex);
            for (int y = 0; y < rowCount; ++y)
                ++delivered[firstRow + y];
            std::copy_n(words, static_cast<std::size_t>(width) * rowCount,
                        got.begin() + static_cast<std::ptrdiff_t>(width) * firstRow);
        };
        ASSERT_EQ(enlarge(img.view(), r, {nullptr, width, height, 0}, options),
                  EnlargeStatus::Done);
        EXPECT_EQ(std::count(delivered.begin(), delivered.end(), 1), height) << r;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(Hex(got[static_cast<std::size_t>(width) * y + x]), Hex(whole.at(x, y)))
                    << x << "," << y << " r " << r;
    }
}

// Bytes instead of words: the low one or three bytes of every pixel of the
// rectangle, rows an odd number of bytes apart, nothing written past a row's
// last pixel.
TEST_P(EnlargeRectangle, bytesAreTheLowBytesOfTheWords) {
    const Image img = Random_Image(53, 37, 1, 12);
    for (const auto& [r, x0, y0, width, height, channels] :
         std::vector<std::tuple<double, int, int, int, int, int>>{{10.0, 0, 0, 529, 369, 3},
                                                                  {3.3, 13, 7, 101, 40, 1},
                                                                  {2.0, 5, 70, 35, 3, 3},
                                                                  {7.3, 100, 9, 1, 1, 3}}) {
        Dest whole(width, height);
        EnlargeOptions options = Options(kOpaque, 2);
        options.kernel = GetParam();
        options.firstColumn = x0;
        options.firstRow = y0;
        ASSERT_EQ(enlarge(img.view(), r, whole.view(), options), EnlargeStatus::Done);
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(width) * channels + 5;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(stride) * height, 0xA5);
        options.byteDest = bytes.data();
        options.byteStride = stride;
        options.byteChannels = channels;
        ASSERT_EQ(enlarge(img.view(), r, {nullptr, width, height, 0}, options),
                  EnlargeStatus::Done);
        for (int y = 0; y < height; ++y) {
            const unsigned char* row = bytes.data() + stride * y;
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < channels; ++c)
                    ASSERT_EQ(row[channels * x + c], (whole.at(x, y) >> 8 * c) & 0xFF)
                        << x << "," << y << " channel " << c << " r " << r;
            for (std::ptrdiff_t b = static_cast<std::ptrdiff_t>(width) * channels; b < stride; ++b)
                ASSERT_EQ(row[b], 0xA5) << "row " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(everyInstructionSet, EnlargeRectangle,
                         testing::ValuesIn(Available_Kernels()),
                         [](const testing::TestParamInfo<EnlargeKernel>& info) {
                             return std::string(Kernel_Name(info.param));
                         });

TEST(Enlarge, negativeFirstRowOrColumnIsRefused) {
    const Image img = Random_Image(5, 5, 0, 2);
    Dest part(4, 4);
    for (bool column : {false, true}) {
        EnlargeOptions options;
        (column ? options.firstColumn : options.firstRow) = -1;
        EXPECT_EQ(enlarge(img.view(), 2.0, part.view(), options), EnlargeStatus::Refused);
        options.firstRow = options.firstColumn = INT_MAX - 2;
        EXPECT_EQ(enlarge(img.view(), 2.0, part.view(), options), EnlargeStatus::Refused);
    }
    EXPECT_EQ(part.at(0, 0), kCanary);
}

// A Stop answered to a report ends the work at once: the columns reported hold
// the result, nothing more is reported and nothing outside the destination is
// written. On one thread every later column is still untouched; on several, the
// Stop comes from a worker thread (when one reports before the end), and the
// answer takes a while so that the other threads finish their pieces meanwhile.
// A Stop in answer to the whole width is too late to stop anything.
struct StopCase {
    const char* name;
    int sourceHeight; // 10: 14 rows, so that a band is one piece
    int threads;
    int bandColumns; // 0: strips of rows, here in two bands
    int stopFrom;    // Stop answers the first report of at least this many columns
    bool fromWorker; // ... made on a thread other than the caller's
    bool mustStop;   // the Stop certainly comes before the end
};

class EnlargeStop : public testing::TestWithParam<StopCase> {};

TEST_P(EnlargeStop, endsTheWorkWithTheReportedColumnsDone) {
    const StopCase& c = GetParam();
    const Image img = Random_Image(3000, c.sourceHeight, 1, 8); // 4499 wide at 1.5
    const EnlargeGeometry g = enlargeGeometry(img.width, img.height, 1.5);
    Dest dst(g.width, g.height);
    EnlargeOptions options = Options(kOpaque, c.threads);
    options.bandColumns = c.bandColumns;
    std::vector<int> reported;
    int stoppedAt = -1;
    const std::thread::id caller = std::this_thread::get_id();
    options.progress = [&](int done) {
        reported.push_back(done);
        const bool stop = stoppedAt < 0 && done >= c.stopFrom &&
                          (!c.fromWorker || std::this_thread::get_id() != caller);
        if (!stop)
            return EnlargeStep::GoOn;
        stoppedAt = done;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return EnlargeStep::Stop;
    };
    const EnlargeStatus status = enlarge(img.view(), 1.5, dst.view(), options);
    EXPECT_EQ(dst.damagedCanaries(), 0);
    const bool early = stoppedAt >= 0 && stoppedAt < g.width;
    if (c.mustStop) {
        ASSERT_TRUE(early) << stoppedAt;
    }
    if (!early) {
        EXPECT_EQ(status, EnlargeStatus::Done);
        EXPECT_EQ(Compare(img.view(), 1.5, dst, kOpaque), "");
        return;
    }
    EXPECT_EQ(status, EnlargeStatus::Stopped);
    EXPECT_EQ(reported.back(), stoppedAt); // nothing reported after the Stop
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (x < stoppedAt || c.threads == 1) {
                ASSERT_EQ(dst.at(x, y),
                          x < stoppedAt ? Expected(img.view(), 1.5, x, y, kOpaque) : kCanary)
                    << x << ", " << y;
            }
}

INSTANTIATE_TEST_SUITE_P(
    cases, EnlargeStop,
    testing::Values(StopCase{"oneThread", 100, 1, 16, 40, false, true},
                    StopCase{"oneThreadAtTheWidth", 100, 1, 16, 4499, false, false},
                    StopCase{"twoThreads", 100, 2, 16, 0, true, false},
                    StopCase{"fourThreads", 100, 4, 16, 0, true, false},
                    // The other thread's band completes the prefix after the Stop.
                    StopCase{"twoThreadsBandsOfOnePiece", 10, 2, 16, 0, false, false},
                    // The first band is complete once the last strip has done it, and
                    // that strip's second band is still to come.
                    StopCase{"stripsOnTwoThreads", 100, 2, 0, 0, false, true}),
    [](const testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

// Allocations the test's thread may still make before each further one fails;
// negative: no limit. The program's operator new below counts them.
thread_local long long allocationsLeft = -1;

void* limitedAllocation(std::size_t bytes, std::size_t alignment) {
    if (allocationsLeft == 0)
        throw std::bad_alloc();
    allocationsLeft -= allocationsLeft > 0 ? 1 : 0;
    bytes = std::max<std::size_t>(bytes, 1);
    void* p = alignment
                  ? std::aligned_alloc(alignment, (bytes + alignment - 1) / alignment * alignment)
                  : std::malloc(bytes);
    if (!p)
        throw std::bad_alloc();
    return p;
}

// Each allocation the engine makes, failing in turn, gives OutOfMemory with
// nothing written and nothing reported; once the tables and scratch memory are
// there, a helper thread that cannot start only means fewer threads.
TEST(Enlarge, aFailedAllocationIsOutOfMemoryWithNothingWritten) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator is not replaced";
#endif
    const Image img = Random_Image(97, 41, 2, 11);
    const EnlargeGeometry g = enlargeGeometry(img.width, img.height, 6.1);
    for (int bandColumns : {0, 16}) {
        for (long long allowed = 0;; ++allowed) {
            Dest dst(g.width, g.height);
            EnlargeOptions options = Options(kOpaque, 2);
            options.bandColumns = bandColumns;
            int calls = 0;
            options.progress = [&](int) {
                ++calls;
                return EnlargeStep::GoOn;
            };
            allocationsLeft = allowed;
            const EnlargeStatus status = enlarge(img.view(), 6.1, dst.view(), options);
            allocationsLeft = -1;
            if (status == EnlargeStatus::Done) {
                EXPECT_EQ(Compare(img.view(), 6.1, dst, kOpaque), "") << allowed;
                break;
            }
            ASSERT_EQ(status, EnlargeStatus::OutOfMemory) << allowed;
            EXPECT_EQ(calls, 0) << allowed;
            EXPECT_EQ(std::count(dst.pixels.begin(), dst.pixels.end(), kCanary),
                      static_cast<std::ptrdiff_t>(dst.pixels.size()))
                << allowed;
        }
    }
}

} // namespace
} // namespace velmora

// libstdc++'s other forms of new and delete come down to these. The sanitizer
// brings its own, which are left alone.
#if !defined(__SANITIZE_ADDRESS__)
void* operator new(std::size_t bytes) {
    return velmora::limitedAllocation(bytes, 0);
}
void* operator new(std::size_t bytes, std::align_val_t alignment) {
    return velmora::limitedAllocation(bytes, static_cast<std::size_t>(alignment));
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
#endif
