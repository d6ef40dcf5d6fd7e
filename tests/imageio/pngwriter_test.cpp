// The PNG writer: strips compressed apart and joined give the picture back
// exactly whatever the strips' sizes, pngcheck finds nothing wrong, the
// metadata goes into its chunks, and a write that fails leaves nothing.
#include "imageio/exifedit.h"
#include "imageio/orientation.h"
#include "imageio/pngwriter.h"
#include "tests/imageio/imageio_fixture.h"
#include "tests/support/cameraexif.h"
#include "tests/support/caseprint.h"
#include "tests/support/destinations.h"
#include "tests/support/filesizelimit.h"
#include "tests/support/jpegfiles.h"
#include "tests/support/pngfiles.h"
#include "tests/support/support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace velmora;
using imageio::PngStrip;
using imageio::PngStripCompressor;
using imageio::PngWriter;

namespace {

const std::string kXmpId("http://ns.adobe.com/xap/1.0/", 29);
const std::string kPacket("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF/></x:xmpmeta>");

// Writes the picture strip by strip as the save does, each strip of
// stripRows by one of two compressors in turn (as two workers would), the row
// above each strip's first given from the picture.
bool writePng(const QImage& picture, const QString& path, int stripRows,
              const SourceMetadata& metadata = {}, std::string* error = nullptr) {
    const int w = picture.width(), h = picture.height();
    PngWriter writer;
    if (!writer.open(QFile::encodeName(path).toStdString(), w, h, metadata, error))
        return false;
    PngStripCompressor compressors[2] = {PngStripCompressor(w), PngStripCompressor(w)};
    PngStrip strip;
    const auto row = [&](int y) { return reinterpret_cast<const quint32*>(picture.scanLine(y)); };
    for (int first = 0, n = 0; first < h; first += stripRows, ++n) {
        const int count = std::min(stripRows, h - first);
        if (!compressors[n % 2].compress(first == 0 ? nullptr : row(first - 1), row(first),
                                         picture.bytesPerLine() / 4, count, first + count == h,
                                         &strip) ||
            !writer.writeStrip(strip, error))
            return false;
    }
    return writer.commit(error);
}

// Noise where the filters have little to find, smooth shading where they do.
QImage mixedPicture(int w, int h) {
    QImage picture = testkit::Colourful(w, h, 3);
    std::mt19937 rng(9);
    for (int y = 0; y < h; y += 3)
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFF));
    return picture;
}

using velmora_test::PrintTo;

struct StripCase {
    const char* name;
    int width, height, stripRows;
};

class PngRoundTrip : public ::testing::TestWithParam<StripCase> {
  protected:
    QTemporaryDir dir;
};

// The decoded file is the picture, each strip is one IDAT chunk, and pngcheck
// (which inflates the data and checks every CRC) is content.
TEST_P(PngRoundTrip, givesThePictureBackWhateverTheStrips) {
    const StripCase& c = GetParam();
    const QImage picture = mixedPicture(c.width, c.height);
    const QString path = dir.filePath("out.png");
    std::string error;
    ASSERT_TRUE(writePng(picture, path, c.stripRows, {}, &error)) << error;

    EXPECT_TRUE(testkit::SamePixels(QImage(path).convertToFormat(QImage::Format_RGB32), picture));
    const QByteArray file = ReadTestFile(path);
    EXPECT_EQ(testkit::PngChunkTypes(file), "IHDR IDAT IEND");
    int idats = 0;
    for (const testkit::PngChunk& chunk : testkit::PngChunks(file)) {
        idats += chunk.type == "IDAT";
        EXPECT_TRUE(chunk.crcRight) << chunk.type.constData();
    }
    EXPECT_EQ(idats, (c.height + c.stripRows - 1) / c.stripRows);
    QString said;
    EXPECT_TRUE(testkit::PngcheckClean(path, &said)) << said.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.png"});
}

INSTANTIATE_TEST_SUITE_P(
    sizes, PngRoundTrip,
    ::testing::Values(StripCase{"onePixel", 1, 1, 1}, StripCase{"oneRow", 37, 1, 4},
                      StripCase{"oneColumn", 1, 9, 4}, StripCase{"exactStrips", 13, 8, 4},
                      StripCase{"oneRowPastAStrip", 13, 9, 4},
                      StripCase{"oneRowShortOfAStrip", 13, 7, 4},
                      StripCase{"stripsOfOneRow", 5, 6, 1}, StripCase{"oneStrip", 61, 47, 64},
                      StripCase{"oddWidthManyStrips", 61, 47, 16},
                      StripCase{"wideRows", 3001, 5, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// Each row's filter is chosen from all five, and each decodes: a picture of
// noise, shading and flat rows uses every one of them.
TEST(PngFilters, everyFilterTypeIsChosenSomewhereAndDecodes) {
    QTemporaryDir dir;
    QImage picture = mixedPicture(97, 64);
    for (int y = 40; y < 48; ++y)
        for (int x = 0; x < 97; ++x)
            picture.setPixel(x, y, qRgb(x * 2, 100, 50));
    const QString path = dir.filePath("filters.png");
    ASSERT_TRUE(writePng(picture, path, 10));
    const QByteArray data = testkit::InflatedPngData(ReadTestFile(path));
    const qsizetype rowBytes = 1 + 3 * 97;
    ASSERT_EQ(data.size(), rowBytes * 64);
    std::set<int> used;
    for (qsizetype at = 0; at < data.size(); at += rowBytes)
        used.insert(data[at]);
    EXPECT_EQ(used, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(testkit::SamePixels(QImage(path).convertToFormat(QImage::Format_RGB32), picture));
}

// --- Metadata -------------------------------------------------------------------

struct MetadataCase {
    const char* name;
    SourceMetadata metadata;
    const char* chunks;
};

class PngMetadata : public ::testing::TestWithParam<MetadataCase> {};

// The chunks a source's metadata gives, before the data; a profile of
// another colour space than RGB, an EXIF that cannot be read and what PNG
// has no chunk for give none.
TEST_P(PngMetadata, goesIntoItsChunksBeforeTheData) {
    const MetadataCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath("meta.png");
    const QImage picture = testkit::Colourful(40, 30);
    ASSERT_TRUE(writePng(picture, path, 8, c.metadata));
    const QByteArray file = ReadTestFile(path);
    EXPECT_EQ(testkit::PngChunkTypes(file), c.chunks);
    QString said;
    EXPECT_TRUE(testkit::PngcheckClean(path, &said)) << said.toStdString();
    EXPECT_TRUE(testkit::SamePixels(QImage(path).convertToFormat(QImage::Format_RGB32), picture));

    const QByteArray profile = testkit::PngChunkData(file, "iCCP");
    if (!profile.isEmpty()) {
        EXPECT_TRUE(profile.startsWith(QByteArray("ICC Profile\0\0", 13)));
        EXPECT_TRUE(testkit::Inflated(profile.mid(13)).toStdString() == c.metadata.iccProfile);
    }
    if (const QByteArray exif = testkit::PngChunkData(file, "eXIf"); !exif.isEmpty()) {
        const QByteArray block = QByteArray("Exif\0\0", 6) + exif;
        const std::string bytes = block.toStdString();
        EXPECT_TRUE(bytes == exifForSavedPicture(c.metadata.exif, imageio::Size(40, 30)));
        EXPECT_EQ(imageio::exifOrientation(bytes), 1);
        EXPECT_EQ(testkit::ExifTag(bytes, 0xA002).first, 40u);
        EXPECT_EQ(testkit::ExifTag(bytes, 0xA003).first, 30u);
    }
    if (const QByteArray text = testkit::PngChunkData(file, "iTXt"); !text.isEmpty()) {
        EXPECT_TRUE(text.toStdString() == std::string("XML:com.adobe.xmp\0\0\0\0\0", 22) + kPacket);
    }
}

SourceMetadata metadataOf(std::string exif, std::string profile, std::string xmp,
                          std::vector<std::string> extended = {},
                          std::vector<std::string> iptc = {}) {
    return {std::move(exif), std::move(profile), std::move(xmp), std::move(extended),
            std::move(iptc)};
}

INSTANTIATE_TEST_SUITE_P(
    kinds, PngMetadata,
    ::testing::Values(
        MetadataCase{"none", {}, "IHDR IDAT IEND"},
        MetadataCase{"all",
                     metadataOf(testkit::CameraExif(true),
                                testkit::IccProfile("RGB ", 3000).toStdString(), kXmpId + kPacket,
                                {"http://ns.adobe.com/xmp/extension/"},
                                {std::string("Photoshop 3.0\0008BIM", 18)}),
                     "IHDR iCCP eXIf iTXt IDAT IEND"},
        MetadataCase{"littleEndianExifOnly", metadataOf(testkit::CameraExif(false), {}, {}),
                     "IHDR eXIf IDAT IEND"},
        MetadataCase{
            "cmykProfile",
            metadataOf({}, testkit::IccProfile("CMYK", 3000).toStdString(), kXmpId + kPacket),
            "IHDR iTXt IDAT IEND"},
        MetadataCase{"unreadableExif", metadataOf(std::string("Exif\0\0MM\0*", 10), {}, {}),
                     "IHDR IDAT IEND"},
        MetadataCase{"extendedXmpAndIptcOnly",
                     metadataOf({}, {}, {}, {"http://ns.adobe.com/xmp/extension/"},
                                {std::string("Photoshop 3.0\0008BIM", 18)}),
                     "IHDR IDAT IEND"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Failures -------------------------------------------------------------------

// A write that fails halfway through the picture's data leaves the file it
// was to replace as it was, and no temporary file.
TEST(PngWriterFailure, aWriteFailingMidwayKeepsTheOldFileAndLeavesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.png");
    ASSERT_TRUE(WriteTestFile(path, "precious"));
    std::string error;
    {
        const testkit::FileSizeLimit limit(20000);
        EXPECT_FALSE(writePng(mixedPicture(300, 300), path, 16, {}, &error));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadTestFile(path), "precious");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.png"});
}

// A writer dropped before its last strip leaves nothing, and a picture
// without pixels is no PNG.
TEST(PngWriterFailure, anUnfinishedOrEmptyPictureLeavesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.png");
    {
        PngWriter writer;
        ASSERT_TRUE(writer.open(QFile::encodeName(path).toStdString(), 10, 10, {}, nullptr));
        std::string error;
        EXPECT_FALSE(writer.commit(&error));
    }
    PngWriter empty;
    EXPECT_FALSE(empty.open(QFile::encodeName(path).toStdString(), 0, 10, {}, nullptr));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

const QImage kPicture = testkit::Colourful(20, 10);

const testkit::DestinationWriter kWriters[] = {
    {"writePng",
     [](const std::string& p) { return writePng(kPicture, QFile::decodeName(p.c_str()), 4); }},
};

using testkit::Destinations;

INSTANTIATE_TEST_SUITE_P(everyPlaceAsPng, Destinations,
                         ::testing::Combine(::testing::ValuesIn(kWriters),
                                            ::testing::ValuesIn(testkit::DestinationPlaces())),
                         testkit::DestinationCaseName);

} // namespace
