// The bitmap reader: every kind it reads against Qt's pixels where Qt is
// right and against worked-out values where it is not, every cut of those
// files refused, lying headers refused without a large allocation, and every
// row read alone as in the whole picture.

#include "imageio/bitmapreader.h"
#include "tests/imageio/imageio_fixture.h"
#include "tests/support/bitmapheaders.h"
#include "tests/support/caseprint.h"

#include <QByteArray>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>
#include <thread>

using namespace velmora::imageio;
using namespace velmora::testkit;
using Bytes = std::vector<std::uint8_t>;

// The largest single allocation since the last reset.
namespace {
std::atomic<std::size_t> largestAllocation{0};
} // namespace

void* operator new(std::size_t size) {
    std::size_t seen = largestAllocation.load();
    while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// The file in memory; reads that reach failFrom fail as the system's would.
class MemoryFile : public BitmapSource {
  public:
    explicit MemoryFile(Bytes bytes, std::uint64_t failFrom = UINT64_MAX)
        : bytes_(std::move(bytes)), failFrom_(failFrom) {}
    std::uint64_t size() const override { return bytes_.size(); }
    BitmapStatus readAt(std::uint64_t offset, unsigned char* buffer,
                        std::size_t count) const override {
        if (offset + count > failFrom_)
            return BitmapStatus::SourceUnreadable;
        if (offset > bytes_.size() || count > bytes_.size() - offset)
            return BitmapStatus::NotABitmap;
        std::copy_n(bytes_.data() + offset, count, buffer);
        return BitmapStatus::Ok;
    }

  private:
    Bytes bytes_;
    std::uint64_t failFrom_;
};

struct Result {
    BitmapStatus status = BitmapStatus::Ok;
    const char* why = nullptr;
    QImage picture; // Format_RGB32 when read
};

// The whole picture as the program reads it, in one fill (after indexRuns()
// as the library reads, when `indexed`).
Result readWhole(const Bytes& bytes, bool indexed = false, int maxSide = 65500,
                 std::uint64_t failFrom = UINT64_MAX) {
    const MemoryFile file(bytes, failFrom);
    BitmapLayout layout;
    Result r;
    if ((r.status = readBitmapLayout(file, maxSide, &layout, &r.why)) != BitmapStatus::Ok)
        return r;
    BitmapRows rows(file, layout);
    if (indexed && (r.status = rows.indexRuns(&r.why)) != BitmapStatus::Ok)
        return r;
    QImage picture(layout.width, layout.height, QImage::Format_RGB32);
    r.status = rows.fill(0, layout.height, BitmapRows::Format::Bgrx, picture.bits(),
                         std::size_t(picture.bytesPerLine()), &r.why);
    if (r.status == BitmapStatus::Ok)
        r.picture = picture;
    return r;
}

// A value for each place that differs along both axes.
std::uint32_t noise(int x, int y) {
    std::uint32_t v = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u;
    v ^= v >> 13;
    v *= 0x5BD1E995u;
    return v ^ v >> 15;
}

const std::vector<std::uint32_t> kUsualMasks{0xFF0000, 0xFF00, 0xFF};

using velmora_test::PrintTo;

// A bitmap of noise (odd sides: rows are padded and bits cross bytes).
struct Kind {
    const char* name;
    std::uint32_t infoSize;
    int bits;
    bool topDown = false;
    std::uint32_t compression = 0; // 1, 2: run-length coded; 3: `masks`
    int entries = 0;               // the palette's size in the header; 0: what the depth indexes
    std::vector<std::uint32_t> masks = {};
    int width = 13, height = 5;
};

Bytes fileOf(const Kind& k) {
    BitmapDraft s;
    s.infoSize = k.infoSize, s.bitsPerPixel = k.bits, s.compression = k.compression;
    s.width = k.width, s.height = k.topDown ? -k.height : k.height;
    const std::uint32_t colours = k.entries ? k.entries : k.bits <= 8 ? 1u << k.bits : 0;
    for (std::uint32_t i = 0; i < colours; ++i)
        s.palette.push_back(noise(int(i), 99) & 0xFFFFFF);
    s.coloursUsed = k.entries;
    s.masks = k.masks;
    // Stretches of 7 equal values in even rows, for runs to repeat.
    const auto value = [&](int x, int row) {
        const std::uint32_t v = row % 2 ? noise(x, row) : noise(x / 7, row);
        return colours ? v % colours : v;
    };
    const bool runs = k.compression == 1 || k.compression == 2;
    s.data = runs ? RunLengthStream(k.width, k.height, k.bits, value)
                  : PackedRows(k.width, k.height, k.bits, value);
    return BitmapFile(s);
}

// Kinds whose pixels Qt reads right.
const Kind kQtKinds[] = {
    {"core1", 12, 1},
    {"core4", 12, 4},
    {"core8", 12, 8},
    {"core24", 12, 24},
    {"core32", 12, 32},
    {"info1", 40, 1},
    {"info1OneColour", 40, 1, false, 0, 1},
    {"info4FiveColours", 40, 4, false, 0, 5},
    {"info8", 40, 8},
    {"info8SeventeenColours", 40, 8, false, 0, 17},
    {"info24", 40, 24},
    {"info32", 40, 32},
    {"info1TopDown", 40, 1, true},
    {"info4TopDown", 40, 4, true},
    {"info8TopDown", 40, 8, true},
    {"info24TopDown", 40, 24, true},
    {"os2Bits8", 64, 8},
    {"os2Bits24", 64, 24},
    {"v4Bits8", 108, 8},
    {"v5Bits4", 124, 4},
    {"v4Bits24", 108, 24},
    {"v5Bits32TopDown", 124, 32, true},
    {"bitfields32", 40, 32, false, 3, 0, kUsualMasks},
    {"bitfields32TopDown", 40, 32, true, 3, 0, kUsualMasks},
    {"bitfields32HighBytes", 40, 32, false, 3, 0, {0xFF000000, 0xFF0000, 0xFF00}},
    {"os2Bitfields32", 64, 32, false, 3, 0, kUsualMasks},
    {"v4Bitfields32", 108, 32, false, 3, 0, {0xFF, 0xFF00, 0xFF0000}},
    {"v5Bitfields32", 124, 32, false, 3, 0, kUsualMasks},
    {"runLength8", 40, 8, false, 1},
    {"runLength8TopDown", 40, 8, true, 1},
    {"runLength4", 40, 4, false, 2},
    {"runLength4TopDown", 40, 4, true, 2},
    {"v5RunLength8", 124, 8, false, 1},
    // Rows of more than a megabyte: several reads.
    {"largeRows24", 40, 24, false, 0, 0, {}, 700, 600},
    {"largeRows24TopDown", 40, 24, true, 0, 0, {}, 700, 600},
};

class QtKinds : public ::testing::TestWithParam<Kind> {};

} // namespace

// Every kind reads to Qt's pixels, with and without its rows indexed.
TEST_P(QtKinds, readToQtsPixels) {
    const Bytes file = fileOf(GetParam());
    const QByteArray data(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    const QImage qt = QImage::fromData(data, "BMP").convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(qt.isNull());
    for (const bool indexed : {false, true}) {
        const Result ours = readWhole(file, indexed);
        ASSERT_EQ(ours.status, BitmapStatus::Ok) << ours.why;
        EXPECT_TRUE(SamePixels(ours.picture, qt)) << "indexed " << indexed;
    }
}

INSTANTIATE_TEST_SUITE_P(files, QtKinds, ::testing::ValuesIn(kQtKinds),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

// Four pixels in a row and what they are.
struct MaskCase {
    const char* name;
    std::uint32_t infoSize;
    int bits;
    std::vector<std::uint32_t> masks; // none: the file has no bit fields
    std::uint32_t pixels[4];
    QRgb expected[4];
};

const MaskCase kMaskCases[] = {
    // Without masks, 16 bits are 5-5-5 (the top bit ignored): 1 is 8, 16 is 132.
    {"plain555",
     40,
     16,
     {},
     {0x7FFF, 0x7C00, 0x0421, 0xC210},
     {0xFFFFFF, 0xFF0000, 0x080808, 0x848484}},
    {"core555", 12, 16, {}, {0x7FFF, 0x03E0, 0x001F, 0x8000}, {0xFFFFFF, 0x00FF00, 0x0000FF, 0}},
    // Qt read white as 248, 252, 248.
    {"bitfields565",
     40,
     16,
     {0xF800, 0x07E0, 0x001F},
     {0xFFFF, 0xF800, 0x07E0, 0x0020},
     {0xFFFFFF, 0xFF0000, 0x00FF00, 0x000400}},
    {"v5Bitfields565",
     124,
     16,
     {0xF800, 0x07E0, 0x001F},
     {0xFFFF, 0x0001, 0x8410, 0},
     {0xFFFFFF, 0x000008, 0x848284, 0}},
    {"bitfields444",
     40,
     16,
     {0x0F00, 0x00F0, 0x000F},
     {0x0FFF, 0x0800, 0x0010, 0xF000},
     {0xFFFFFF, 0x880000, 0x001100, 0}},
    {"oneBitEach",
     40,
     16,
     {0x4, 0x2, 0x1},
     {0x7, 0x4, 0x2, 0xFFF8},
     {0xFFFFFF, 0xFF0000, 0x00FF00, 0}},
    // Of a channel wider than 8 bits, its top 8 count.
    {"tenBits32",
     40,
     32,
     {0x3FF00000, 0x000FFC00, 0x000003FF},
     {0x3FFFFFFF, 0x20000000, 0x400, 0x3FC},
     {0xFFFFFF, 0x800000, 0, 0x0000FF}},
    {"noBlueMask",
     108,
     32,
     {0xFF0000, 0xFF00, 0},
     {0xFFFFFFFF, 0x123456, 0xFF, 0},
     {0xFFFF00, 0x123400, 0, 0}},
};

Bytes maskFile(const MaskCase& c) {
    BitmapDraft s;
    s.infoSize = c.infoSize, s.width = 4, s.bitsPerPixel = c.bits;
    s.compression = c.masks.empty() ? 0 : 3;
    s.masks = c.masks;
    s.data = PackedRows(4, 1, c.bits, [&](int x, int) { return c.pixels[x]; });
    return BitmapFile(s);
}

// A 6 x 4 run-length picture of a grey ramp (index i is i * 0x111111), and
// its rows top first as palette indexes.
struct RunCase {
    const char* name;
    int bits;
    bool topDown;
    Bytes stream;
    const char* rows[4];
};

const RunCase kRunCases[] = {
    // Stored first: 2 of 1, a jump of 1 right and 2 up, 3 of 2 and the end
    // of the row; 6 of 3; the end of the picture. What is skipped is colour 0.
    {"skipsAtEightBits",
     8,
     false,
     {2, 1, 0, 2, 1, 2, 3, 2, 0, 0, 6, 3, 0, 1},
     {"333333", "000222", "000000", "110000"}},
    {"skipsAtFourBits",
     4,
     false,
     {2, 0x11, 0, 2, 1, 2, 3, 0x22, 0, 0, 6, 0x33, 0, 1},
     {"333333", "000222", "000000", "110000"}},
    {"skipsTopDown",
     8,
     true,
     {2, 1, 0, 2, 1, 2, 3, 2, 0, 0, 6, 3, 0, 1},
     {"110000", "000000", "000222", "333333"}},
    // Two halves in turn at 4 bits; literal groups padded to whole words.
    {"fourBitHalves",
     4,
     false,
     {5, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 1},
     {"000000", "123450", "456000", "121210"}},
    // Pixels past a row's end are dropped; a jump past the top ends the picture.
    {"pastTheRowsEnd",
     8,
     false,
     {9, 4, 0, 0, 0, 2, 2, 0, 0, 8, 5, 6, 7, 8, 9, 9, 9, 9, 0, 2, 0, 9},
     {"000000", "000000", "005678", "444444"}},
};

Bytes runFile(const RunCase& c) {
    BitmapDraft s;
    s.width = 6, s.height = c.topDown ? -4 : 4;
    s.bitsPerPixel = c.bits, s.compression = c.bits == 8 ? 1 : 2;
    for (std::uint32_t i = 0; i < 16; ++i)
        s.palette.push_back(i * 0x111111);
    s.coloursUsed = 16;
    s.data = c.stream;
    return BitmapFile(s);
}

class MaskCases : public ::testing::TestWithParam<MaskCase> {};
class RunCases : public ::testing::TestWithParam<RunCase> {};

} // namespace

TEST_P(MaskCases, scaleEachChannelByRepeatingItsHighBits) {
    const Result r = readWhole(maskFile(GetParam()));
    ASSERT_EQ(r.status, BitmapStatus::Ok) << r.why;
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(r.picture.pixel(x, 0), 0xFF000000 | GetParam().expected[x]) << x;
}

INSTANTIATE_TEST_SUITE_P(pixels, MaskCases, ::testing::ValuesIn(kMaskCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(RunCases, giveTheirPixelsAndTheFirstColourWhereTheySkip) {
    for (const bool indexed : {false, true}) {
        const Result r = readWhole(runFile(GetParam()), indexed);
        ASSERT_EQ(r.status, BitmapStatus::Ok) << r.why;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(r.picture.pixel(x, y),
                          0xFF000000 | std::uint32_t(GetParam().rows[y][x] - '0') * 0x111111)
                    << x << "," << y << " indexed " << indexed;
    }
}

INSTANTIATE_TEST_SUITE_P(streams, RunCases, ::testing::ValuesIn(kRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

std::vector<std::pair<std::string, Bytes>> smallFiles() {
    std::vector<std::pair<std::string, Bytes>> files;
    for (const Kind& kind : kQtKinds)
        if (kind.width * kind.height < 1000)
            files.emplace_back(kind.name, fileOf(kind));
    for (const MaskCase& c : kMaskCases)
        files.emplace_back(c.name, maskFile(c));
    for (const RunCase& c : kRunCases)
        files.emplace_back(c.name, runFile(c));
    return files;
}

} // namespace

// A file cut anywhere gives no picture: its headers, masks, palette, rows or
// run-length stream end early, and the reader says so.
TEST(BitmapReader, everyCutOfEveryKindIsRefused) {
    for (const auto& [name, file] : smallFiles()) {
        ASSERT_EQ(readWhole(file).status, BitmapStatus::Ok) << name;
        for (std::size_t size = 0; size < file.size(); ++size) {
            const Result r = readWhole(Bytes(file.begin(), file.begin() + size), size % 2);
            EXPECT_EQ(r.status, BitmapStatus::NotABitmap) << name << " cut to " << size;
            EXPECT_NE(r.why, nullptr);
        }
    }
}

// Every row alone and a few runs of rows, read on two threads at once, are
// the whole picture's; rows outside the picture are refused.
TEST(BitmapReader, everyRowReadAloneIsTheWholePicturesRow) {
    for (const auto& [name, bytes] : smallFiles()) {
        const MemoryFile file(bytes);
        BitmapLayout layout;
        ASSERT_EQ(readBitmapLayout(file, 65500, &layout), BitmapStatus::Ok);
        const QImage whole = readWhole(bytes).picture;
        const int h = layout.height;
        std::vector<std::pair<int, int>> runs{{h / 2, h - h / 2}, {1, h - 1}};
        for (int y = 0; y < h; ++y)
            runs.emplace_back(y, 1);
        for (const bool indexed : {false, true}) {
            BitmapRows rows(file, layout);
            ASSERT_EQ(indexed ? rows.indexRuns() : BitmapStatus::Ok, BitmapStatus::Ok);
            std::vector<QImage> got(runs.size());
            const auto readEvery = [&](std::size_t from) {
                for (std::size_t i = from; i < runs.size(); i += 2) {
                    QImage part(layout.width, runs[i].second, QImage::Format_BGR888);
                    if (rows.fill(runs[i].first, runs[i].second, BitmapRows::Format::Bgr,
                                  part.bits(),
                                  std::size_t(part.bytesPerLine())) == BitmapStatus::Ok)
                        got[i] = part.convertToFormat(QImage::Format_RGB32);
                }
            };
            std::thread other(readEvery, 1);
            readEvery(0);
            other.join();
            for (std::size_t i = 0; i < runs.size(); ++i)
                EXPECT_TRUE(
                    SamePixels(got[i], whole.copy(0, runs[i].first, layout.width, runs[i].second)))
                    << name << " " << runs[i].first << "+" << runs[i].second << " " << indexed;
            unsigned char pixel[4];
            for (const auto& [first, count] :
                 {std::pair(-1, 1), std::pair(0, 0), std::pair(h, 1), std::pair(h - 1, 2)})
                EXPECT_EQ(rows.fill(first, count, BitmapRows::Format::Bgrx, pixel, 4),
                          BitmapStatus::NotABitmap);
        }
    }
}

namespace {

Bytes patched(Bytes bytes, std::size_t at, std::uint32_t value, int size = 4) {
    for (int i = 0; i < size; ++i)
        bytes[at + i] = std::uint8_t(value >> (8 * i));
    return bytes;
}

} // namespace

// A small file whose header claims billions of pixels is refused before
// anything near that size is allocated.
TEST(BitmapReader, lyingHeadersAreRefusedWithoutAllocatingForTheirClaims) {
    const Bytes file24 = fileOf({"", 40, 24});
    const Bytes lies[] = {
        patched(patched(file24, 18, 60000), 22, 60000),
        patched(patched(fileOf({"", 40, 8}), 18, 65000), 22, std::uint32_t(-65000)),
        patched(patched(fileOf({"", 12, 1}), 18, 65000, 2), 20, 65000, 2),
        patched(fileOf({"", 124, 32, false, 3, 0, kUsualMasks}), 22, 30000),
        patched(file24, 22, 6),   // one row more than the file holds ...
        patched(file24, 10, 200), // ... or starting where the file cannot hold them
    };
    for (const Bytes& lie : lies) {
        largestAllocation = 0;
        EXPECT_EQ(readWhole(lie, false, INT_MAX / 4).status, BitmapStatus::NotABitmap);
        EXPECT_LT(largestAllocation.load(), std::size_t(64) << 10);
    }
}

// A read error is the system's, not the file's.
TEST(BitmapReader, readErrorsAreSaidAsSuch) {
    for (const Bytes& file : {fileOf({"", 40, 24}), fileOf({"", 40, 8, false, 1})})
        for (const std::uint64_t failFrom : {std::uint64_t(20), std::uint64_t(file.size() - 1)}) {
            const Result r = readWhole(file, true, 65500, failFrom);
            EXPECT_EQ(r.status, BitmapStatus::SourceUnreadable) << failFrom;
            EXPECT_STREQ(r.why, "the file cannot be read");
        }
}
