// The enlargement's C entries: every layout, strided and unaligned, whole and
// in rectangles, against the engine's own result byte for byte; every bad
// argument gets its status and no byte outside the result is written.
#include "engine/enlarge.h"
#include "libvelmora/velmora.h"
#include "tests/support/caseprint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr unsigned char kCanary = 0xA5;

int bytesOf(int layout) {
    return layout == VELMORA_LAYOUT_GRAY ? 1 : layout <= VELMORA_LAYOUT_BGR ? 3 : 4;
}

// A picture of the layout with `padding` bytes after each row and `shift`
// bytes before the first, so that words are not aligned when shift is odd.
struct Buffer {
    int width = 0, height = 0, layout = 0;
    std::int64_t stride = 0;
    int shift = 0;
    std::vector<unsigned char> bytes;

    Buffer(int w, int h, int layout, int padding, int shift, std::uint32_t seed, bool opaque)
        : width(w), height(h), layout(layout), stride(std::int64_t(w) * bytesOf(layout) + padding),
          shift(shift), bytes(std::size_t(shift + stride * h), kCanary) {
        std::mt19937 rng(seed);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w * bytesOf(layout); ++x)
                at(y)[x] = static_cast<unsigned char>(rng());
        if (opaque && bytesOf(layout) == 4)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    at(y)[4 * x + 3] = 0xFF;
    }
    unsigned char* at(int y) { return bytes.data() + shift + stride * y; }
    const unsigned char* at(int y) const { return bytes.data() + shift + stride * y; }
    void* data() { return at(0); }
};

// The engine's result for one channel plane of the picture (channel c).
std::vector<std::uint32_t> engineResult(const Buffer& in, double r, int c, int w, int h) {
    const int bpp = bytesOf(in.layout);
    std::vector<std::uint32_t> words(std::size_t(in.width) * in.height);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            words[std::size_t(y) * in.width + x] = in.at(y)[bpp * x + c] * 0x010101u;
    std::vector<std::uint32_t> out(std::size_t(w) * h);
    EXPECT_EQ(
        velmora::enlarge({words.data(), in.width, in.height, in.width}, r, {out.data(), w, h, w}),
        velmora::EnlargeStatus::Done);
    return out;
}

// Every byte of the result's rectangle as the engine makes it, channel by
// channel; the bytes between rows untouched.
void expectEngineResult(const Buffer& in, double r, const Buffer& out, int left, int top) {
    std::int32_t w = 0, h = 0;
    ASSERT_EQ(VelmoraEnlargedSize(in.width, in.height, r, &w, &h), VELMORA_OK);
    const int bpp = bytesOf(in.layout);
    for (int c = 0; c < bpp; ++c) {
        const std::vector<std::uint32_t> plane = engineResult(in, r, c, w, h);
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                ASSERT_EQ(out.at(y)[bpp * x + c], plane[std::size_t(top + y) * w + left + x] & 0xFF)
                    << "channel " << c << " at " << x << "," << y;
    }
    for (int y = 0; y < out.height; ++y)
        for (std::int64_t b = std::int64_t(out.width) * bpp; b < out.stride; ++b)
            ASSERT_EQ(out.at(y)[b], kCanary);
    for (int b = 0; b < out.shift; ++b)
        ASSERT_EQ(out.bytes[b], kCanary);
}

using velmora_test::PrintTo;

struct Case {
    const char* name;
    int layout;
    int width, height;
    double ratio;
    int padding, shift; // of both buffers
    bool opaque;
    int threads;
};

class EnlargeEntry : public testing::TestWithParam<Case> {};

TEST_P(EnlargeEntry, givesTheEnginesResultWholeAndInRectangles) {
    const Case& c = GetParam();
    const Buffer in(c.width, c.height, c.layout, c.padding, c.shift, 7, c.opaque);
    std::int32_t w = 0, h = 0;
    ASSERT_EQ(VelmoraEnlargedSize(c.width, c.height, c.ratio, &w, &h), VELMORA_OK);
    Buffer whole(w, h, c.layout, c.padding, c.shift, 0, false);
    std::fill(whole.bytes.begin(), whole.bytes.end(), kCanary);
    ASSERT_EQ(VelmoraEnlarge(in.at(0), c.width, c.height, in.stride, c.layout, c.ratio,
                             whole.data(), whole.stride, c.threads),
              VELMORA_OK);
    expectEngineResult(in, c.ratio, whole, 0, 0);
    // The last column and row, an odd place inside, and a single pixel.
    const int rects[][4] = {{w - 3, h - 2, 3, 2}, {w / 3, h / 5, w / 2, h / 3}, {w - 1, 0, 1, 1}};
    for (const auto& rect : rects) {
        Buffer part(rect[2], rect[3], c.layout, c.padding, c.shift, 0, false);
        std::fill(part.bytes.begin(), part.bytes.end(), kCanary);
        ASSERT_EQ(VelmoraEnlargeRect(in.at(0), c.width, c.height, in.stride, c.layout, c.ratio,
                                     rect[0], rect[1], rect[2], rect[3], part.data(), part.stride,
                                     c.threads),
                  VELMORA_OK);
        expectEngineResult(in, c.ratio, part, rect[0], rect[1]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    layouts, EnlargeEntry,
    testing::Values(
        Case{"rgbPacked", VELMORA_LAYOUT_RGB, 37, 23, 2.7, 0, 0, false, 0},
        Case{"bgrStridedOnTwoThreads", VELMORA_LAYOUT_BGR, 13, 7, 10.0, 5, 0, false, 2},
        // Rows an odd number of bytes apart over several huge pages,
        // faulted in by one thread while the other narrows strips.
        Case{"rgbOverHugePages", VELMORA_LAYOUT_RGB, 160, 120, 10.0, 3, 0, false, 2},
        Case{"rgbaOpaqueInPlace", VELMORA_LAYOUT_RGBA, 41, 19, 3.3, 0, 0, true, 1},
        Case{"rgbaWithAlpha", VELMORA_LAYOUT_RGBA, 29, 31, 1.1, 8, 0, false, 0},
        Case{"bgraUnaligned", VELMORA_LAYOUT_BGRA, 17, 11, 5.5, 3, 1, false, 3},
        Case{"grayOdd", VELMORA_LAYOUT_GRAY, 33, 9, 7.3, 1, 1, false, 0},
        // A megapixel source widened in three bands of rows at once.
        Case{"grayWidenedInBands", VELMORA_LAYOUT_GRAY, 1030, 1021, 1.1, 0, 0, false, 3},
        Case{"grayOnePixel", VELMORA_LAYOUT_GRAY, 1, 1, 10.0, 0, 0, false, 1},
        // Ratios whose weights are multiples of 1/64 go through the
        // byte loops: rows of any length, chunks cut short at the end.
        Case{"rgbByteLoops", VELMORA_LAYOUT_RGB, 37, 23, 2.0, 5, 1, false, 2},
        Case{"bgrByteLoopsWide", VELMORA_LAYOUT_BGR, 700, 9, 1.6, 0, 0, false, 3},
        Case{"rgbaByteLoopsWithAlpha", VELMORA_LAYOUT_RGBA, 29, 13, 3.2, 8, 1, false, 0},
        Case{"bgraByteLoopsOpaque", VELMORA_LAYOUT_BGRA, 23, 21, 4.0, 0, 0, true, 1},
        Case{"grayByteLoops", VELMORA_LAYOUT_GRAY, 65, 7, 6.4, 3, 1, false, 2},
        Case{"grayByteLoopsOnePixel", VELMORA_LAYOUT_GRAY, 1, 1, 8.0, 0, 0, false, 1}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

struct BadCall {
    const char* name;
    int status;
    bool nullSource, nullDestination;
    int width, height, layout;
    double ratio;
    std::int64_t sourceStride, destinationStride; // 0: the row's bytes
    int threads;
    int rect[4]; // all 0: the whole result
};

class BadArguments : public testing::TestWithParam<BadCall> {};

TEST_P(BadArguments, getTheirStatusAndTouchNothing) {
    const BadCall& c = GetParam();
    std::vector<unsigned char> source(64 * 64 * 4, 1), destination(4096, kCanary);
    const int bpp = c.layout >= 1 && c.layout <= 5 ? bytesOf(c.layout) : 4;
    const std::int64_t sourceStride = c.sourceStride ? c.sourceStride : std::int64_t(c.width) * bpp;
    const std::int64_t destinationStride = c.destinationStride ? c.destinationStride : 64;
    const void* in = c.nullSource ? nullptr : source.data();
    void* out = c.nullDestination ? nullptr : destination.data();
    const bool whole = !(c.rect[0] | c.rect[1] | c.rect[2] | c.rect[3]);
    const int status = whole ? VelmoraEnlarge(in, c.width, c.height, sourceStride, c.layout,
                                              c.ratio, out, destinationStride, c.threads)
                             : VelmoraEnlargeRect(in, c.width, c.height, sourceStride, c.layout,
                                                  c.ratio, c.rect[0], c.rect[1], c.rect[2],
                                                  c.rect[3], out, destinationStride, c.threads);
    EXPECT_EQ(status, c.status) << VelmoraStatusText(status);
    for (unsigned char b : destination)
        ASSERT_EQ(b, kCanary);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kArg = VELMORA_E_ARGUMENT, kLarge = VELMORA_E_TOO_LARGE;
constexpr int kRgb = VELMORA_LAYOUT_RGB;

INSTANTIATE_TEST_SUITE_P(
    calls, BadArguments,
    testing::Values(
        BadCall{"nullSource", kArg, true, false, 4, 4, kRgb, 2, 0, 0, 0, {}},
        BadCall{"nullDestination", kArg, false, true, 4, 4, kRgb, 2, 0, 0, 0, {}},
        BadCall{"zeroWidth", kArg, false, false, 0, 4, kRgb, 2, 0, 0, 0, {}},
        BadCall{"negativeHeight", kArg, false, false, 4, -1, kRgb, 2, 0, 0, 0, {}},
        BadCall{"unknownLayout", kArg, false, false, 4, 4, 9, 2, 0, 0, 0, {}},
        BadCall{"sourceStrideTooSmall", kArg, false, false, 4, 4, kRgb, 2, 11, 0, 0, {}},
        BadCall{"destinationStrideTooSmall", kArg, false, false, 4, 4, kRgb, 2, 0, 20, 0, {}},
        BadCall{"ratioBelowTheRange", kArg, false, false, 4, 4, kRgb, 1.0, 0, 0, 0, {}},
        BadCall{"ratioAboveTheRange", kArg, false, false, 4, 4, kRgb, 10.5, 0, 0, 0, {}},
        BadCall{"ratioNotANumber", kArg, false, false, 4, 4, kRgb, kNaN, 0, 0, 0, {}},
        BadCall{"ratioInfinite", kArg, false, false, 4, 4, kRgb, kInf, 0, 0, 0, {}},
        BadCall{"negativeThreads", kArg, false, false, 4, 4, kRgb, 2, 0, 0, -1, {}},
        BadCall{"resultTooWide",
                kLarge,
                false,
                false,
                2147483647,
                1,
                VELMORA_LAYOUT_GRAY,
                10,
                2147483647,
                0,
                0,
                {}},
        BadCall{"sourceRowsBeyondTheAddressSpace",
                kLarge,
                false,
                false,
                4,
                4,
                kRgb,
                2,
                std::numeric_limits<std::int64_t>::max() / 2,
                0,
                0,
                {}},
        BadCall{
            "rectangleOutsideTheResult", kArg, false, false, 4, 4, kRgb, 2, 0, 0, 0, {6, 0, 2, 2}},
        BadCall{
            "rectangleAtANegativePlace", kArg, false, false, 4, 4, kRgb, 2, 0, 0, 0, {-1, 0, 2, 2}},
        BadCall{"emptyRectangle", kArg, false, false, 4, 4, kRgb, 2, 0, 0, 0, {1, 0, 2, 0}}),
    [](const testing::TestParamInfo<BadCall>& info) { return std::string(info.param.name); });

TEST(EnlargedSize, followsTheSizeRuleAndRefusesWhatItCannotTell) {
    std::int32_t w = -1, h = -1;
    ASSERT_EQ(VelmoraEnlargedSize(3, 2, 4.0, &w, &h), VELMORA_OK);
    EXPECT_EQ(std::pair(w, h), std::pair(11, 7));
    ASSERT_EQ(VelmoraEnlargedSize(29, 31, 2.5, &w, &h), VELMORA_OK);
    EXPECT_EQ(std::pair(w, h), std::pair(71, 76));
    ASSERT_EQ(VelmoraEnlargedSize(30, 30, 8.2, &w, &h), VELMORA_OK);
    EXPECT_EQ(w, 245); // 8.2 x 30 - 1 = 244.99999999999997 through single precision
    EXPECT_EQ(VelmoraEnlargedSize(3, 2, 4.0, nullptr, &h), VELMORA_E_ARGUMENT);
    EXPECT_EQ(VelmoraEnlargedSize(2147483647, 2, 2.0, &w, &h), VELMORA_E_TOO_LARGE);
    // A result without pixels: nothing to write, and done.
    ASSERT_EQ(VelmoraEnlargedSize(1, 1, 1.1, &w, &h), VELMORA_OK);
    EXPECT_EQ(std::pair(w, h), std::pair(0, 0));
    const unsigned char pixel[3] = {1, 2, 3};
    EXPECT_EQ(VelmoraEnlarge(pixel, 1, 1, 3, kRgb, 1.1, nullptr, 0, 0), VELMORA_OK);
}

TEST(StatusText, namesEveryStatus) {
    for (const int status : {VELMORA_OK, VELMORA_E_ARGUMENT, VELMORA_E_SOURCE_UNREADABLE,
                             VELMORA_E_NOT_A_BITMAP, VELMORA_E_TOO_LARGE, VELMORA_E_OUT_OF_MEMORY,
                             VELMORA_E_COMPRESSION, VELMORA_E_DESTINATION})
        EXPECT_EQ(std::string(VelmoraStatusText(status)).rfind("VELMORA_", 0), 0u) << status;
    EXPECT_STREQ(VelmoraStatusText(12345), "unknown status");
}

} // namespace
