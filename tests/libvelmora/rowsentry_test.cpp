// ConvertRowsToJPG through the shared library: the file ConvertPixelsToJPG
// writes for the same pixels, the caller's markers where they belong, a fill
// that fails stops it with nothing left, and what it refuses.

#include "bmp_fixture.h"
#include "folder_fixture.h"
#include "libvelmora/velmora.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace velmora_test;

namespace {

// A picture in memory handed out row by row through the fill function, which
// notes each strip it was asked for and may fail one.
struct Rows {
    int width = 0, height = 0, bytesPerPixel = 4;
    std::vector<uint8_t> pixels;
    int failAtRow = -1; // the strip holding this row fails
    int32_t failure = 0;
    std::mutex mutex;
    std::multiset<std::pair<int, int>> asked; // (first row, count)

    Rows(const TestImage& image, int bpp) : width(image.width), height(image.height) {
        bytesPerPixel = bpp;
        for (const Rgb& p : image.pixels) {
            pixels.insert(pixels.end(), {p.b, p.g, p.r});
            if (bpp == 4)
                pixels.push_back(0x3C); // ignored
        }
    }
    std::size_t rowBytes() const { return std::size_t(width) * bytesPerPixel; }

    static int32_t fill(void* context, int32_t first, int32_t count, unsigned char* rows,
                        int64_t bytesPerLine) {
        auto* self = static_cast<Rows*>(context);
        {
            std::lock_guard lock(self->mutex);
            self->asked.insert({first, count});
        }
        if (self->failAtRow >= first && self->failAtRow < first + count)
            return self->failure;
        for (int i = 0; i < count; ++i)
            std::copy_n(&self->pixels[self->rowBytes() * std::size_t(first + i)], self->rowBytes(),
                        rows + bytesPerLine * i);
        return 0;
    }

    // Every row asked for exactly once.
    bool eachRowOnce() const {
        int next = 0;
        for (const auto& [first, count] : asked) {
            if (first != next)
                return false;
            next = first + count;
        }
        return next == height;
    }
};

int16_t convertRows(Rows& rows, const std::string& destination,
                    const std::vector<VelmoraMarker>& markers = {}, int quality = 100) {
    return ConvertRowsToJPG(Rows::fill, &rows, rows.width, rows.height, rows.bytesPerPixel,
                            markers.empty() ? nullptr : markers.data(), int32_t(markers.size()),
                            destination.c_str(), quality);
}

int16_t convertPixels(const Rows& rows, const std::string& destination) {
    return ConvertPixelsToJPG(rows.pixels.data(), rows.width, rows.height, int64_t(rows.rowBytes()),
                              rows.bytesPerPixel, destination.c_str(), 100);
}

using RowsEntry = FolderTest;

class ThreadCount {
  public:
    explicit ThreadCount(const char* n) { setenv("VELMORA_THREADS", n, 1); }
    ~ThreadCount() { unsetenv("VELMORA_THREADS"); }
};

struct SameCase {
    const char* name;
    int width, height, bytesPerPixel;
    const char* threads;
};

class SameFile : public FolderTest, public ::testing::WithParamInterface<SameCase> {};

// 8199 pixels a row of 4 bytes make strips of 64 rows, so 139 rows are three
// strips, the last one short; 600 x 1200 is two strips of several MCU rows.
TEST_P(SameFile, asConvertPixelsToJpgWritesForTheSamePixels) {
    const SameCase& c = GetParam();
    Rows rows(colourfulImage(c.width, c.height, 5), c.bytesPerPixel);
    const ThreadCount threads(c.threads);
    ASSERT_EQ(convertPixels(rows, path("pixels.jpg")), VELMORA_OK);
    ASSERT_EQ(convertRows(rows, path("rows.jpg")), VELMORA_OK);
    EXPECT_TRUE(readFile(path("rows.jpg")) == readFile(path("pixels.jpg")));
    EXPECT_TRUE(rows.eachRowOnce());
    EXPECT_EQ(folderContents(), (std::set<std::string>{"pixels.jpg", "rows.jpg"}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SameFile,
                         ::testing::Values(SameCase{"Small24OneThread", 37, 23, 3, "1"},
                                           SameCase{"Small32TwoThreads", 37, 23, 4, "2"},
                                           SameCase{"TwoStrips32", 600, 1200, 4, "2"},
                                           SameCase{"ShortLastStrip32", 8199, 139, 4, "2"},
                                           SameCase{"ShortLastStrip24", 8199, 139, 3, "1"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct MarkerCase {
    const char* name;
    std::vector<std::pair<int, std::vector<uint8_t>>> markers; // code, bytes
};

class Markers : public FolderTest, public ::testing::WithParamInterface<MarkerCase> {};

// The segments follow the JFIF header in the order given, each with its length
// field, and the rest of the file is the file without them.
TEST_P(Markers, areWrittenAsGivenAfterTheJfifHeader) {
    Rows rows(colourfulImage(40, 30, 2), 4);
    std::vector<VelmoraMarker> markers;
    std::vector<uint8_t> segments;
    for (const auto& [code, bytes] : GetParam().markers) {
        markers.push_back({code, bytes.empty() ? nullptr : bytes.data(), int32_t(bytes.size())});
        const std::size_t length = bytes.size() + 2;
        segments.insert(segments.end(),
                        {0xFF, uint8_t(code), uint8_t(length >> 8), uint8_t(length & 0xFF)});
        segments.insert(segments.end(), bytes.begin(), bytes.end());
    }
    ASSERT_EQ(convertRows(rows, path("plain.jpg")), VELMORA_OK);
    ASSERT_EQ(convertRows(rows, path("marked.jpg"), markers), VELMORA_OK);

    std::vector<uint8_t> expected = readFile(path("plain.jpg"));
    ASSERT_EQ(expected[3], 0xE0); // APP0, JFIF, right after SOI
    const std::size_t jfifEnd = 4 + (std::size_t(expected[4]) << 8 | expected[5]);
    expected.insert(expected.begin() + std::ptrdiff_t(jfifEnd), segments.begin(), segments.end());
    EXPECT_TRUE(readFile(path("marked.jpg")) == expected);
    // What the test expects is itself a JPEG of the same pixels.
    EXPECT_TRUE(decodeJpeg(expected).rgb == decodeJpeg(readFile(path("plain.jpg"))).rgb);
}

INSTANTIATE_TEST_SUITE_P(
    Segments, Markers,
    ::testing::Values(MarkerCase{"Exif", {{0xE1, {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42}}}},
                      MarkerCase{"IccInSeveralChunks",
                                 {{0xE2, std::vector<uint8_t>(VELMORA_MAX_MARKER_BYTES, 0xA5)},
                                  {0xE2, std::vector<uint8_t>(700, 0x5A)}}},
                      MarkerCase{"EmptyAndLastApp", {{0xE0, {}}, {0xEF, {1, 2, 3}}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct FillFailure {
    const char* name;
    int32_t returned;
    int16_t expected;
    bool lastStrip; // else the first
};

class FailingFill : public FolderTest, public ::testing::WithParamInterface<FillFailure> {};

// 8199 x 200 is four strips. A failing strip stops the conversion with its
// status (a caller's own, or the library's word for one out of range), and the
// destination keeps its content: no temporary file, no descriptor left. On
// one thread nothing is asked for after the failing strip.
TEST_P(FailingFill, stopsWithItsStatusAndLeavesNothing) {
    const FillFailure& c = GetParam();
    Rows rows(colourfulImage(8199, 200, 4), 4);
    rows.failAtRow = c.lastStrip ? 199 : 0;
    rows.failure = c.returned;
    writeFile(path("out.jpg"), {'k', 'e', 'e', 'p'});
    const std::size_t descriptors = openDescriptors();
    const ThreadCount threads(c.lastStrip ? "2" : "1");

    EXPECT_EQ(convertRows(rows, path("out.jpg")), c.expected);

    EXPECT_EQ(readFile(path("out.jpg")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(folderContents(), std::set<std::string>{"out.jpg"});
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_TRUE(c.lastStrip || rows.asked.size() == 1u);
}

INSTANTIATE_TEST_SUITE_P(Statuses, FailingFill,
                         ::testing::Values(FillFailure{"CallersOwnStatus", -100, -100, false},
                                           FillFailure{"LibraryStatus", VELMORA_E_OUT_OF_MEMORY,
                                                       VELMORA_E_OUT_OF_MEMORY, true},
                                           FillFailure{"LowestStatus", SHRT_MIN, SHRT_MIN, true},
                                           FillFailure{"BelowAnyStatus", SHRT_MIN - 1,
                                                       VELMORA_E_SOURCE_UNREADABLE, false},
                                           FillFailure{"Positive", 7, VELMORA_E_SOURCE_UNREADABLE,
                                                       true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RowsEntry, badRowArgumentsAreRefusedBeforeTouchingFiles) {
    Rows rows(colourfulImage(8, 8), 4);
    const std::string outPath = path("out.jpg");
    const char* out = outPath.c_str();
    const uint8_t bytes[4] = {1, 2, 3, 4};
    const VelmoraMarker good{0xE1, bytes, 4};
    const auto one = [](VelmoraMarker m) { return std::vector<VelmoraMarker>{m}; };
    const int big = VELMORA_MAX_DIMENSION + 1;
    struct Case {
        const char* name;
        VelmoraFillRows fill;
        int width, height, bytesPerPixel;
        std::vector<VelmoraMarker> markers;
        int32_t markerCount;
        const char* destination;
        int quality;
        int16_t expected;
    } cases[] = {
        {"no fill", nullptr, 8, 8, 4, {}, 0, out, 100, VELMORA_E_ARGUMENT},
        {"no path", Rows::fill, 8, 8, 4, {}, 0, nullptr, 100, VELMORA_E_ARGUMENT},
        {"empty path", Rows::fill, 8, 8, 4, {}, 0, "", 100, VELMORA_E_ARGUMENT},
        {"no width", Rows::fill, 0, 8, 4, {}, 0, out, 100, VELMORA_E_ARGUMENT},
        {"negative height", Rows::fill, 8, -8, 4, {}, 0, out, 100, VELMORA_E_ARGUMENT},
        {"two bytes a pixel", Rows::fill, 8, 8, 2, {}, 0, out, 100, VELMORA_E_ARGUMENT},
        {"quality 0", Rows::fill, 8, 8, 4, {}, 0, out, 0, VELMORA_E_ARGUMENT},
        {"quality 101", Rows::fill, 8, 8, 4, {}, 0, out, 101, VELMORA_E_ARGUMENT},
        {"negative marker count", Rows::fill, 8, 8, 4, one(good), -1, out, 100, VELMORA_E_ARGUMENT},
        {"markers missing", Rows::fill, 8, 8, 4, {}, 1, out, 100, VELMORA_E_ARGUMENT},
        {"not APPn", Rows::fill, 8, 8, 4, one({0xDB, bytes, 4}), 1, out, 100, VELMORA_E_ARGUMENT},
        {"comment", Rows::fill, 8, 8, 4, one({0xFE, bytes, 4}), 1, out, 100, VELMORA_E_ARGUMENT},
        {"code beyond a byte", Rows::fill, 8, 8, 4, one({0x1E1, bytes, 4}), 1, out, 100,
         VELMORA_E_ARGUMENT},
        {"segment too long", Rows::fill, 8, 8, 4, one({0xE2, bytes, VELMORA_MAX_MARKER_BYTES + 1}),
         1, out, 100, VELMORA_E_ARGUMENT},
        {"negative length", Rows::fill, 8, 8, 4, one({0xE1, bytes, -1}), 1, out, 100,
         VELMORA_E_ARGUMENT},
        {"bytes missing", Rows::fill, 8, 8, 4, one({0xE1, nullptr, 4}), 1, out, 100,
         VELMORA_E_ARGUMENT},
        {"too wide", Rows::fill, big, 1, 4, {}, 0, out, 100, VELMORA_E_TOO_LARGE},
        {"too tall", Rows::fill, 1, big, 3, {}, 0, out, 100, VELMORA_E_TOO_LARGE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConvertRowsToJPG(c.fill, &rows, c.width, c.height, c.bytesPerPixel,
                                   c.markers.empty() ? nullptr : c.markers.data(), c.markerCount,
                                   c.destination, c.quality),
                  c.expected)
            << c.name;
    }
    EXPECT_TRUE(rows.asked.empty());
    EXPECT_TRUE(folderContents().empty());
}

// The system's reason for a destination that cannot be written is left in
// errno, so that a caller can tell a full disk from a missing folder.
TEST_F(RowsEntry, anUnwritableDestinationLeavesTheSystemsReasonInErrno) {
    Rows rows(colourfulImage(8, 8), 3);
    writeFile(path("file"), {'x'});
    for (const auto& [destination, reason] : std::vector<std::pair<const char*, int>>{
             {"missing/out.jpg", ENOENT}, {"file/out.jpg", ENOTDIR}}) {
        errno = 0;
        EXPECT_EQ(convertRows(rows, path(destination)), VELMORA_E_DESTINATION) << destination;
        EXPECT_EQ(errno, reason) << destination;
    }
    EXPECT_EQ(folderContents(), std::set<std::string>{"file"});
}

} // namespace
