#include "platform/filenames.h"
#include "platform/imagereader.h"
#include "platform/orientation.h"
#include "tests/support/badimages.h"
#include "tests/support/bitmapheaders.h"
#include "tests/support/fakememory.h"
#include "tests/support/fifowatch.h"
#include "tests/support/jpegfiles.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTransform>
#include <QtEndian>
#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>

using namespace velmora::platform;
using namespace velmora::testkit;

namespace {

class ReaderFiles : public ::testing::Test {
  protected:
    QString file(const QString& name, const QByteArray& data) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        return f.fileName();
    }
    // The picture the reader gives, or a null image.
    static QImage readWithUs(const QString& path) {
        QImage picture;
        ImageReader reader(path);
        reader.read(&picture);
        return picture;
    }
    static QImage readWithQt(const QString& path, bool upright = false) {
        QImageReader reader(path);
        reader.setAutoTransform(upright);
        return reader.read().convertToFormat(QImage::Format_RGB32);
    }
    QTemporaryDir dir;
};

// Every pixel, alpha included: a difference anywhere names its place.
::testing::AssertionResult samePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format())
        return ::testing::AssertionFailure() << "sizes or formats differ";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return ::testing::AssertionFailure() << "at " << x << "," << y << ": " << std::hex
                                                     << a.pixel(x, y) << " vs " << b.pixel(x, y);
    return ::testing::AssertionSuccess();
}

struct KindCase {
    const char* name;
    JpegKind kind;
};

void PrintTo(const KindCase& c, std::ostream* os) {
    *os << c.name;
}

class EveryJpegKind : public ReaderFiles, public ::testing::WithParamInterface<KindCase> {};

} // namespace

// Whole files open as Qt's own reader opened them, pixel for pixel.
TEST_P(EveryJpegKind, decodesToQtsPixels) {
    const QString path = file("a.jpg", EncodeJpeg(Colourful(67, 45), GetParam().kind));
    const QImage ours = readWithUs(path);
    EXPECT_EQ(ours.format(), QImage::Format_RGB32);
    EXPECT_TRUE(samePixels(ours, readWithQt(path)));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EveryJpegKind,
    ::testing::Values(KindCase{"baseline444", JpegKind::Baseline444},
                      KindCase{"baseline420", JpegKind::Baseline420},
                      KindCase{"baseline422", JpegKind::Baseline422},
                      KindCase{"progressive420", JpegKind::Progressive420},
                      KindCase{"grayscale", JpegKind::Grayscale},
                      KindCase{"grayscaleProgressive", JpegKind::GrayscaleProgressive},
                      KindCase{"cmyk", JpegKind::Cmyk}, KindCase{"ycck", JpegKind::Ycck},
                      KindCase{"restartMarkers", JpegKind::RestartMarkers},
                      KindCase{"arithmetic", JpegKind::Arithmetic}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

class EveryOrientation : public ReaderFiles, public ::testing::WithParamInterface<int> {};

// The stored picture turned by hand with Qt's own mirror and rotation.
QImage turnedByHand(const QImage& stored, int orientation) {
    const QImage quarter = stored.transformed(QTransform().rotate(90));
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.mirrored(true, true);
    case 4:
        return stored.mirrored(false, true);
    case 5:
        return quarter.mirrored(true, false);
    case 6:
        return quarter;
    case 7:
        return quarter.mirrored(false, true);
    case 8:
        return stored.transformed(QTransform().rotate(270));
    default:
        return stored;
    }
}

} // namespace

TEST_P(EveryOrientation, standsUprightAsTheSamePictureTurnedByHand) {
    const int orientation = GetParam();
    const QByteArray plain = EncodeJpeg(Colourful(13, 7), JpegKind::Baseline420);
    const QImage stored = readWithUs(file("plain.jpg", plain));
    for (const bool bigEndian : {false, true}) {
        const QString path = file(
            "turned.jpg", WithSegment(plain, 0xE1, ExifOrientationBlock(orientation, bigEndian)));
        ImageReader reader(path);
        EXPECT_EQ(reader.orientation(), orientation);
        EXPECT_EQ(reader.size(), orientation >= 5 ? QSize(7, 13) : QSize(13, 7));
        QImage upright;
        ASSERT_TRUE(reader.read(&upright));
        EXPECT_TRUE(samePixels(
            upright, turnedByHand(stored, orientation).convertToFormat(QImage::Format_RGB32)));
        EXPECT_TRUE(samePixels(upright, readWithQt(path, true)));
    }
}

INSTANTIATE_TEST_SUITE_P(Tags, EveryOrientation, ::testing::Range(1, 9));

namespace {

QByteArray bitmapOf(const QImage& picture) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "BMP");
    return data;
}

QByteArray widened(const QByteArray& bmp, std::uint32_t infoSize, bool bitfields) {
    const std::vector<std::uint8_t> bytes(bmp.begin(), bmp.end());
    const std::vector<std::uint8_t> wide = WidenedBitmap(bytes, infoSize, bitfields);
    return QByteArray(reinterpret_cast<const char*>(wide.data()), qsizetype(wide.size()));
}

// An 8-bit run-length bitmap of 6 x 3 with a grey ramp for its palette.
QByteArray runLengthBitmap(const QByteArray& rows) {
    QByteArray file(14 + 40 + 256 * 4, '\0');
    auto* p = reinterpret_cast<uchar*>(file.data());
    file[0] = 'B';
    file[1] = 'M';
    qToLittleEndian<quint32>(quint32(file.size() + rows.size()), p + 2);
    qToLittleEndian<quint32>(quint32(file.size()), p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(6, p + 18);
    qToLittleEndian<qint32>(3, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(8, p + 28);
    qToLittleEndian<quint32>(1, p + 30);
    for (int i = 0; i < 256; ++i)
        p[54 + 4 * i] = p[55 + 4 * i] = p[56 + 4 * i] = uchar(i);
    return file + rows;
}

// Rows bottom up: 6 of colour 9; 2 of 5, then a jump of 4 to the right
// (skipped pixels); end of picture before the top row (skipped too).
const QByteArray kRunLengthRows("\x06\x09\x00\x00\x02\x05\x00\x02\x04\x00\x00\x00\x00\x01", 14);
// Every pixel given: three rows of 6, then the end of the picture.
const QByteArray kRunLengthFull("\x06\x01\x00\x00\x03\x02\x03\x03\x00\x00\x06\x04\x00\x01", 14);

struct Cut {
    const char* name;
    std::function<QByteArray()> bytes;
};

void PrintTo(const Cut& c, std::ostream* os) {
    *os << c.name;
}

const QByteArray kBitmap24 = bitmapOf(Colourful(7, 5)); // rows of 24 bytes from 54
const QByteArray kBitmap8 = bitmapOf(Colourful(7, 5).convertToFormat(QImage::Format_Indexed8));
const QByteArray kJpeg = EncodeJpeg(Colourful(64, 48), JpegKind::Baseline420);
const QByteArray kProgressive = EncodeJpeg(Colourful(64, 48), JpegKind::Progressive420);
const QByteArray kRestarts = EncodeJpeg(Colourful(64, 48), JpegKind::RestartMarkers);

QByteArray replaced(QByteArray data, qsizetype at, const QByteArray& with) {
    return data.replace(at, with.size(), with);
}

// Where the entropy data of the first scan starts.
qsizetype scanData(const QByteArray& jpeg) {
    const qsizetype sos = jpeg.indexOf("\xFF\xDA");
    return sos + 2 + ((uchar(jpeg[sos + 2]) << 8) | uchar(jpeg[sos + 3]));
}

const Cut kDamaged[] = {
    {"bitmapHeader", [] { return kBitmap24.left(30); }},
    {"bitmapPalette", [] { return kBitmap8.left(54 + 40); }},
    {"bitmapFirstRow", [] { return kBitmap24.left(54 + 5); }},
    {"bitmapMidRow", [] { return kBitmap24.left(54 + 24 * 2 + 12); }},
    {"bitmapLastRow", [] { return kBitmap24.left(kBitmap24.size() - 1); }},
    {"bitmapRunLengthCut", [] { return runLengthBitmap(kRunLengthRows.left(5)); }},
    {"jpegHeader", [] { return kJpeg.left(120); }},
    {"jpegEntropyData", [] { return kJpeg.left(kJpeg.size() * 2 / 3); }},
    {"jpegEndMarkerMissing", [] { return kJpeg.left(kJpeg.size() - 2); }},
    {"jpegMarkerInEntropyData",
     [] { return replaced(kJpeg, (scanData(kJpeg) + kJpeg.size()) / 2, "\xFF\xD0"); }},
    {"jpegRestartOutOfSequence",
     [] { return replaced(kRestarts, kRestarts.indexOf("\xFF\xD1"), "\xFF\xD5"); }},
    {"progressiveMidScan", [] { return kProgressive.left(kProgressive.size() / 2); }},
};

class DamagedFile : public ReaderFiles, public ::testing::WithParamInterface<Cut> {};

} // namespace

TEST_P(DamagedFile, givesNoPicture) {
    ImageReader reader(file("damaged", GetParam().bytes()));
    QImage picture;
    EXPECT_FALSE(reader.read(&picture));
    EXPECT_EQ(reader.failure(), ImageReader::Failure::Unreadable);
    EXPECT_FALSE(reader.errorString().isEmpty());
    EXPECT_TRUE(picture.isNull());
}

INSTANTIATE_TEST_SUITE_P(Cuts, DamagedFile, ::testing::ValuesIn(kDamaged),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

const Cut kWholeBitmaps[] = {
    {"bits24", [] { return kBitmap24; }},
    {"bits8", [] { return kBitmap8; }},
    {"bits1", [] { return bitmapOf(Colourful(7, 5).convertToFormat(QImage::Format_Mono)); }},
    {"runLength8", [] { return runLengthBitmap(kRunLengthFull); }},
    {"v4Bits24", [] { return widened(kBitmap24, 108, false); }},
    {"v5Bits32Bitfields",
     [] {
         return widened(bitmapOf(Colourful(7, 5).convertToFormat(QImage::Format_ARGB32)), 124,
                        true);
     }},
};

class WholeBitmap : public ReaderFiles, public ::testing::WithParamInterface<Cut> {};

} // namespace

TEST_P(WholeBitmap, decodesToQtsPixels) {
    const QString path = file("whole.bmp", GetParam().bytes());
    EXPECT_TRUE(samePixels(readWithUs(path), readWithQt(path)));
}

INSTANTIATE_TEST_SUITE_P(Kinds, WholeBitmap, ::testing::ValuesIn(kWholeBitmaps),
                         [](const auto& info) { return std::string(info.param.name); });

// Qt leaves the pixels that run-length rows skip as it found the memory.
TEST_F(ReaderFiles, pixelsSkippedByRunLengthRowsTakeTheFirstColour) {
    const QImage picture = readWithUs(file("skips.bmp", runLengthBitmap(kRunLengthRows)));
    ASSERT_EQ(picture.size(), QSize(6, 3));
    const char* expected[] = {"000000", "550000", "999999"}; // top row first
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(qRed(picture.pixel(x, y)), (expected[y][x] - '0') * 1) << x << "," << y;
}

TEST_F(ReaderFiles, todaysBitmapHeadersReadLikeTheir40ByteTwins) {
    const QImage twin = readWithUs(file("twin.bmp", kBitmap24));
    for (const std::uint32_t size : {108u, 124u})
        EXPECT_TRUE(
            samePixels(readWithUs(file("wide.bmp", widened(kBitmap24, size, false))), twin));
}

namespace {

struct Special {
    const char* name;
    std::function<QString(const QString& folder)> make; // the path to open
};

void PrintTo(const Special& s, std::ostream* os) {
    *os << s.name;
}

QString linkTo(const QString& target, const QString& folder) {
    const QString link = folder + "/link.jpg";
    QFile::link(target, link);
    return link;
}

const Special kSpecials[] = {
    {"fifo", [](const QString& folder) { return folder + "/fifo.jpg"; }},
    {"linkToFifo", [](const QString& folder) { return linkTo(folder + "/fifo.jpg", folder); }},
    {"devNull", [](const QString&) { return QStringLiteral("/dev/null"); }},
    {"linkToDevZero", [](const QString& folder) { return linkTo("/dev/zero", folder); }},
    {"folder", [](const QString& folder) { return folder; }},
};

class SpecialFile : public ReaderFiles, public ::testing::WithParamInterface<Special> {};

} // namespace

// A FIFO nobody writes to once froze whoever opened it.
TEST_P(SpecialFile, isRefusedAtOnceLikeAnyUnreadableFile) {
    const FifoWatch fifo(dir.filePath("fifo.jpg"));
    ASSERT_TRUE(fifo.made());
    ImageReader reader(GetParam().make(dir.path()));
    EXPECT_FALSE(reader.size().isValid());
    QImage picture;
    EXPECT_FALSE(reader.read(&picture));
    EXPECT_EQ(reader.failure(), ImageReader::Failure::Unreadable);
    EXPECT_FALSE(fifo.someoneWaited());
}

INSTANTIATE_TEST_SUITE_P(Kinds, SpecialFile, ::testing::ValuesIn(kSpecials),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

struct NameCase {
    const char* name;
    QByteArray bytes;
    bool valid; // valid UTF-8: the text is Qt's reading of it
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class FileNameBytes : public ::testing::TestWithParam<NameCase> {};

} // namespace

TEST_P(FileNameBytes, makeTheRoundTripExactly) {
    const NameCase& c = GetParam();
    const QString name = NameFromBytes(c.bytes);
    EXPECT_EQ(NameToBytes(name), c.bytes);
    EXPECT_EQ(name == QString::fromUtf8(c.bytes), c.valid);
    const QString shown = NameForDisplay(name);
    EXPECT_EQ(shown.contains(QChar::ReplacementCharacter), !c.valid);
    EXPECT_EQ(QString::fromUtf8(shown.toUtf8()), shown); // nothing left that is not text
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileNameBytes,
    ::testing::Values(NameCase{"ascii", "photo.jpg", true},
                      NameCase{"japanese", "\xE5\x86\x99\xE7\x9C\x9F.jpg", true},
                      NameCase{"fourByteSequence", "\xF0\x9F\x93\xB7.jpg", true},
                      NameCase{"latin1Byte", "caf\xE9.jpg", false},
                      NameCase{"loneContinuation", "a\x80\xBF.bmp", false},
                      NameCase{"overlongSlash", "a\xC0\xAF.bmp", false},
                      NameCase{"encodedSurrogate", "a\xED\xA0\x80.bmp", false},
                      NameCase{"cutSequence", "a\xE5\x86.bmp", false},
                      NameCase{"beyondUnicode", "a\xF5\x80\x80\x80.bmp", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReaderFiles, fileWhoseNameIsNotUtf8Opens) {
    const QByteArray raw = QFile::encodeName(dir.path()) + "/caf\xE9\xFF.jpg";
    QFile f;
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(f.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    f.write(kJpeg);
    f.close();
    QImage picture;
    EXPECT_TRUE(ImageReader(NameFromBytes(raw)).read(&picture));
    EXPECT_EQ(picture.size(), QSize(64, 48));
}

namespace {

// An ICC profile as its APP2 chunks: "ICC_PROFILE\0", sequence number, count, data.
QByteArray iccChunk(int sequence, int count, const QByteArray& data) {
    return QByteArray("ICC_PROFILE\0", 12) + char(sequence) + char(count) + data;
}

} // namespace

TEST_F(ReaderFiles, keepsTheExifAndTheIccProfileAsBytes) {
    const QByteArray exif = ExifOrientationBlock(6);
    QByteArray large(70000, '\0'); // over one marker's 64 KB
    for (int i = 0; i < large.size(); ++i)
        large[i] = char(i * 7);
    const QByteArray first = large.left(65000), second = large.mid(65000);
    // Chunks stored out of order come back in their sequence order.
    QByteArray jpeg = WithSegment(kJpeg, 0xE2, iccChunk(1, 2, first));
    jpeg = WithSegment(jpeg, 0xE2, iccChunk(2, 2, second));
    jpeg = WithSegment(jpeg, 0xE1, exif);
    ImageReader reader(file("meta.jpg", jpeg));
    EXPECT_EQ(reader.exif(), exif);
    EXPECT_EQ(reader.iccProfile(), large);

    // Chunks that do not make one profile give none; the picture still opens.
    for (const QByteArray& broken :
         {WithSegment(kJpeg, 0xE2, iccChunk(2, 2, second)),
          WithSegment(WithSegment(kJpeg, 0xE2, iccChunk(1, 2, first)), 0xE2, iccChunk(1, 2, first)),
          WithSegment(kJpeg, 0xE2, iccChunk(0, 1, first))}) {
        ImageReader partial(file("partial.jpg", broken));
        EXPECT_TRUE(partial.iccProfile().isEmpty());
        QImage picture;
        EXPECT_TRUE(partial.read(&picture));
    }
    EXPECT_TRUE(ImageReader(file("plain.bmp", kBitmap24)).exif().isEmpty());
}

TEST_F(ReaderFiles, reducedDecodeCoversTheSizeAskedForUpright) {
    const QByteArray big = EncodeJpeg(Colourful(1000, 600), JpegKind::Progressive420);
    struct {
        QSize smallest;
        int orientation;
        QSize expected;
    } cases[] = {{QSize(100, 60), 1, QSize(125, 75)},  // 1/8
                 {QSize(100, 76), 1, QSize(250, 150)}, // 1/4: 1/8 is 75 high
                 {QSize(60, 100), 6, QSize(75, 125)},  // turned, 1/8
                 {QSize(600, 600), 1, QSize(1000, 600)},
                 {QSize(), 1, QSize(1000, 600)}};
    for (const auto& c : cases) {
        ImageReader reader(
            file("big.jpg", WithSegment(big, 0xE1, ExifOrientationBlock(c.orientation))));
        reader.reduceFor(c.smallest);
        QImage picture;
        ASSERT_TRUE(reader.read(&picture));
        EXPECT_EQ(picture.size(), c.expected);
        EXPECT_EQ(reader.size(), UprightSize(QSize(1000, 600), c.orientation));
    }
}

// A sideways picture is checked against memory, and named, at its upright size.
TEST_F(ReaderFiles, sidewaysPictureTooLargeIsNamedUpright) {
    PretendMemoryLeft(dir.filePath("memory"), 8LL << 30);
    const QByteArray lying = WithSegment(LyingJpeg(60000, 40000), 0xE1, ExifOrientationBlock(8));
    ImageReader reader(file("huge.jpg", lying));
    QImage picture;
    EXPECT_FALSE(reader.read(&picture));
    StopPretendingMemory();
    EXPECT_EQ(reader.failure(), ImageReader::Failure::TooLarge);
    EXPECT_EQ(reader.size(), QSize(40000, 60000));
    EXPECT_TRUE(reader.errorString().contains("40000 x 60000"));
}

// A preview only needs memory for what it decodes.
TEST_F(ReaderFiles, reducedDecodeNeedsMemoryForItsOwnSizeOnly) {
    const QString path = file("big.jpg", EncodeJpeg(Colourful(2000, 1500), JpegKind::Baseline420));
    PretendMemoryLeft(dir.filePath("memory"), 10'000'000); // 5 MB may be taken; 12 MB decoded
    QImage whole, reduced;
    ImageReader full(path);
    EXPECT_FALSE(full.read(&whole));
    EXPECT_EQ(full.failure(), ImageReader::Failure::TooLarge);
    ImageReader small(path);
    small.reduceFor(QSize(100, 75));
    EXPECT_TRUE(small.read(&reduced));
    StopPretendingMemory();
    EXPECT_EQ(reduced.size(), QSize(250, 188));
}
