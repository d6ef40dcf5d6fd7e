#include "platform/imagereader.h"
#include "tests/support/jpegfiles.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTransform>
#include <gtest/gtest.h>

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
