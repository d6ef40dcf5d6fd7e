// The picture reader: every kind of file as Qt's reader opened it, damage and
// cut files refused for every format, lying headers refused, pictures stood upright, their metadata
// kept, reduced decodes, and what memory allows.
#include "gui/filenames.h"
#include "gui/pictureimage.h"
#include "imageio/imagereader.h"
#include "imageio/orientation.h"
#include "tests/imageio/imageio_fixture.h"
#include "tests/support/badimages.h"
#include "tests/support/bitmapheaders.h"
#include "tests/support/caseprint.h"
#include "tests/support/fakememory.h"
#include "tests/support/formatfiles.h"
#include "tests/support/jpegfiles.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTransform>
#include <QtEndian>
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <functional>

#include <unistd.h>

using namespace velmora::gui;
using namespace velmora::imageio;
using namespace velmora::testkit;

namespace {

// The reader as these tests use it: names as Qt's text, pictures as QImages
// (Qt's own reader is what they compare with).
class Reader : public ImageReader {
  public:
    explicit Reader(const QString& path) : ImageReader(pathBytes(path)) {}
    QSize size() const { return qSize(ImageReader::size()); }
    void reduceFor(const QSize& smallest) { ImageReader::reduceFor(sizeOf(smallest)); }
    bool read(QImage* picture, long long alsoHeld = 0) {
        Picture read;
        if (!ImageReader::read(&read, alsoHeld))
            return false;
        *picture = imageOfPicture(read);
        return true;
    }
    QByteArray exif() const { return QByteArray::fromStdString(ImageReader::exif()); }
    QByteArray iccProfile() const { return QByteArray::fromStdString(ImageReader::iccProfile()); }
    QString errorString() const { return QString::fromStdString(ImageReader::errorString()); }
};

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

QString file(const QString& name, const QByteArray& data) {
    QFile f(folder().filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
    return f.fileName();
}

QImage readWithUs(const QString& path, const QSize& reduced = QSize()) {
    QImage picture;
    Reader reader(path);
    reader.reduceFor(reduced);
    reader.read(&picture);
    return picture;
}

QImage readWithQt(const QString& path, bool upright = false) {
    QImageReader reader(path);
    reader.setAutoTransform(upright);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

QByteArray bitmapOf(const QImage& picture) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "BMP");
    return data;
}

QByteArray widened(const QByteArray& bmp, std::uint32_t infoSize, bool bitfields) {
    const std::vector<std::uint8_t> wide =
        WidenedBitmap(std::vector<std::uint8_t>(bmp.begin(), bmp.end()), infoSize, bitfields);
    return QByteArray(reinterpret_cast<const char*>(wide.data()), qsizetype(wide.size()));
}

// An 8-bit run-length bitmap of 6 x 3 with a grey ramp for its palette.
QByteArray runLength(const QByteArray& rows) {
    QByteArray file(14 + 40 + 256 * 4, '\0');
    auto* p = reinterpret_cast<uchar*>(file.data());
    file[0] = 'B', file[1] = 'M';
    qToLittleEndian<quint32>(quint32(file.size()), p + 10);
    const quint32 info[] = {40, 6, 3, 1 | 8 << 16, 1};
    qToLittleEndian<quint32>(info, 5, p + 14);
    for (int i = 0; i < 256 * 4; ++i)
        p[54 + i] = uchar(i / 4);
    return file + rows;
}

// Bottom row first: 6 of colour 9; 2 of 5 and a jump of 4 (skipped pixels);
// the end before the top row (skipped too). The second gives every pixel.
const QByteArray kSkips("\x06\x09\x00\x00\x02\x05\x00\x02\x04\x00\x00\x00\x00\x01", 14);
const QByteArray kFull("\x06\x01\x00\x00\x03\x02\x03\x03\x00\x00\x06\x04\x00\x01", 14);

const QImage kColourful = Colourful(67, 45);
const QByteArray kBitmap24 = bitmapOf(Colourful(7, 5)); // rows of 24 bytes from 54
const QByteArray kBitmap8 = bitmapOf(Colourful(7, 5).convertToFormat(QImage::Format_Indexed8));
const QByteArray kJpeg = EncodeJpeg(Colourful(64, 48), JpegKind::Baseline420);
const QByteArray kProgressive = EncodeJpeg(Colourful(64, 48), JpegKind::Progressive420);
const QByteArray kRestarts = EncodeJpeg(Colourful(64, 48), JpegKind::RestartMarkers);

QByteArray replaced(QByteArray data, qsizetype at, const QByteArray& with) {
    return data.replace(at, with.size(), with);
}

using velmora_test::PrintTo;

struct Row {
    const char* name;
    std::function<QByteArray()> bytes;
};

// The row's name in camelCase: a JPEG kind's name starts with a capital.
std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    std::string name = info.param.name;
    name[0] = char(std::tolower(static_cast<unsigned char>(name[0])));
    return name;
}

#define JPEG_ROW(kind)                                                                             \
    Row {                                                                                          \
#kind, [] { return EncodeJpeg(kColourful, JpegKind::kind); }                               \
    }

#define PNG_ROW(name, ...)                                                                         \
    Row {                                                                                          \
        "png" #name, [] { return EncodePng(kColourful, PngSpec{__VA_ARGS__}); }                    \
    }
#define TIFF_ROW(name, ...)                                                                        \
    Row {                                                                                          \
        "tiff" #name, [] { return EncodeTiff(kColourful, TiffSpec{__VA_ARGS__}); }                 \
    }
#define GIF_ROW(name, ...)                                                                         \
    Row {                                                                                          \
        "gif" #name, [] { return EncodeGif(kColourful, GifSpec{__VA_ARGS__}); }                    \
    }

const Row kWhole[] = {
    JPEG_ROW(Baseline444),
    JPEG_ROW(Baseline420),
    JPEG_ROW(Baseline422),
    JPEG_ROW(Progressive420),
    JPEG_ROW(Grayscale),
    JPEG_ROW(GrayscaleProgressive),
    JPEG_ROW(Cmyk),
    JPEG_ROW(Ycck),
    JPEG_ROW(RestartMarkers),
    JPEG_ROW(Arithmetic),
    {"bitmap24", [] { return kBitmap24; }},
    {"bitmap8", [] { return kBitmap8; }},
    {"bitmap1", [] { return bitmapOf(Colourful(7, 5).convertToFormat(QImage::Format_Mono)); }},
    {"bitmapRunLength8", [] { return runLength(kFull); }},
    {"bitmapV4", [] { return widened(kBitmap24, 108, false); }},
    {"bitmapV5Bitfields",
     [] {
         return widened(bitmapOf(kColourful.convertToFormat(QImage::Format_ARGB32)), 124, true);
     }},
    PNG_ROW(Grey1, PngLayout::Grey1),
    PNG_ROW(Grey4Key, PngLayout::Grey4, false, true),
    PNG_ROW(Grey8, PngLayout::Grey8),
    PNG_ROW(Grey8Key, PngLayout::Grey8, false, true),
    PNG_ROW(Grey16, PngLayout::Grey16),
    PNG_ROW(Grey16Key, PngLayout::Grey16, false, true),
    PNG_ROW(GreyAlpha8, PngLayout::GreyAlpha8),
    PNG_ROW(Palette4, PngLayout::Palette4),
    PNG_ROW(Palette8Alphas, PngLayout::Palette8, false, true),
    PNG_ROW(Rgb8, PngLayout::Rgb8),
    PNG_ROW(Rgb8Key, PngLayout::Rgb8, false, true),
    PNG_ROW(Rgb16, PngLayout::Rgb16),
    PNG_ROW(Rgba8, PngLayout::Rgba8),
    PNG_ROW(Rgba16, PngLayout::Rgba16),
    PNG_ROW(InterlacedRgba8, PngLayout::Rgba8, true),
    PNG_ROW(InterlacedPalette4, PngLayout::Palette4, true),
    PNG_ROW(InterlacedGrey16, PngLayout::Grey16, true),
    TIFF_ROW(Rgb8, TiffLayout::Rgb8),
    TIFF_ROW(Rgb8Lzw, TiffLayout::Rgb8, 5),
    TIFF_ROW(Rgb8DeflateOneStrip, TiffLayout::Rgb8, 8, 1000),
    TIFF_ROW(Rgb8Tiled, TiffLayout::Rgb8, 1, 8, true),
    TIFF_ROW(RgbaAssociated, TiffLayout::RgbaAssociated),
    TIFF_ROW(RgbaUnassociated, TiffLayout::RgbaUnassociated),
    TIFF_ROW(Grey8, TiffLayout::Grey8),
    TIFF_ROW(Palette8, TiffLayout::Palette8),
    TIFF_ROW(Mono, TiffLayout::Mono),
    TIFF_ROW(Rgb16, TiffLayout::Rgb16),
    TIFF_ROW(YCbCrJpeg, TiffLayout::YCbCrJpeg),
    GIF_ROW(Plain),
    GIF_ROW(Interlaced, true),
    GIF_ROW(TransparentOnScreen, false, 9, false, 3),
    GIF_ROW(LocalPaletteOnScreen, false, -1, true, 2),
    GIF_ROW(TwoImages, false, -1, false, 0, true),
    {"webpLossless", [] { return EncodeWebp(kColourful, true, false); }},
    {"webpLosslessAlpha", [] { return EncodeWebp(kColourful, true, true); }},
    {"webpLossy", [] { return EncodeWebp(kColourful, false, false); }},
    {"webpLossyAlpha", [] { return EncodeWebp(kColourful, false, true); }},
};

const Row kDamaged[] = {
    {"bitmapHeader", [] { return kBitmap24.left(30); }},
    {"bitmapPalette", [] { return kBitmap8.left(54 + 40); }},
    {"bitmapFirstRow", [] { return kBitmap24.left(54 + 5); }},
    {"bitmapMidRow", [] { return kBitmap24.left(54 + 24 * 2 + 12); }},
    {"bitmapLastRow", [] { return kBitmap24.chopped(1); }},
    {"bitmapRunLength", [] { return runLength(kSkips.left(5)); }},
    {"jpegHeader", [] { return kJpeg.left(120); }},
    {"jpegEntropyData", [] { return kJpeg.left(kJpeg.size() * 2 / 3); }},
    {"jpegEndMarker", [] { return kJpeg.chopped(2); }},
    {"jpegMarkerInEntropyData", [] { return replaced(kJpeg, kJpeg.size() - 300, "\xFF\xD0"); }},
    {"jpegRestartOutOfSequence",
     [] { return replaced(kRestarts, kRestarts.indexOf("\xFF\xD1"), "\xFF\xD5"); }},
    {"progressiveMidScan", [] { return kProgressive.left(kProgressive.size() / 2); }},
};

// A file of each format cut to a share of its length, and what the reader
// says of it.
struct CutRow {
    const char* name;
    std::function<QByteArray()> bytes;
    int percent; // of the file kept
    ImageReader::Cause cause;
};

using Cause = ImageReader::Cause;

const CutRow kCuts[] = {
    {"png50", [] { return EncodePng(kColourful, {}); }, 50, Cause::Damaged},
    {"png90", [] { return EncodePng(kColourful, {}); }, 90, Cause::Damaged},
    {"pngInterlaced90",
     [] {
         return EncodePng(kColourful, {PngLayout::Rgb8, true});
     },
     90, Cause::Damaged},
    {"tiff50", [] { return EncodeTiff(kColourful, {}); }, 50, Cause::Damaged},
    {"tiff90", [] { return EncodeTiff(kColourful, {}); }, 90, Cause::Damaged},
    {"gif50", [] { return EncodeGif(kColourful, {}); }, 50, Cause::Damaged},
    {"gif90", [] { return EncodeGif(kColourful, {}); }, 90, Cause::Damaged},
    {"gifInterlaced90", [] { return EncodeGif(kColourful, {true}); }, 90, Cause::Damaged},
    {"webp50", [] { return EncodeWebp(kColourful, true, false); }, 50, Cause::Damaged},
    {"webp90", [] { return EncodeWebp(kColourful, false, true); }, 90, Cause::Damaged},
    {"jpeg50", [] { return kJpeg; }, 50, Cause::Damaged},
    {"bitmap90", [] { return kBitmap24; }, 90, Cause::Damaged},
    {"text", [] { return QByteArray("GIF is a format; this is text\n"); }, 100, Cause::NotAPicture},
    {"empty", [] { return QByteArray(); }, 100, Cause::NotAPicture},
};

std::string cutName(const ::testing::TestParamInfo<CutRow>& info) {
    return info.param.name;
}

class WholeFile : public ::testing::TestWithParam<Row> {};
class CutFile : public ::testing::TestWithParam<CutRow> {};
class DamagedFile : public ::testing::TestWithParam<Row> {};
class EveryOrientation : public ::testing::TestWithParam<int> {};

} // namespace

// Whole files open as Qt's own reader opened them, pixel for pixel.
TEST_P(WholeFile, decodesToQtsPixels) {
    const QString path = file("whole", GetParam().bytes());
    EXPECT_TRUE(SamePixels(readWithUs(path), readWithQt(path)));
}

INSTANTIATE_TEST_SUITE_P(kinds, WholeFile, ::testing::ValuesIn(kWhole), rowName);

// A cut bitmap once opened with leftover memory for its missing rows, a cut
// JPEG with a grey lower half.
TEST_P(DamagedFile, givesNoPicture) {
    Reader reader(file("damaged", GetParam().bytes()));
    QImage picture;
    EXPECT_FALSE(reader.read(&picture));
    EXPECT_EQ(reader.failure(), ImageReader::Failure::Unreadable);
    EXPECT_TRUE(picture.isNull());
}

INSTANTIATE_TEST_SUITE_P(cuts, DamagedFile, ::testing::ValuesIn(kDamaged), rowName);

// Qt made up a cut GIF's missing rows and called a cut PNG or TIFF no picture.
TEST_P(CutFile, isRefusedForItsCause) {
    const QByteArray whole = GetParam().bytes();
    Reader reader(file("cut", whole.left(whole.size() * GetParam().percent / 100)));
    QImage picture;
    EXPECT_FALSE(reader.read(&picture));
    EXPECT_EQ(reader.cause(), GetParam().cause) << reader.errorString().toStdString();
    EXPECT_TRUE(picture.isNull());
}

INSTANTIATE_TEST_SUITE_P(formats, CutFile, ::testing::ValuesIn(kCuts), cutName);

// Qt left the pixels that run-length rows skip as it found the memory.
TEST(ImageReader, pixelsSkippedByRunLengthRowsTakeTheFirstColour) {
    const QImage picture = readWithUs(file("skips.bmp", runLength(kSkips)));
    ASSERT_EQ(picture.size(), QSize(6, 3));
    const char* rows[] = {"000000", "550000", "999999"}; // top row first
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(qRed(picture.pixel(x, y)), rows[y][x] - '0') << x << "," << y;
}

QByteArray bytesOf(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// Qt read a white 16-bit 5-6-5 bitmap as 248, 252, 248.
TEST(ImageReader, white565BitmapStaysWhite) {
    QImage white(9, 7, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_TRUE(SamePixels(readWithUs(file("white.bmp", bytesOf(Bitmap565(9, 7, 0xFFFF)))), white));
}

// A bitmap's read stops when it is cancelled, as a JPEG's does, and so do
// the reads of the formats with libraries of their own.
TEST(ImageReader, cancelledBitmapGivesNoPicture) {
    const std::atomic<bool> cancel{true};
    for (const QByteArray& bitmap :
         {kBitmap24, runLength(kFull), EncodePng(kColourful, {}), EncodeTiff(kColourful, {}),
          EncodeGif(kColourful, {}), EncodeWebp(kColourful, true, false)}) {
        Reader reader(file("cancelled.bmp", bitmap));
        reader.setCancelFlag(&cancel);
        QImage picture;
        EXPECT_FALSE(reader.read(&picture));
        EXPECT_EQ(reader.failure(), ImageReader::Failure::Cancelled);
        EXPECT_TRUE(picture.isNull());
    }
}

// A bitmap wider than a picture can be, and a run-length one whose few bytes
// describe more pixels than memory holds, are refused for their size.
TEST(ImageReader, bitmapsTooLargeForAPictureAreRefusedForTheirSize) {
    QByteArray huge = runLength(kSkips);
    qToLittleEndian<qint32>(60000, huge.data() + 18);
    qToLittleEndian<qint32>(60000, huge.data() + 22);
    PretendMemoryLeft(folder().filePath("memory"), 1'000'000'000);
    for (const QByteArray& bitmap : {LyingBitmap(1 << 29, 1), huge}) {
        Reader reader(file("huge.bmp", bitmap));
        QImage picture;
        EXPECT_FALSE(reader.read(&picture));
        EXPECT_EQ(reader.failure(), ImageReader::Failure::TooLarge);
    }
    StopPretendingMemory();
}

// A phone photo stored sideways was shown, enlarged and saved sideways.
TEST_P(EveryOrientation, standsUprightAsQtTurnsIt) {
    const int orientation = GetParam();
    const QByteArray plain = EncodeJpeg(Colourful(13, 7), JpegKind::Baseline420);
    for (const bool bigEndian : {false, true}) {
        const QByteArray exif = ExifOrientationBlock(orientation, bigEndian);
        const QString path = file("turned.jpg", WithSegment(plain, 0xE1, exif));
        Reader reader(path);
        EXPECT_EQ(reader.orientation(), orientation);
        EXPECT_EQ(reader.size(), orientation >= 5 ? QSize(7, 13) : QSize(13, 7));
        QImage upright;
        ASSERT_TRUE(reader.read(&upright));
        EXPECT_TRUE(SamePixels(upright, readWithQt(path, true)));
        // A reduced decode stands upright too.
        EXPECT_EQ(readWithUs(path, QSize(1, 1)).size(),
                  qSize(uprightSize(Size(2, 1), orientation)));
    }
}

INSTANTIATE_TEST_SUITE_P(tags, EveryOrientation, ::testing::Range(1, 9),
                         ::testing::PrintToStringParamName());

class FormatOrientation : public ::testing::TestWithParam<int> {};

// TIFF's Orientation tag, PNG's eXIf and WebP's EXIF chunk stand the picture
// upright as Qt turns a TIFF by its tag.
TEST_P(FormatOrientation, standsUprightAsQtTurnsATiff) {
    const int orientation = GetParam();
    const QImage picture = Colourful(13, 7);
    const QString tiff = file("turned.tif", EncodeTiff(picture, {.orientation = orientation}));
    const QImage upright = readWithQt(tiff, true);
    ASSERT_EQ(upright.size(), orientation >= 5 ? QSize(7, 13) : QSize(13, 7));
    const QByteArray exif = ExifOrientationBlock(orientation, orientation % 2 == 0).mid(6);
    const std::pair<const char*, QByteArray> files[] = {
        {"tiff", EncodeTiff(picture, {.orientation = orientation})},
        {"png", EncodePng(picture, {.exif = exif})},
        {"pngInterlaced", EncodePng(picture, {.interlaced = true, .exif = exif})},
        {"webp", EncodeWebp(picture, true, false, exif)},
    };
    for (const auto& [name, bytes] : files) {
        Reader reader(file("turned", bytes));
        EXPECT_EQ(reader.orientation(), orientation) << name;
        EXPECT_EQ(reader.size(), upright.size()) << name;
        QImage read;
        ASSERT_TRUE(reader.read(&read)) << name << ": " << reader.errorString().toStdString();
        EXPECT_TRUE(SamePixels(read, upright)) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(tags, FormatOrientation, ::testing::Range(1, 9),
                         ::testing::PrintToStringParamName());

// A name that is not UTF-8 could be listed but not opened.
TEST(ImageReader, opensAFileByItsNameAsBytes) {
    const QByteArray raw = QFile::encodeName(folder().path()) + "/caf\xE9\xFF.jpg";
    ASSERT_EQ(std::rename(QFile::encodeName(file("x.jpg", kJpeg)).constData(), raw.constData()), 0);
    EXPECT_EQ(readWithUs(nameFromBytes(raw)).size(), QSize(64, 48));
    ::unlink(raw.constData()); // QTemporaryDir takes names as text: it cannot remove it
}

namespace {

QByteArray iccChunk(int sequence, int count, const QByteArray& data) {
    return QByteArray("ICC_PROFILE\0", 12) + char(sequence) + char(count) + data;
}

} // namespace

TEST(ImageReader, keepsTheExifAndTheIccProfileAsBytes) {
    const QByteArray exif = ExifOrientationBlock(6);
    QByteArray profile(70000, '\0'); // more than one marker holds
    for (int i = 0; i < profile.size(); ++i)
        profile[i] = char(i * 7);
    const QByteArray one = iccChunk(1, 2, profile.left(65000)),
                     two = iccChunk(2, 2, profile.mid(65000));
    // Stored out of order, the chunks come back in their sequence order.
    Reader reader(file(
        "m.jpg", WithSegment(WithSegment(WithSegment(kJpeg, 0xE2, one), 0xE2, two), 0xE1, exif)));
    EXPECT_EQ(reader.exif(), exif);
    EXPECT_EQ(reader.iccProfile(), profile);
    // Chunks that make no profile give none; the picture still opens.
    for (const QByteArray& broken :
         {WithSegment(kJpeg, 0xE2, two), WithSegment(WithSegment(kJpeg, 0xE2, one), 0xE2, one)}) {
        Reader partial(file("p.jpg", broken));
        EXPECT_TRUE(partial.iccProfile().isEmpty());
        QImage picture;
        EXPECT_TRUE(partial.read(&picture));
    }
}

namespace {

const QByteArray kXmpId("http://ns.adobe.com/xap/1.0/", 29);
const QByteArray kExtendedId("http://ns.adobe.com/xmp/extension/", 35);
const QByteArray kPhotoshopId("Photoshop 3.0", 14);

// The file with these segments after its start, in this order.
QByteArray withSegments(QByteArray jpeg, const std::vector<std::pair<int, QByteArray>>& segments) {
    for (auto s = segments.rbegin(); s != segments.rend(); ++s)
        jpeg = WithSegment(jpeg, s->first, s->second);
    return jpeg;
}

// A payload of `bytes` bytes that starts with id, the rest numbered by n.
QByteArray payload(const QByteArray& id, int bytes, int n = 0) {
    QByteArray p = id;
    while (p.size() < bytes)
        p += char(n + p.size() % 251);
    return p.left(std::max<qsizetype>(bytes, id.size()));
}

} // namespace

// The first XMP segment, every extended XMP and every Photoshop segment are
// kept as they are, in their order; other APP1, APP2 and APP13 segments are
// not kept. What is kept counts in the memory a read needs.
TEST(ImageReader, keepsXmpExtendedXmpAndIptcByteForByteAndNothingElse) {
    const QByteArray exif = ExifOrientationBlock(3), xmp = payload(kXmpId, 3000),
                     ext1 = payload(kExtendedId, 65533, 1), ext2 = payload(kExtendedId, 900, 2),
                     iptc1 = payload(kPhotoshopId, 2000, 3), iptc2 = payload(kPhotoshopId, 70, 4);
    const QString path =
        file("x.jpg", withSegments(kJpeg, {{0xE1, xmp},
                                           {0xE1, payload(kXmpId, 500, 9)},
                                           {0xE1, ext1},
                                           {0xED, iptc1},
                                           {0xE1, payload("other\0", 40000)},
                                           {0xED, payload("Adobe_CM", 300)},
                                           {0xE2, payload(QByteArray("FPXR\0", 5), 60000)},
                                           {0xE1, ext2},
                                           {0xED, iptc2},
                                           {0xE1, exif}}));
    const Reader reader(path);
    const velmora::SourceMetadata kept = reader.metadata();
    EXPECT_EQ(kept.exif, exif.toStdString());
    EXPECT_EQ(kept.xmp, xmp.toStdString());
    EXPECT_EQ(kept.extendedXmp, (std::vector<std::string>{ext1.toStdString(), ext2.toStdString()}));
    EXPECT_EQ(kept.iptc, (std::vector<std::string>{iptc1.toStdString(), iptc2.toStdString()}));
    EXPECT_TRUE(kept.iccProfile.empty());
    const Reader plain(file("plain.jpg", kJpeg));
    EXPECT_EQ(reader.bytesNeeded() - plain.bytesNeeded(),
              exif.size() + xmp.size() + ext1.size() + ext2.size() + iptc1.size() + iptc2.size());
    QImage picture;
    EXPECT_TRUE(Reader(path).read(&picture));
}

// CapCase lies outside the unnamed namespace, so its printer is made visible here.
using velmora_test::PrintTo;

struct CapCase {
    const char* name;
    int marker;
    const QByteArray& id;
    int segments, bytes;
    bool kept;
};

class MetadataCap : public ::testing::TestWithParam<CapCase> {};

// Extended XMP and IPTC are kept up to 4 MiB each in all; a kind that grows
// over that is left out whole (a part of it would be damaged data), the
// other kind and the picture not.
TEST_P(MetadataCap, leavesOutAKindThatGrowsOverItsCapWhole) {
    const CapCase& c = GetParam();
    std::vector<std::pair<int, QByteArray>> segments;
    for (int i = 0; i < c.segments; ++i)
        segments.emplace_back(c.marker, payload(c.id, c.bytes, i));
    const bool xmpKind = c.marker == 0xE1;
    const QByteArray other = payload(xmpKind ? kPhotoshopId : kExtendedId, 100);
    segments.emplace_back(xmpKind ? 0xED : 0xE1, other);
    const QString path = file("cap.jpg", withSegments(kJpeg, segments));
    const velmora::SourceMetadata kept = Reader(path).metadata();
    const std::vector<std::string>& capped = xmpKind ? kept.extendedXmp : kept.iptc;
    EXPECT_EQ(capped.size(), c.kept ? std::size_t(c.segments) : 0u);
    EXPECT_EQ(xmpKind ? kept.iptc : kept.extendedXmp,
              std::vector<std::string>{other.toStdString()});
    QImage picture;
    EXPECT_TRUE(Reader(path).read(&picture));
}

INSTANTIATE_TEST_SUITE_P(
    kinds, MetadataCap,
    ::testing::Values(CapCase{"extendedXmpAtTheCap", 0xE1, kExtendedId, 65, 64527, true},
                      CapCase{"extendedXmpOverTheCap", 0xE1, kExtendedId, 65, 64528, false},
                      CapCase{"iptcAtTheCap", 0xED, kPhotoshopId, 65, 64527, true},
                      CapCase{"iptcOverTheCap", 0xED, kPhotoshopId, 65, 64528, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImageReader, reducedDecodeCoversTheSizeAskedForAndOnlyItNeedsMemory) {
    const QString path =
        file("big.jpg", EncodeJpeg(Colourful(2000, 1500), JpegKind::Progressive420));
    EXPECT_EQ(readWithUs(path, QSize(100, 75)).size(), QSize(250, 188));  // 1/8
    EXPECT_EQ(readWithUs(path, QSize(100, 190)).size(), QSize(500, 375)); // 1/8 is 188 high
    EXPECT_EQ(readWithUs(path, QSize(1200, 100)).size(), QSize(2000, 1500));
    PretendMemoryLeft(folder().filePath("memory"), 30'000'000); // 15 MB; 12 MB + 9 MB whole
    EXPECT_TRUE(readWithUs(path).isNull());
    EXPECT_FALSE(readWithUs(path, QSize(100, 75)).isNull());
    // A sideways picture is checked against memory, and named, at its upright size.
    Reader huge(
        file("huge.jpg", WithSegment(LyingJpeg(60000, 40000), 0xE1, ExifOrientationBlock(8))));
    QImage picture;
    EXPECT_FALSE(huge.read(&picture));
    StopPretendingMemory();
    EXPECT_EQ(huge.failure(), ImageReader::Failure::TooLarge);
    EXPECT_TRUE(huge.errorString().contains("40000 x 60000"));
}

namespace {

// A memory figure pretended by a test is the real one again afterwards.
class ImageReaderTest : public ::testing::Test {
  protected:
    void TearDown() override { StopPretendingMemory(); }
};

} // namespace

// A 4 KB file claiming 65000 x 65000 pixels (17 GB decoded) is refused from
// its header when memory is short, as in an 8 GB control group.
TEST_F(ImageReaderTest, lyingHeadersAreRefusedBeforeDecoding) {
    PretendMemoryLeft(folder().filePath("memory"), 8LL << 30);
    Reader jpeg(file("huge.jpg", LyingJpeg(65000, 65000)));
    EXPECT_EQ(jpeg.size(), QSize(65000, 65000));
    QImage picture;
    EXPECT_FALSE(jpeg.read(&picture));
    EXPECT_EQ(jpeg.failure(), ImageReader::Failure::TooLarge);
    // The bitmap reader refuses a header that claims more than the file holds.
    EXPECT_FALSE(Reader(file("huge.bmp", LyingBitmap(65000, 65000))).read(&picture));
    EXPECT_TRUE(picture.isNull());
}

TEST_F(ImageReaderTest, thePictureAndWhatTheCallerHoldsMustFitAndTheQtLimitIsRestored) {
    QImage image(1000, 1000, QImage::Format_RGB32); // 4 MB decoded
    image.fill(qRgb(1, 2, 3));
    const QString path = folder().filePath("a.bmp");
    ASSERT_TRUE(image.save(path, "BMP"));
    const int limitBefore = QImageReader::allocationLimit();
    QImage picture;
    PretendMemoryLeft(folder().filePath("memory"), 100'000'000); // half of it may be taken
    EXPECT_FALSE(Reader(path).read(&picture, 47'000'000));
    ASSERT_TRUE(Reader(path).read(&picture, 45'000'000));
    EXPECT_EQ(picture, image);
    EXPECT_EQ(QImageReader::allocationLimit(), limitBefore);
}

namespace {

// Bytes this process has read from files so far (/proc/self/io's rchar).
long long bytesReadSoFar() {
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

} // namespace

// Whatever follows a picture's end in its file (here 2 GB, sparse) is neither
// read nor needed: a JPEG stops at its end, a bitmap after its last row.
TEST(ImageReader, readingStopsAtThePicturesEnd) {
    const QImage picture = velmora::testkit::Colourful(64, 48);
    const std::pair<const char*, QByteArray> files[] = {
        {"tail.jpg",
         velmora::testkit::EncodeJpeg(picture, velmora::testkit::JpegKind::Baseline444)},
        {"tail.bmp", bytesOf(Bitmap565(64, 48, 0x1234))}};
    for (const auto& [name, bytes] : files) {
        const QString path = file(name, bytes);
        ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), bytes.size() + (2LL << 30)), 0);
        const long long before = bytesReadSoFar();
        ASSERT_GE(before, 0);
        QImage read = readWithUs(path);
        EXPECT_EQ(read.size(), QSize(64, 48)) << name;
        EXPECT_LT(bytesReadSoFar() - before, 4 << 20) << name;
        QFile::remove(path);
    }
}
