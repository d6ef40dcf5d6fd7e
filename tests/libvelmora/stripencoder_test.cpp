// The strip encoder: strips compressed on several threads and joined behind
// one header decode to exactly what TurboJPEG's one-call encode of the whole
// image decodes to, with the restart markers of one stream; a failing strip
// stops the file and leaves nothing behind.

#include "bmp_fixture.h"
#include "imageio/bitmapreader.h"
#include "libvelmora/outputfile.h"
#include "libvelmora/stripencoder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <new>

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
    Sizes, JoinedStrips,
    ::testing::Values(JoinCase{"OnePixel", 1, 1, 0, 2, PixelLayout::Bgr, 100},
                      JoinCase{"OddSizeOneThread", 37, 23, 64, 1, PixelLayout::Bgr, 100},
                      JoinCase{"OddSizeThreeStrips", 37, 150, 64, 2, PixelLayout::Bgr, 100},
                      JoinCase{"EightThreadsThreeStrips", 13, 130, 64, 8, PixelLayout::Bgrx, 100},
                      JoinCase{"SixteenStrips", 24, 1024, 64, 2, PixelLayout::Bgr, 90},
                      JoinCase{"LastStripOneRow", 9, 65, 64, 8, PixelLayout::Bgrx, 75},
                      JoinCase{"StripsOfSixteenMcuRows", 50, 300, 100, 2, PixelLayout::Bgr, 100}),
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
    Failures, FailingStrip,
    ::testing::Values(
        FailCase{"StatusOneThread", Failure::status, 1, VELMORA_E_NOT_A_BITMAP},
        FailCase{"StatusTwoThreads", Failure::status, 2, VELMORA_E_NOT_A_BITMAP},
        FailCase{"NoMemoryOneThread", Failure::OutOfMemory, 1, VELMORA_E_OUT_OF_MEMORY},
        FailCase{"NoMemoryTwoThreads", Failure::OutOfMemory, 2, VELMORA_E_OUT_OF_MEMORY},
        FailCase{"BitmapEndsMidStrip", Failure::None, 2, VELMORA_E_NOT_A_BITMAP}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
