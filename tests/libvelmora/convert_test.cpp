// ConvertBMPtoJPG and ConvertPixelsToJPG through the shared library: what they
// write, what they refuse, and that a failure leaves the destination folder as
// it was.

#include "libvelmora/velmora.h"
#include "tests/libvelmora/libvelmora_fixture.h"
#include "tests/support/bitmapheaders.h"
#include "tests/support/caseprint.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;
using namespace velmora_test;
using velmora::testkit::Bitmap565;
using velmora::testkit::WidenedBitmap;

namespace {

// Quality 100 quantises nothing away; what is left is rounding in the colour
// conversion and the DCT, a few levels on noisy content. A flipped, mirrored
// or channel-swapped image misses by far more.
constexpr int kMaxErrorAtQuality100 = 4;

int16_t convert(const std::string& source, const std::string& destination, int quality = 100) {
    std::string writable = destination;
    return ConvertBMPtoJPG(source.c_str(), writable.data(), -1, quality, -1);
}

Decoded decodeJpeg(const std::string& path) {
    return velmora_test::decodeJpeg(readFile(path));
}

int maxChannelError(const TestImage& expected, const Decoded& got) {
    int worst = 0;
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            const Rgb& e = expected.at(x, y);
            const uint8_t* g = &got.rgb[(std::size_t(y) * got.width + x) * 3];
            worst =
                std::max({worst, std::abs(e.r - g[0]), std::abs(e.g - g[1]), std::abs(e.b - g[2])});
        }
    }
    return worst;
}

using ConvertTest = FolderTest;

// --- What it writes ---------------------------------------------------------

struct Layout {
    const char* name;
    int bitsPerPixel;
};

void PrintTo(const Layout& layout, std::ostream* os) {
    *os << layout.name;
}

class RoundTrip : public ConvertTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(RoundTrip, colourfulImageComesBackAt444WithinAFewLevels) {
    // Odd sizes exercise the row padding of both depths.
    const TestImage image = colourfulImage(37, 23);
    writeFile(path("in.bmp"), encodeBmp(image, GetParam().bitsPerPixel));
    std::string destination = path("out.jpg");
    const std::string before = destination;

    ASSERT_EQ(ConvertBMPtoJPG(path("in.bmp").c_str(), destination.data(), -1, 100, -1), VELMORA_OK);

    EXPECT_EQ(destination, before) << "the destination buffer is never written";
    const Decoded d = decodeJpeg(destination);
    ASSERT_EQ(d.width, image.width);
    ASSERT_EQ(d.height, image.height);
    EXPECT_EQ(d.subsampling, TJSAMP_444);
    ASSERT_FALSE(d.rgb.empty());
    EXPECT_LE(maxChannelError(image, d), kMaxErrorAtQuality100);
    EXPECT_EQ(folderContents(), (std::set<std::string>{"in.bmp", "out.jpg"}));
}

INSTANTIATE_TEST_SUITE_P(bottomUp, RoundTrip,
                         ::testing::Values(Layout{"bgr24", 24}, Layout{"bgrx32", 32}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConvertTest, paletteImageIsExpandedToItsColours) {
    const std::vector<Rgb> palette{{255, 0, 0}, {0, 0, 255}};
    TestImage expected{16, 8, {}};
    std::vector<uint8_t> indexes;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            indexes.push_back(x < 8 ? 0 : 1); // red left half, blue right half
            expected.pixels.push_back(palette[indexes.back()]);
        }
    }
    writeFile(path("in.bmp"), encodeIndexedBmp(16, 8, palette, indexes));
    ASSERT_EQ(convert(path("in.bmp"), path("out.jpg")), VELMORA_OK);
    const Decoded d = decodeJpeg(path("out.jpg"));
    ASSERT_EQ(d.width, 16);
    ASSERT_FALSE(d.rgb.empty());
    EXPECT_LE(maxChannelError(expected, d), 8); // a hard edge rings a little
}

// The same indexed bitmap with a 12-byte OS/2 1.x header and 3-byte entries.
std::vector<uint8_t> withCoreHeader(const std::vector<uint8_t>& windows, int entries) {
    const std::size_t oldStart = bmp::kHeadersEnd, newStart = 26;
    std::vector<uint8_t> bytes(newStart);
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(bytes, bmp::kDataOffset, uint32_t(newStart + 3 * entries));
    put32(bytes, bmp::kInfoSize, 12);
    put16(bytes, 18, windows[bmp::kWidth] | windows[bmp::kWidth + 1] << 8);
    put16(bytes, 20, windows[bmp::kHeight] | windows[bmp::kHeight + 1] << 8);
    put16(bytes, 22, 1);
    put16(bytes, 24, 8);
    for (int i = 0; i < entries; ++i)
        bytes.insert(bytes.end(), &windows[oldStart + 4 * i], &windows[oldStart + 4 * i + 3]);
    bytes.insert(bytes.end(), windows.begin() + oldStart + 4 * entries, windows.end());
    return bytes;
}

using velmora_test::PrintTo;

struct StripCase {
    const char* name;
    int bitsPerPixel;
    bool coreHeader;
    const char* threads;
};

class StripRoundTrip : public ConvertTest, public ::testing::WithParamInterface<StripCase> {};

// 600 x 1200 is two strips of about 2 MiB, read bottom-up where they lie; the
// file decodes exactly as TurboJPEG's one-call encode of the same pixels, and
// is the file the same pixels in memory give.
TEST_P(StripRoundTrip, decodesAsOneCallEncodeOfThePixels) {
    const StripCase& c = GetParam();
    TestImage image = colourfulImage(600, 1200, 3);
    std::vector<uint8_t> file;
    if (c.bitsPerPixel == 8) {
        std::vector<Rgb> palette;
        for (int i = 0; i < 256; ++i)
            palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
        std::vector<uint8_t> indexes;
        for (Rgb& p : image.pixels) {
            indexes.push_back(uint8_t(p.r ^ p.g));
            p = palette[indexes.back()];
        }
        file = encodeIndexedBmp(image.width, image.height, palette, indexes);
        if (c.coreHeader)
            file = withCoreHeader(file, 256);
    } else {
        file = encodeBmp(image, c.bitsPerPixel);
    }
    writeFile(path("in.bmp"), file);
    setenv("VELMORA_THREADS", c.threads, 1);
    const int16_t rc = convert(path("in.bmp"), path("out.jpg"));
    unsetenv("VELMORA_THREADS");
    ASSERT_EQ(rc, VELMORA_OK);
    const Decoded got = decodeJpeg(path("out.jpg"));
    ASSERT_FALSE(got.rgb.empty());
    EXPECT_TRUE(got.rgb == velmora_test::decodeJpeg(turboJpeg(image, 100)).rgb);
    if (c.bitsPerPixel == 8)
        return;
    // The same pixels in memory, top row first with padded rows, give the same file.
    const int bytes = c.bitsPerPixel / 8;
    const std::size_t stride = std::size_t(image.width) * bytes + 12;
    std::vector<uint8_t> pixels(stride * image.height, 0xEE);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            uint8_t* p = &pixels[stride * y + std::size_t(x) * bytes];
            p[0] = image.at(x, y).b, p[1] = image.at(x, y).g, p[2] = image.at(x, y).r;
        }
    setenv("VELMORA_THREADS", c.threads, 1);
    EXPECT_EQ(ConvertPixelsToJPG(pixels.data(), image.width, image.height, int64_t(stride), bytes,
                                 path("memory.jpg").c_str(), 100),
              VELMORA_OK);
    unsetenv("VELMORA_THREADS");
    EXPECT_TRUE(readFile(path("memory.jpg")) == readFile(path("out.jpg")));
}

INSTANTIATE_TEST_SUITE_P(depths, StripRoundTrip,
                         ::testing::Values(StripCase{"palette8OneThread", 8, false, "1"},
                                           StripCase{"palette8TwoThreads", 8, false, "2"},
                                           StripCase{"coreHeaderPalette8", 8, true, "2"},
                                           StripCase{"bgr24OneThread", 24, false, "1"},
                                           StripCase{"bgr24TwoThreads", 24, false, "2"},
                                           StripCase{"bgrx32TwoThreads", 32, false, "2"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConvertTest, lowerQualityGivesSmallerFile) {
    writeFile(path("in.bmp"), encodeBmp(colourfulImage(64, 48), 24));
    ASSERT_EQ(convert(path("in.bmp"), path("q100.jpg"), 100), VELMORA_OK);
    ASSERT_EQ(convert(path("in.bmp"), path("q1.jpg"), 1), VELMORA_OK);
    EXPECT_LT(fs::file_size(path("q1.jpg")) * 2, fs::file_size(path("q100.jpg")));
}

TEST_F(ConvertTest, successReplacesExistingFileAndKeepsItsPermissions) {
    writeFile(path("in.bmp"), encodeBmp(colourfulImage(8, 8), 24));
    writeFile(path("out.jpg"), {'o', 'l', 'd'});
    fs::permissions(path("out.jpg"), fs::perms::owner_read | fs::perms::owner_write);

    ASSERT_EQ(convert(path("in.bmp"), path("out.jpg")), VELMORA_OK);

    EXPECT_EQ(decodeJpeg(path("out.jpg")).width, 8);
    EXPECT_EQ(fs::status(path("out.jpg")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(folderContents(), (std::set<std::string>{"in.bmp", "out.jpg"}));
}

TEST_F(ConvertTest, newFileGetsPermissionsOfUmask) {
    writeFile(path("in.bmp"), encodeBmp(colourfulImage(8, 8), 24));
    const mode_t saved = umask(027);
    const int16_t rc = convert(path("in.bmp"), path("out.jpg"));
    umask(saved);
    ASSERT_EQ(rc, VELMORA_OK);
    EXPECT_EQ(fs::status(path("out.jpg")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(ConvertTest, concurrentCallsEachWriteTheirOwnFile) {
    const TestImage image = colourfulImage(40, 30);
    writeFile(path("in.bmp"), encodeBmp(image, 24));
    std::vector<int16_t> results(6, 99);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] {
            results[i] = convert(path("in.bmp"), path("out" + std::to_string(i) + ".jpg"));
        });
    for (auto& t : threads)
        t.join();
    for (std::size_t i = 0; i < results.size(); ++i) {
        ASSERT_EQ(results[i], VELMORA_OK) << i;
        EXPECT_LE(maxChannelError(image, decodeJpeg(path("out" + std::to_string(i) + ".jpg"))),
                  kMaxErrorAtQuality100);
    }
    EXPECT_EQ(folderContents().size(), results.size() + 1);
}

// Writes a large 24-bit bitmap: grey rows written one by one (the test process
// must not hold, or leave freed on its heap, a buffer as large as the image),
// or a sparse file of zeros that costs no disk.
void writeLargeBmp(const std::string& file, int width, int height, bool sparse = false) {
    std::vector<uint8_t> header = encodeBmp(colourfulImage(1, 1), 24);
    header.resize(bmp::kHeadersEnd);
    const uint64_t stride = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    put32(header, 2, uint32_t(bmp::kHeadersEnd + stride * height));
    put32(header, bmp::kWidth, uint32_t(width));
    put32(header, bmp::kHeight, uint32_t(height));
    put32(header, 34, uint32_t(stride * height));
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
    const std::vector<char> row(sparse ? 0 : stride, char(0x80));
    for (int y = 0; y < height && !sparse; ++y)
        out.write(row.data(), std::streamsize(row.size()));
    out.close();
    fs::resize_file(file, bmp::kHeadersEnd + stride * height);
}

struct Edge {
    const char* name;
    int width, height;
    int16_t expected;
};

class JpegLimit : public ConvertTest, public ::testing::WithParamInterface<Edge> {};

// 65500 a side is JPEG's limit in libjpeg; the pixel count has none. The files
// are as long as their headers claim, so only the limit can refuse them.
TEST_P(JpegLimit, holdsAtItsEdge) {
    const Edge& edge = GetParam();
    writeLargeBmp(path("in.bmp"), edge.width, edge.height, true);
    ASSERT_EQ(convert(path("in.bmp"), path("out.jpg")), edge.expected);
    if (edge.expected == VELMORA_OK) {
        const Decoded d = decodeJpeg(path("out.jpg"));
        EXPECT_EQ(d.width, edge.width);
        EXPECT_EQ(d.height, edge.height);
    }
}

INSTANTIATE_TEST_SUITE_P(sides, JpegLimit,
                         ::testing::Values(Edge{"widthAtLimit", 65500, 2, VELMORA_OK},
                                           Edge{"heightAtLimit", 2, 65500, VELMORA_OK},
                                           Edge{"widthOverLimit", 65501, 16, VELMORA_E_TOO_LARGE},
                                           Edge{"heightOverLimit", 16, 65501, VELMORA_E_TOO_LARGE},
                                           Edge{"bothOverLimit", 65501, 65501,
                                                VELMORA_E_TOO_LARGE}),
                         [](const auto& info) { return std::string(info.param.name); });

// Runs a conversion in a child whose address space may grow only `headroom`
// bytes beyond what it already maps, and returns the status.
int16_t convertWithHeadroom(const std::string& in, const std::string& out, rlim_t headroom) {
    const pid_t child = fork();
    if (child == 0) {
        std::ifstream statm("/proc/self/statm");
        unsigned long pages = 0;
        statm >> pages;
        const rlim_t limit = rlim_t(pages) * sysconf(_SC_PAGESIZE) + headroom;
        const rlimit rl{limit, limit};
        setrlimit(RLIMIT_AS, &rl);
        _exit(100 + convert(in, out));
    }
    int wstatus = 0;
    if (child < 0 || waitpid(child, &wstatus, 0) != child || !WIFEXITED(wstatus))
        return 99;
    return int16_t(WEXITSTATUS(wstatus) - 100);
}

// 5000 x 5000 x 3 bytes of pixels (75 MB) are converted within 40 MiB of
// address space (thread stacks included): a buffer of the whole image, which
// exceeds what a thread arena left by another test could serve, cannot be had.
TEST_F(ConvertTest, convertsInAFewStripsOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory defeats an address-space limit";
#endif
    writeLargeBmp(path("in.bmp"), 5000, 5000);
    EXPECT_EQ(convertWithHeadroom(path("in.bmp"), path("out.jpg"), 40u << 20), VELMORA_OK);
    EXPECT_EQ(decodeJpeg(path("out.jpg")).width, 5000);
}

// --- What it refuses --------------------------------------------------------

std::vector<uint8_t> valid24() {
    return encodeBmp(colourfulImage(9, 5), 24);
}

struct BadSource {
    const char* name;
    std::function<std::vector<uint8_t>()> bytes; // empty function: no file at all
    int16_t expected;
};

std::vector<uint8_t> patched(std::vector<uint8_t> bytes, std::size_t offset, uint32_t value,
                             bool wide = true) {
    wide ? put32(bytes, offset, value) : put16(bytes, offset, value);
    return bytes;
}

std::vector<uint8_t> truncatedTo(std::vector<uint8_t> bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

const std::vector<Rgb> kRunPalette{{10, 20, 30}, {250, 0, 0}, {0, 250, 0}, {0, 0, 250}};

// A 6 x 3 run-length bitmap with kRunPalette. The default stream, bottom row
// first: 6 of colour 1 and the row's end; a jump of 2, 2 of colour 2 and the
// row's end; 3 of colour 3 and the picture's end. At 4 bits each run byte
// holds its colour twice.
std::vector<uint8_t> runLength(int bits, std::vector<uint8_t> stream = {}) {
    const uint8_t twice = bits == 4 ? 0x11 : 1;
    if (stream.empty())
        stream = {6, twice, 0, 0, 0, 2, 2, 0, 2, uint8_t(2 * twice), 0, 0, 3, uint8_t(3 * twice),
                  0, 1};
    velmora::testkit::BitmapDraft draft;
    draft.width = 6;
    draft.height = 3;
    draft.bitsPerPixel = bits;
    draft.compression = bits == 8 ? 1 : 2;
    for (const Rgb& c : kRunPalette)
        draft.palette.push_back(uint32_t(c.r) << 16 | c.g << 8 | c.b);
    draft.coloursUsed = int32_t(kRunPalette.size());
    draft.data = std::move(stream);
    return velmora::testkit::BitmapFile(draft);
}

std::vector<uint8_t> runLength8(std::vector<uint8_t> stream = {}) {
    return runLength(8, std::move(stream));
}

const BadSource kBadSources[] = {
    {"missing", nullptr, VELMORA_E_SOURCE_UNREADABLE},
    {"empty", [] { return std::vector<uint8_t>{}; }, VELMORA_E_NOT_A_BITMAP},
    {"fileHeaderCut", [] { return truncatedTo(valid24(), 10); }, VELMORA_E_NOT_A_BITMAP},
    {"infoHeaderCut", [] { return truncatedTo(valid24(), 30); }, VELMORA_E_NOT_A_BITMAP},
    {"pixelDataCut", [] { return truncatedTo(valid24(), valid24().size() - 5); },
     VELMORA_E_NOT_A_BITMAP},
    {"paletteCut",
     [] {
         return truncatedTo(encodeIndexedBmp(4, 2, {{0, 0, 0}}, {0, 0, 0, 0, 0, 0, 0, 0}), 57);
     },
     VELMORA_E_NOT_A_BITMAP},
    {"firstRowCut", [] { return truncatedTo(valid24(), bmp::kHeadersEnd + 7); },
     VELMORA_E_NOT_A_BITMAP},
    {"midRowCut", [] { return truncatedTo(valid24(), bmp::kHeadersEnd + 28 * 2 + 13); },
     VELMORA_E_NOT_A_BITMAP},
    // No room for the 256 palette entries before the stream.
    {"rle8WithoutPalette",
     [] { return patched(patched(valid24(), bmp::kBitsPerPixel, 8, false), bmp::kCompression, 1); },
     VELMORA_E_NOT_A_BITMAP},
    {"rle8StreamCut", [] { return truncatedTo(runLength8(), runLength8().size() - 1); },
     VELMORA_E_NOT_A_BITMAP},
    // The masks would be the first pixels.
    {"bitfields32WithoutMasks",
     [] { return patched(encodeBmp(colourfulImage(9, 5), 32), bmp::kCompression, 3); },
     VELMORA_E_NOT_A_BITMAP},
    {"masksNotContiguous",
     [] {
         return patched(WidenedBitmap(encodeBmp(colourfulImage(9, 5), 32), 124, true), 54,
                        0xF0F000);
     },
     VELMORA_E_NOT_A_BITMAP},
    {"embeddedJpeg", [] { return patched(valid24(), bmp::kCompression, 4); },
     VELMORA_E_NOT_A_BITMAP},
    {"embeddedPng", [] { return patched(valid24(), bmp::kCompression, 5); },
     VELMORA_E_NOT_A_BITMAP},
    {"hugeWidthAndHeightLargerThanFile",
     [] { return patched(patched(valid24(), bmp::kWidth, 60000), bmp::kHeight, 60000); },
     VELMORA_E_NOT_A_BITMAP},
    {"widthBeyondJpegLimit", [] { return patched(valid24(), bmp::kWidth, 70000); },
     VELMORA_E_TOO_LARGE},
    {"sizeLargerThanFile",
     [] { return patched(patched(valid24(), bmp::kWidth, 4000), bmp::kHeight, 4000); },
     VELMORA_E_NOT_A_BITMAP},
    {"negativeWidth", [] { return patched(valid24(), bmp::kWidth, uint32_t(-9)); },
     VELMORA_E_NOT_A_BITMAP},
    {"mostNegativeHeight", [] { return patched(valid24(), bmp::kHeight, 0x80000000u); },
     VELMORA_E_NOT_A_BITMAP},
    {"zeroHeight", [] { return patched(valid24(), bmp::kHeight, 0); }, VELMORA_E_NOT_A_BITMAP},
    {"zeroBits", [] { return patched(valid24(), bmp::kBitsPerPixel, 0, false); },
     VELMORA_E_NOT_A_BITMAP},
    {"sevenBits", [] { return patched(valid24(), bmp::kBitsPerPixel, 7, false); },
     VELMORA_E_NOT_A_BITMAP},
    {"sixtyFourBits", [] { return patched(valid24(), bmp::kBitsPerPixel, 64, false); },
     VELMORA_E_NOT_A_BITMAP},
    {"twoPlanes", [] { return patched(valid24(), bmp::kPlanes, 2, false); },
     VELMORA_E_NOT_A_BITMAP},
    {"unknownInfoHeaderSize", [] { return patched(valid24(), bmp::kInfoSize, 52); },
     VELMORA_E_NOT_A_BITMAP},
    {"runLength4At24Bits", [] { return patched(valid24(), bmp::kCompression, 2); },
     VELMORA_E_NOT_A_BITMAP},
    {"bitfieldsAt24Bits", [] { return patched(valid24(), bmp::kCompression, 3); },
     VELMORA_E_NOT_A_BITMAP},
    {"paletteOf257",
     [] {
         return patched(encodeIndexedBmp(2, 1, {{0, 0, 0}}, {0, 0}), bmp::kColoursUsed, 257);
     },
     VELMORA_E_NOT_A_BITMAP},
    {"pixelsInsideThePalette",
     [] {
         return patched(encodeIndexedBmp(2, 1, {{0, 0, 0}, {1, 1, 1}}, {0, 1}), bmp::kDataOffset,
                        61);
     },
     VELMORA_E_NOT_A_BITMAP},
    {"topDownHeightBeyondJpegLimit",
     [] { return patched(valid24(), bmp::kHeight, uint32_t(-65501)); }, VELMORA_E_TOO_LARGE},
    {"dataOffsetPastEnd", [] { return patched(valid24(), bmp::kDataOffset, 0x7FFFFFF0); },
     VELMORA_E_NOT_A_BITMAP},
    {"dataOffsetInsideHeader", [] { return patched(valid24(), bmp::kDataOffset, 20); },
     VELMORA_E_NOT_A_BITMAP},
    {"v5InfoHeader", [] { return patched(valid24(), bmp::kInfoSize, 124); },
     VELMORA_E_NOT_A_BITMAP},
    {"paletteIndexOutOfRange",
     [] {
         return encodeIndexedBmp(4, 2, {{0, 0, 0}, {9, 9, 9}}, {0, 1, 5, 0, 1, 0, 1, 0});
     },
     VELMORA_E_NOT_A_BITMAP},
    {"runLengthIndexOutOfRange",
     [] {
         return runLength8({3, 7, 0, 1});
     },
     VELMORA_E_NOT_A_BITMAP},
    // One colour for the indexes 0 and 1.
    {"oneBitIndexOutOfRange",
     [] {
         velmora::testkit::BitmapDraft draft;
         draft.width = 8, draft.bitsPerPixel = 1;
         draft.palette = {0x123456};
         draft.coloursUsed = 1;
         draft.data = velmora::testkit::PackedRows(8, 1, 1, [](int x, int) { return x % 2; });
         return velmora::testkit::BitmapFile(draft);
     },
     VELMORA_E_NOT_A_BITMAP},
    {"textFile",
     [] {
         const std::string text = "BMP? no, just a note\n";
         return std::vector<uint8_t>(text.begin(), text.end());
     },
     VELMORA_E_NOT_A_BITMAP},
    {"ppmNamedBmp",
     [] {
         const std::string header = "P6\n2 2\n255\n";
         std::vector<uint8_t> bytes(header.begin(), header.end());
         bytes.resize(bytes.size() + 12, 0x80);
         return bytes;
     },
     VELMORA_E_NOT_A_BITMAP},
};

void PrintTo(const BadSource& bad, std::ostream* os) {
    *os << bad.name;
}

class RefusedSource : public ConvertTest, public ::testing::WithParamInterface<BadSource> {};

// Each refusal returns its status and leaves the folder as it was: the
// existing destination keeps its bytes, no temporary file remains, and no
// descriptor leaks.
TEST_P(RefusedSource, returnsStatusAndLeavesFolderUntouched) {
    const BadSource& bad = GetParam();
    if (bad.bytes)
        writeFile(path("in.bmp"), bad.bytes());
    const std::vector<uint8_t> previous{'k', 'e', 'e', 'p'};
    writeFile(path("out.jpg"), previous);
    const auto before = folderContents();
    const std::size_t descriptors = openDescriptors();

    EXPECT_EQ(convert(path("in.bmp"), path("out.jpg")), bad.expected);

    EXPECT_EQ(readFile(path("out.jpg")), previous);
    EXPECT_EQ(folderContents(), before);
    EXPECT_EQ(openDescriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(sources, RefusedSource, ::testing::ValuesIn(kBadSources),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConvertTest, directoryAsSourceIsUnreadable) {
    fs::create_directory(path("in.bmp"));
    EXPECT_EQ(convert(path("in.bmp"), path("out.jpg")), VELMORA_E_SOURCE_UNREADABLE);
}

TEST_F(ConvertTest, unwritableDestinationsAreRefusedWithoutLeftovers) {
    writeFile(path("in.bmp"), valid24());
    writeFile(path("file"), {'x'});
    fs::create_directory(path("folder"));
    for (const char* destination : {"missing/out.jpg", "file/out.jpg", "folder"}) {
        SCOPED_TRACE(destination);
        EXPECT_EQ(convert(path("in.bmp"), path(destination)), VELMORA_E_DESTINATION);
        EXPECT_EQ(folderContents(), (std::set<std::string>{"in.bmp", "file", "folder"}));
        EXPECT_TRUE(fs::is_empty(path("folder")));
    }
}

TEST_F(ConvertTest, readOnlyFolderIsRefused) {
    writeFile(path("in.bmp"), valid24());
    fs::create_directory(path("ro"));
    fs::permissions(path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    if (access(path("ro").c_str(), W_OK) == 0)
        GTEST_SKIP() << "running with privileges that ignore folder permissions";
    EXPECT_EQ(convert(path("in.bmp"), path("ro/out.jpg")), VELMORA_E_DESTINATION);
    EXPECT_TRUE(fs::is_empty(path("ro")));
}

TEST_F(ConvertTest, badArgumentsAreRefusedBeforeTouchingFiles) {
    writeFile(path("in.bmp"), valid24());
    const std::string source = path("in.bmp");
    std::string destination = path("out.jpg");
    std::string empty;
    struct Case {
        const char* name;
        const char* source;
        char* destination;
        int32_t arg3, quality, arg5;
    } cases[] = {
        {"null source", nullptr, destination.data(), -1, 100, -1},
        {"null destination", source.c_str(), nullptr, -1, 100, -1},
        {"empty source", "", destination.data(), -1, 100, -1},
        {"empty destination", source.c_str(), empty.data(), -1, 100, -1},
        {"quality 0", source.c_str(), destination.data(), -1, 0, -1},
        {"quality 101", source.c_str(), destination.data(), -1, 101, -1},
        {"quality -1", source.c_str(), destination.data(), -1, -1, -1},
        {"arg3 not -1", source.c_str(), destination.data(), 0, 100, -1},
        {"arg5 not -1", source.c_str(), destination.data(), -1, 100, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConvertBMPtoJPG(c.source, c.destination, c.arg3, c.quality, c.arg5),
                  VELMORA_E_ARGUMENT)
            << c.name;
    }
    EXPECT_EQ(folderContents(), std::set<std::string>{"in.bmp"});
}

TEST_F(ConvertTest, badPixelArgumentsAreRefusedBeforeTouchingFiles) {
    const uint32_t pixels[64] = {};
    const std::string outPath = path("out.jpg");
    const char* out = outPath.c_str();
    const int big = VELMORA_MAX_DIMENSION + 1;
    for (const auto& [p, w, h, line, bpp, dest, quality, status] :
         std::vector<std::tuple<const void*, int, int, int64_t, int, const char*, int, int>>{
             {nullptr, 8, 8, 32, 4, out, 100, VELMORA_E_ARGUMENT},
             {pixels, 8, 8, 32, 4, "", 100, VELMORA_E_ARGUMENT},
             {pixels, 0, 8, 32, 4, out, 100, VELMORA_E_ARGUMENT},
             {pixels, 8, 8, 32, 2, out, 100, VELMORA_E_ARGUMENT},
             {pixels, 8, 8, 31, 4, out, 100, VELMORA_E_ARGUMENT}, // rows overlap
             {pixels, 8, 8, 32, 4, out, 101, VELMORA_E_ARGUMENT},
             {pixels, big, 1, 4 * big, 4, out, 100, VELMORA_E_TOO_LARGE},
             {pixels, 1, big, 4, 4, out, 100, VELMORA_E_TOO_LARGE}})
        EXPECT_EQ(ConvertPixelsToJPG(p, w, h, line, bpp, dest, quality), status) << w << " " << bpp;
    EXPECT_TRUE(fs::is_empty(dir));
}

} // namespace

// --- The headers of today's tools -------------------------------------------

class TodaysHeaders : public ConvertTest,
                      public ::testing::WithParamInterface<std::tuple<int, uint32_t, bool>> {};

// ImageMagick and GIMP write V4 and V5 headers; such a file was refused (-3).
TEST_P(TodaysHeaders, convertToTheFileOfTheir40ByteTwinByteForByte) {
    const auto [bitsPerPixel, infoSize, bitfields] = GetParam();
    const std::vector<uint8_t> twin = encodeBmp(colourfulImage(37, 23), bitsPerPixel);
    writeFile(path("twin.bmp"), twin);
    writeFile(path("wide.bmp"), WidenedBitmap(twin, infoSize, bitfields));
    ASSERT_EQ(convert(path("twin.bmp"), path("twin.jpg")), VELMORA_OK);
    ASSERT_EQ(convert(path("wide.bmp"), path("wide.jpg")), VELMORA_OK);
    EXPECT_EQ(readFile(path("wide.jpg")), readFile(path("twin.jpg")));
}

INSTANTIATE_TEST_SUITE_P(headers, TodaysHeaders,
                         ::testing::Values(std::tuple(24, 108u, false), std::tuple(32, 108u, false),
                                           std::tuple(32, 108u, true), std::tuple(24, 124u, false),
                                           std::tuple(32, 124u, false), std::tuple(32, 124u, true)),
                         [](const auto& info) {
                             // "v5With32BitsAndBitfields": the header, then the pixels.
                             return std::string(std::get<1>(info.param) == 108u ? "v4" : "v5") +
                                    "With" + std::to_string(std::get<0>(info.param)) + "Bits" +
                                    (std::get<2>(info.param) ? "AndBitfields" : "");
                         });

// --- Kinds the program read and the library refused --------------------------

namespace {

const TestImage kImage = colourfulImage(37, 23);

// The pixels of runLength(), top row first.
TestImage runLengthPixels() {
    TestImage image{6, 3, {}};
    for (const char* row : {"333000", "002200", "111111"})
        for (int x = 0; x < 6; ++x)
            image.pixels.push_back(kRunPalette[row[x] - '0']);
    return image;
}

// A tall run-length picture of long runs and noisy stretches: four strips,
// three of which start in the stream's middle.
std::vector<uint8_t> tallRunLength(TestImage* pixels) {
    velmora::testkit::BitmapDraft draft;
    draft.width = 1000;
    draft.height = 2400;
    draft.bitsPerPixel = 8;
    draft.compression = 1;
    std::vector<Rgb> palette;
    for (int i = 0; i < 256; ++i) {
        palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
        draft.palette.push_back(uint32_t(i) << 16 | uint32_t(255 - i) << 8 | uint8_t(i * 7));
    }
    const auto index = [](int x, int row) {
        return uint32_t(x % 100 < 30 ? (x * 7919 + row * 104729) >> 3 : x / 8 * 31 + row) & 0xFF;
    };
    draft.data = velmora::testkit::RunLengthStream(1000, 2400, 8, index);
    *pixels = {1000, 2400, {}};
    for (int y = 0; y < 2400; ++y)
        for (int x = 0; x < 1000; ++x)
            pixels->pixels.push_back(palette[index(x, 2399 - y)]);
    return velmora::testkit::BitmapFile(draft);
}

struct Twin {
    const char* name;
    // The file and the pixels it holds.
    std::function<std::vector<uint8_t>(TestImage*)> bytes;
};

const Twin kTwins[] = {
    {"topDown24",
     [](TestImage* p) {
         *p = kImage;
         return encodeBmp(kImage, 24, true);
     }},
    {"topDown32",
     [](TestImage* p) {
         *p = kImage;
         return encodeBmp(kImage, 32, true);
     }},
    {"bitfields32AfterA40ByteHeader",
     [](TestImage* p) {
         *p = kImage;
         std::vector<uint8_t> v5 = WidenedBitmap(encodeBmp(kImage, 32), 124, true);
         return patched(patched(v5, bmp::kInfoSize, 40), bmp::kDataOffset, 14 + 124);
     }},
    {"v5RedMaskOfOneBit",
     [](TestImage* p) {
         *p = kImage;
         for (Rgb& c : p->pixels)
             c.r = c.b & 1 ? 255 : 0;
         return patched(WidenedBitmap(encodeBmp(kImage, 32), 124, true), 54, 1);
     }},
    {"v4Palette",
     [](TestImage* p) {
         const std::vector<Rgb> palette{{255, 0, 0}, {0, 0, 255}, {0, 255, 0}};
         std::vector<uint8_t> indexes;
         *p = {16, 8, {}};
         for (int i = 0; i < 16 * 8; ++i) {
             indexes.push_back(uint8_t(i / 3 % 3));
             p->pixels.push_back(palette[indexes.back()]);
         }
         return WidenedBitmap(encodeIndexedBmp(16, 8, palette, indexes), 108, false);
     }},
    {"runLength8",
     [](TestImage* p) {
         *p = runLengthPixels();
         return runLength(8);
     }},
    {"runLength4",
     [](TestImage* p) {
         *p = runLengthPixels();
         return runLength(4);
     }},
    {"tallRunLength8", tallRunLength},
    {"white565",
     [](TestImage* p) {
         *p = {37, 23, std::vector<Rgb>(37 * 23, Rgb{255, 255, 255})};
         return Bitmap565(37, 23, 0xFFFF);
     }},
};

void PrintTo(const Twin& twin, std::ostream* os) {
    *os << twin.name;
}

class Twins : public ConvertTest, public ::testing::WithParamInterface<Twin> {};

} // namespace

// Top-down, run-length, 16-bit and bit-field bitmaps and palettes after a
// V4/V5 header were refused (-3); on two threads, strip by strip, they give
// the file of the same pixels in a plain 24-bit bitmap.
TEST_P(Twins, convertToTheFileOfTheir24BitTwinByteForByte) {
    TestImage pixels;
    writeFile(path("kind.bmp"), GetParam().bytes(&pixels));
    writeFile(path("twin.bmp"), encodeBmp(pixels, 24));
    setenv("VELMORA_THREADS", "2", 1);
    const int16_t kind = convert(path("kind.bmp"), path("kind.jpg"));
    const int16_t twin = convert(path("twin.bmp"), path("twin.jpg"));
    unsetenv("VELMORA_THREADS");
    ASSERT_EQ(kind, VELMORA_OK);
    ASSERT_EQ(twin, VELMORA_OK);
    EXPECT_TRUE(readFile(path("kind.jpg")) == readFile(path("twin.jpg")));
}

INSTANTIATE_TEST_SUITE_P(kinds, Twins, ::testing::ValuesIn(kTwins),
                         [](const auto& info) { return std::string(info.param.name); });

// Qt read a white 16-bit 5-6-5 bitmap as 248, 252, 248: white stays white.
TEST_F(ConvertTest, white565BitmapDecodesAsWhiteAtQuality100) {
    writeFile(path("in.bmp"), Bitmap565(37, 23, 0xFFFF));
    ASSERT_EQ(convert(path("in.bmp"), path("out.jpg"), 100), VELMORA_OK);
    const Decoded d = decodeJpeg(path("out.jpg"));
    ASSERT_EQ(d.rgb.size(), std::size_t(37 * 23 * 3));
    EXPECT_TRUE(std::all_of(d.rgb.begin(), d.rgb.end(), [](uint8_t v) { return v == 255; }));
}
