// The strip encoder: strips compressed on several threads and joined behind
// one header decode to exactly what TurboJPEG's one-call encode of the whole
// image decodes to, with the restart markers of one stream; a failing strip
// stops the file and leaves nothing behind. Its own entry, ConvertRowsToJPG,
// through the shared library: the file ConvertPixelsToJPG writes for the same
// pixels, the caller's markers where they belong, a fill that fails stops it
// with nothing left, and what it refuses.

#include "imageio/bitmapreader.h"
#include "libvelmora/stripencoder.h"
#include "libvelmora/velmora.h"
#include "outputfile/outputfile.h"
#include "tests/libvelmora/libvelmora_fixture.h"
#include "tests/support/caseprint.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace velmora_test;
using velmora::jpeg::PixelLayout;
using namespace velmora::imageio;

namespace {

static_assert(sizeof(Rgb) == 3);

enum class Failure { None, status, OutOfMemory };

// The image in memory in the encoder's layout; its last strip may fail.
class MemorySource : public velmora::jpeg::StripSource {
  public:
    MemorySource(const TestImage& image, PixelLayout layout, Failure failure = Failure::None)
        : failure_(failure), size_(layout == PixelLayout::Bgrx ? 4 : 3), height_(image.height) {
        for (const Rgb& p : image.pixels) {
            bytes_.insert(bytes_.end(), {p.b, p.g, p.r});
            if (size_ == 4)
                bytes_.push_back(0x5A); // ignored
        }
        stride_ = std::size_t(image.width) * size_;
    }
    int read(int first, int count, std::vector<unsigned char>&, unsigned char** rows) override {
        if (first + count == height_ && failure_ == Failure::status)
            return VELMORA_E_NOT_A_BITMAP;
        if (first + count == height_ && failure_ == Failure::OutOfMemory)
            throw std::bad_alloc();
        for (int i = 0; i < count; ++i)
            rows[i] = bytes_.data() + std::size_t(first + i) * stride_;
        return VELMORA_OK;
    }

  private:
    Failure failure_;
    int size_, height_;
    std::size_t stride_ = 0;
    std::vector<unsigned char> bytes_;
};

struct MemorySink : velmora::jpeg::ByteSink {
    std::vector<uint8_t> bytes;
    bool write(const unsigned char* data, std::size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
};

velmora::jpeg::EncodeSettings settings(const TestImage& image, PixelLayout layout, int quality,
                                       int threads, int stripRows) {
    return {.width = image.width,
            .height = image.height,
            .layout = layout,
            .quality = quality,
            .threads = threads,
            .stripRows = stripRows,
            .progress = nullptr,
            .markers = {}};
}

// What a decoder sees of the stream's structure.
struct Structure {
    int width = 0, height = 0, restartInterval = 0;
    std::vector<int> restarts; // n of each RSTn, in order
};

Structure structure(const std::vector<uint8_t>& d) {
    Structure s;
    std::size_t i = 2;
    for (; i + 4 <= d.size() && d[i + 1] != 0xDA; i += 2 + (d[i + 2] << 8 | d[i + 3])) {
        if (d[i + 1] == 0xC0) {
            s.height = d[i + 5] << 8 | d[i + 6];
            s.width = d[i + 7] << 8 | d[i + 8];
        }
        if (d[i + 1] == 0xDD)
            s.restartInterval = d[i + 4] << 8 | d[i + 5];
    }
    for (i += 2; i + 1 < d.size(); ++i) {
        if (d[i] == 0xFF && d[i + 1] >= 0xD0 && d[i + 1] <= 0xD7)
            s.restarts.push_back(d[i + 1] - 0xD0);
    }
    return s;
}

using velmora_test::PrintTo;

struct JoinCase {
    const char* name;
    int width, height, stripRows, threads;
    PixelLayout layout;
    int quality;
};

class JoinedStrips : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinedStrips, decodeLikeOneCallEncodeWithRestartsOfOneStream) {
    const JoinCase& c = GetParam();
    const TestImage image = colourfulImage(c.width, c.height, 7);
    MemorySource source(image, c.layout);
    MemorySink joined, oneStrip;
    ASSERT_EQ(encode(settings(image, c.layout, c.quality, c.threads, c.stripRows), source, joined),
              VELMORA_OK);
    ASSERT_EQ(encode(settings(image, c.layout, c.quality, 1, 1 << 16), source, oneStrip),
              VELMORA_OK);

    const Decoded got = decodeJpeg(joined.bytes);
    const Decoded expected = decodeJpeg(turboJpeg(image, c.quality));
    ASSERT_EQ(got.width, c.width);
    ASSERT_EQ(got.height, c.height);
    EXPECT_EQ(got.subsampling, expected.subsampling);
    ASSERT_FALSE(got.rgb.empty());
    EXPECT_TRUE(got.rgb == expected.rgb);
    EXPECT_TRUE(joined.bytes == oneStrip.bytes) << "the join is one libjpeg pass, byte for byte";

    const Structure s = structure(joined.bytes);
    EXPECT_EQ(s.width, c.width);
    EXPECT_EQ(s.height, c.height);
    EXPECT_EQ(s.restartInterval, (c.width + 7) / 8);
    ASSERT_EQ(s.restarts.size(), std::size_t((c.height + 7) / 8 - 1));
    for (std::size_t k = 0; k < s.restarts.size(); ++k)
        ASSERT_EQ(s.restarts[k], int(k % 8)) << "marker " << k;
}

INSTANTIATE_TEST_SUITE_P(
    sizes, JoinedStrips,
    ::testing::Values(JoinCase{"onePixel", 1, 1, 0, 2, PixelLayout::Bgr, 100},
                      JoinCase{"oddSizeOneThread", 37, 23, 64, 1, PixelLayout::Bgr, 100},
                      JoinCase{"oddSizeThreeStrips", 37, 150, 64, 2, PixelLayout::Bgr, 100},
                      JoinCase{"eightThreadsThreeStrips", 13, 130, 64, 8, PixelLayout::Bgrx, 100},
                      JoinCase{"sixteenStrips", 24, 1024, 64, 2, PixelLayout::Bgr, 90},
                      JoinCase{"lastStripOneRow", 9, 65, 64, 8, PixelLayout::Bgrx, 75},
                      JoinCase{"stripsOfSixteenMcuRows", 50, 300, 100, 2, PixelLayout::Bgr, 100}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailCase {
    const char* name;
    Failure failure; // None: the bitmap file shrinks under the encoder
    int threads;
    int expected;
};

// A bitmap file's rows as the encoder asks for them; a reader's refusal stops
// the file.
class FileSource : public velmora::jpeg::StripSource {
  public:
    FileSource(const BitmapRows& rows, int width) : rows_(rows), stride_(3 * std::size_t(width)) {}
    int read(int first, int count, std::vector<unsigned char>& scratch,
             unsigned char** rows) override {
        scratch.resize(stride_ * count);
        if (rows_.fill(first, count, BitmapRows::Format::Bgr, scratch.data(), stride_) !=
            BitmapStatus::Ok)
            return VELMORA_E_NOT_A_BITMAP;
        for (int i = 0; i < count; ++i)
            rows[i] = &scratch[stride_ * i];
        return VELMORA_OK;
    }

  private:
    const BitmapRows& rows_;
    std::size_t stride_;
};

class FailingStrip : public ::testing::TestWithParam<FailCase> {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-strip-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

// The status comes back, and the output file (written in part) is removed
// while the file it was to replace keeps its bytes.
TEST_P(FailingStrip, stopsTheFileAndLeavesNothing) {
    const FailCase& c = GetParam();
    const TestImage image = colourfulImage(16, 150); // strips of 64, 64 and 22 rows
    const std::vector<uint8_t> previous{'k', 'e', 'e', 'p'};
    writeFile(dir / "out.jpg", previous);
    writeFile(dir / "in.bmp", encodeBmp(image, 24));
    const int fd = ::open((dir / "in.bmp").c_str(), O_RDONLY);
    const DescriptorSource file(fd, fs::file_size(dir / "in.bmp"));
    BitmapLayout layout;
    ASSERT_EQ(readBitmapLayout(file, VELMORA_MAX_DIMENSION, &layout), BitmapStatus::Ok);
    // Cut in the middle of the top strip, the end of the bottom-up file.
    fs::resize_file(dir / "in.bmp", layout.dataOffset + layout.rowBytes * 100);
    const BitmapRows rows(file, layout);
    FileSource bitmap(rows, layout.width);
    MemorySource memory(image, PixelLayout::Bgr, c.failure);
    {
        velmora::jpeg::OutputFile output;
        ASSERT_TRUE(output.create((dir / "out.jpg").string()));
        velmora::jpeg::StripSource& source =
            c.failure == Failure::None ? static_cast<velmora::jpeg::StripSource&>(bitmap) : memory;
        EXPECT_EQ(encode(settings(image, PixelLayout::Bgr, 100, c.threads, 64), source, output),
                  c.expected);
    }
    ::close(fd);
    EXPECT_EQ(readFile(dir / "out.jpg"), previous);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2);
}

INSTANTIATE_TEST_SUITE_P(
    failures, FailingStrip,
    ::testing::Values(
        FailCase{"statusOneThread", Failure::status, 1, VELMORA_E_NOT_A_BITMAP},
        FailCase{"statusTwoThreads", Failure::status, 2, VELMORA_E_NOT_A_BITMAP},
        FailCase{"noMemoryOneThread", Failure::OutOfMemory, 1, VELMORA_E_OUT_OF_MEMORY},
        FailCase{"noMemoryTwoThreads", Failure::OutOfMemory, 2, VELMORA_E_OUT_OF_MEMORY},
        FailCase{"bitmapEndsMidStrip", Failure::None, 2, VELMORA_E_NOT_A_BITMAP}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

// --- ConvertRowsToJPG -----------------------------------------------------------

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

INSTANTIATE_TEST_SUITE_P(sizes, SameFile,
                         ::testing::Values(SameCase{"small24OneThread", 37, 23, 3, "1"},
                                           SameCase{"small32TwoThreads", 37, 23, 4, "2"},
                                           SameCase{"twoStrips32", 600, 1200, 4, "2"},
                                           SameCase{"shortLastStrip32", 8199, 139, 4, "2"},
                                           SameCase{"shortLastStrip24", 8199, 139, 3, "1"}),
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
    segments, Markers,
    ::testing::Values(MarkerCase{"exif", {{0xE1, {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42}}}},
                      MarkerCase{"iccInSeveralChunks",
                                 {{0xE2, std::vector<uint8_t>(VELMORA_MAX_MARKER_BYTES, 0xA5)},
                                  {0xE2, std::vector<uint8_t>(700, 0x5A)}}},
                      MarkerCase{"emptyAndLastApp", {{0xE0, {}}, {0xEF, {1, 2, 3}}}}),
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

INSTANTIATE_TEST_SUITE_P(statuses, FailingFill,
                         ::testing::Values(FillFailure{"callersOwnStatus", -100, -100, false},
                                           FillFailure{"libraryStatus", VELMORA_E_OUT_OF_MEMORY,
                                                       VELMORA_E_OUT_OF_MEMORY, true},
                                           FillFailure{"lowestStatus", SHRT_MIN, SHRT_MIN, true},
                                           FillFailure{"belowAnyStatus", SHRT_MIN - 1,
                                                       VELMORA_E_SOURCE_UNREADABLE, false},
                                           FillFailure{"positive", 7, VELMORA_E_SOURCE_UNREADABLE,
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
