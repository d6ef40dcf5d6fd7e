// Saving from a recipe: the streamed file is byte for byte the file of the
// whole picture as the program wrote it before, through every version of the
// conversion library; what a format cannot hold, or a disk has no room for,
// is refused before anything is written; every kind of destination is written
// or refused as by every writer of ours.
#include "engine/enlarge.h"
#include "gui/filenames.h"
#include "imageio/exifedit.h"
#include "imageio/imagereader.h"
#include "libvelmora/velmora.h"
#include "platform/diskspace.h"
#include "save/jpeglibrary.h"
#include "save/save.h"
#include "tests/save/save_fixture.h"
#include "tests/support/cameraexif.h"
#include "tests/support/destinations.h"
#include "tests/support/jpegfiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace velmora;

namespace {

// --- The streamed file is today's file ---------------------------------------

struct StreamCase {
    const char* name;
    SaveKind kind;
    int width, height;
    double ratio;
    Library library;
    const char* threads; // the encoder's, VELMORA_THREADS
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name;
}

class StreamedSave : public Saving, public ::testing::WithParamInterface<StreamCase> {};

// The sizes are no multiples of 8, 16 or 64; 820 x 14 at 10.0 makes 8199 x 139
// rows, which the encoder takes in strips of 64 rows, and the bitmap writer in
// strips of 64 from the bottom, the last one short.
TEST_P(StreamedSave, writesTodaysFileOfTheWholePictureAndNothingElse) {
    const StreamCase& c = GetParam();
    const QImage source = PhotoLikeImage(c.width, c.height);
    const Recipe recipe{Pic(source), c.ratio};
    const QByteArray expected = todaysFile(WholeResult(source, c.ratio), c.kind);
    ASSERT_FALSE(expected.isEmpty());

    useLibrary(c.library);
    qputenv("VELMORA_THREADS", c.threads);
    int lastReport = 0;
    bool growing = true;
    SaveOptions options;
    options.progress = [&](int rows) {
        growing = growing && rows > lastReport;
        lastReport = rows;
    };
    const QString path = dir.filePath(QStringLiteral("out"));
    const SaveResult result = save(recipe, path, c.kind, options);

    ASSERT_EQ(result.status, SaveStatus::Saved) << result.error;
    EXPECT_TRUE(ReadTestFile(path) == expected);
    EXPECT_EQ(files(), QStringList{"out"});
    EXPECT_TRUE(growing);
    // The previous library's in-memory entry reports nothing.
    const bool inMemory = c.library == Library::Previous && c.ratio == 0;
    EXPECT_EQ(lastReport, inMemory ? 0 : recipeSize(recipe).height());
}

INSTANTIATE_TEST_SUITE_P(
    routes, StreamedSave,
    ::testing::Values(
        StreamCase{"jpegOneToOne", SaveKind::Jpeg, 61, 47, 0, Library::Current, "2"},
        StreamCase{"jpegEnlargedOneThread", SaveKind::Jpeg, 61, 47, 2.5, Library::Current, "1"},
        StreamCase{"jpegEnlargedTwoThreads", SaveKind::Jpeg, 61, 47, 2.5, Library::Current, "2"},
        StreamCase{"jpegStripsOneThread", SaveKind::Jpeg, 820, 14, 10, Library::Current, "1"},
        StreamCase{"jpegStripsTwoThreads", SaveKind::Jpeg, 820, 14, 10, Library::Current, "2"},
        StreamCase{"bitmapOneToOne", SaveKind::Bitmap, 61, 47, 0, Library::Current, "2"},
        StreamCase{"bitmapEnlarged", SaveKind::Bitmap, 61, 47, 10, Library::Current, "2"},
        StreamCase{"bitmapOddRatio", SaveKind::Bitmap, 29, 31, 1.7, Library::Current, "1"},
        StreamCase{"bitmapStrips", SaveKind::Bitmap, 820, 14, 10, Library::Current, "2"},
        StreamCase{"previousLibraryOneToOne", SaveKind::Jpeg, 61, 47, 0, Library::Previous, "2"},
        StreamCase{"previousLibraryEnlarged", SaveKind::Jpeg, 61, 47, 2.5, Library::Previous, "2"},
        StreamCase{"firstLibraryOneToOne", SaveKind::Jpeg, 61, 47, 0, Library::First, "2"},
        StreamCase{"firstLibraryEnlarged", SaveKind::Jpeg, 820, 14, 10, Library::First, "1"}),
    [](const auto& info) { return std::string(info.param.name); });

// A picture in another format than 32-bit words is saved as its 32-bit copy.
TEST_F(Saving, aPictureOfThreeBytesAPixelGivesTheFileOfItsWords) {
    const QImage picture = PhotoLikeImage(13, 11);
    const QByteArray expected = todaysFile(WholeResult(picture, 3.0), SaveKind::Jpeg);
    const Recipe recipe{Pic(picture.convertToFormat(QImage::Format_RGB888)), 3.0};
    ASSERT_EQ(save(recipe, dir.filePath("out.jpg"), SaveKind::Jpeg).status, SaveStatus::Saved);
    EXPECT_TRUE(ReadTestFile(dir.filePath("out.jpg")) == expected);
}

// --- What is refused before anything is written --------------------------------

struct LimitCase {
    const char* name;
    SaveKind kind;
    int width, height;
    double ratio;
    SaveStatus expected;
    const char* says;        // a piece of the message
    const char* otherFormat; // the format it suggests instead, or ""
};

void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << c.name;
}

class FormatLimit : public Saving, public ::testing::WithParamInterface<LimitCase> {};

// The sources are small and the results huge: a refusal comes from the size
// alone, before any pixel (a computed 65999 x 21999 result would take seconds).
TEST_P(FormatLimit, refusesWhatTheFormatCannotHoldAndKeepsTheFile) {
    const LimitCase& c = GetParam();
    QImage source(c.width, c.height, QImage::Format_RGB32);
    const QString path = dir.filePath(QStringLiteral("keep"));
    ASSERT_TRUE(WriteTestFile(path, "precious"));

    const SaveResult result = save({Pic(source), c.ratio}, path, c.kind);

    EXPECT_EQ(result.status, c.expected) << result.error;
    if (c.expected == SaveStatus::Saved) {
        EXPECT_NE(ReadTestFile(path), "precious");
        return;
    }
    EXPECT_TRUE(Contains(result.error, QString::fromUtf8(c.says))) << result.error;
    const QString suggestion = QString::fromUtf8(c.otherFormat) + QStringLiteral(" ﾌｧｲﾙなら");
    EXPECT_EQ(Contains(result.error, QStringLiteral("ﾌｧｲﾙなら")), *c.otherFormat != '\0');
    EXPECT_TRUE(!*c.otherFormat || Contains(result.error, suggestion)) << result.error;
    EXPECT_EQ(ReadTestFile(path), "precious");
    EXPECT_EQ(files(), QStringList{"keep"});
}

INSTANTIATE_TEST_SUITE_P(
    sizes, FormatLimit,
    ::testing::Values(
        LimitCase{"jpegAtItsLimit", SaveKind::Jpeg, 65500, 1, 0, SaveStatus::Saved, "", ""},
        LimitCase{"jpegOneOver", SaveKind::Jpeg, 65501, 1, 0, SaveStatus::NotInFormat,
                  "JPEG は一辺 65500 ﾋﾟｸｾﾙまで", "PNG"},
        LimitCase{"jpegTooWide", SaveKind::Jpeg, 6600, 1, 10, SaveStatus::NotInFormat,
                  "(65999 × 9 ﾋﾟｸｾﾙ)", "PNG"},
        LimitCase{"jpegTooTall", SaveKind::Jpeg, 1, 6600, 10, SaveStatus::NotInFormat,
                  "JPEG は一辺 65500 ﾋﾟｸｾﾙまで", "PNG"},
        LimitCase{"jpegTooLargeForBitmapToo", SaveKind::Jpeg, 6600, 2200, 10,
                  SaveStatus::NotInFormat, "JPEG は一辺 65500 ﾋﾟｸｾﾙまで", "PNG"},
        LimitCase{"bitmapOf4GiB", SaveKind::Bitmap, 3800, 3800, 10, SaveStatus::NotInFormat,
                  "BMP ﾌｧｲﾙは 4 GB", "PNG"},
        LimitCase{"bitmapTooLargeForJpegToo", SaveKind::Bitmap, 6600, 2200, 10,
                  SaveStatus::NotInFormat, "(65999 × 21999 ﾋﾟｸｾﾙ)", "PNG"},
        LimitCase{"jpegOfNoPixels", SaveKind::Jpeg, 10, 1, 1.5, SaveStatus::NotInFormat,
                  "画素がないため、JPEG", ""},
        LimitCase{"pngOfNoPixels", SaveKind::Png, 10, 1, 1.5, SaveStatus::NotInFormat,
                  "画素がないため、PNG", ""},
        LimitCase{"bitmapOfNoPixels", SaveKind::Bitmap, 10, 1, 1.5, SaveStatus::Saved, "", ""},
        LimitCase{"pngBeyondJpegsSide", SaveKind::Png, 6600, 1, 10, SaveStatus::Saved, "", ""},
        LimitCase{"beyondAnySize", SaveKind::Bitmap, 2, 2, 1e300, SaveStatus::NotInFormat,
                  "大きすぎて", ""},
        LimitCase{"pngBeyondAnySize", SaveKind::Png, 2, 2, 1e300, SaveStatus::NotInFormat,
                  "PNG ﾌｧｲﾙにもできません", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct RoomCase {
    const char* name;
    SaveKind kind;
    double ratio;
    Library library;
    long long needed; // bytes asked for the 61 x 47 picture made at ratio
};

void PrintTo(const RoomCase& c, std::ostream* os) {
    *os << c.name;
}

class DiskRoom : public Saving, public ::testing::WithParamInterface<RoomCase> {};

constexpr long long kBitmapOfSource = 54 + 184LL * 47;    // 61 x 47
constexpr long long kBitmapOfResult = 54 + 456LL * 116;   // 151 x 116, at 2.5
constexpr long long kJpegOfResult = kBitmapOfResult / 2;  // estimated
constexpr long long kJpegOfSource = kBitmapOfSource / 2;  // estimated
constexpr long long kPngOfResult = (1 + 453LL) * 116 / 2; // half its filtered bytes

// The room asked for is the file's, plus the temporary bitmap's when an older
// library needs one; one byte less is refused with nothing written, exactly
// that much is enough.
TEST_P(DiskRoom, asksForTheRoomItsWayOfWritingNeeds) {
    const RoomCase& c = GetParam();
    useLibrary(c.library);
    const Recipe recipe{Pic(PhotoLikeImage(61, 47)), c.ratio};
    const QString path = dir.filePath(QStringLiteral("keep"));
    ASSERT_TRUE(WriteTestFile(path, "precious"));

    platform::setFreeBytesForTest(c.needed - 1);
    const SaveResult refused = save(recipe, path, c.kind);
    EXPECT_EQ(refused.status, SaveStatus::NoRoom);
    EXPECT_TRUE(Contains(refused.error, "空き容量が足りません")) << refused.error;
    EXPECT_EQ(ReadTestFile(path), "precious");
    EXPECT_EQ(files(), QStringList{"keep"});

    platform::setFreeBytesForTest(c.needed);
    EXPECT_EQ(save(recipe, path, c.kind).status, SaveStatus::Saved);
    EXPECT_EQ(files(), QStringList{"keep"});
}

INSTANTIATE_TEST_SUITE_P(
    routes, DiskRoom,
    ::testing::Values(RoomCase{"bitmap", SaveKind::Bitmap, 2.5, Library::Current, kBitmapOfResult},
                      RoomCase{"png", SaveKind::Png, 2.5, Library::None, kPngOfResult},
                      RoomCase{"jpeg", SaveKind::Jpeg, 2.5, Library::Current, kJpegOfResult},
                      RoomCase{"previousLibraryOneToOne", SaveKind::Jpeg, 0, Library::Previous,
                               kJpegOfSource},
                      RoomCase{"previousLibraryEnlarged", SaveKind::Jpeg, 2.5, Library::Previous,
                               kBitmapOfResult + kJpegOfResult},
                      RoomCase{"firstLibrary", SaveKind::Jpeg, 0, Library::First,
                               kBitmapOfSource + kJpegOfSource}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Without the library, or with a destination it cannot write ---------------

// Without the library nothing is written, not even the temporary bitmap.
TEST_F(Saving, aMissingLibraryFailsAtOnceAndKeepsTheFile) {
    const QString path = dir.filePath("keep.jpg");
    ASSERT_TRUE(WriteTestFile(path, "precious"));
    useLibrary(Library::None);
    const SaveResult result = save({Pic(PhotoLikeImage(61, 47)), 2.5}, path, SaveKind::Jpeg);
    EXPECT_EQ(result.status, SaveStatus::Failed);
    EXPECT_EQ(result.libraryStatus, kLibraryMissing);
    EXPECT_TRUE(Contains(result.error, "libvelmora.so")) << result.error;
    EXPECT_EQ(ReadTestFile(path), "precious");
    EXPECT_EQ(files(), QStringList{"keep.jpg"});
}

TEST_F(Saving, aDestinationThatCannotBeWrittenFailsWithTheSystemsReason) {
    ASSERT_TRUE(WriteTestFile(dir.filePath("plain-file"), {}));
    const Recipe recipe{Pic(PhotoLikeImage(61, 47)), 2.5};
    for (SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap, SaveKind::Png}) {
        const SaveResult result = save(recipe, dir.filePath("plain-file/out"), kind);
        EXPECT_EQ(result.status, SaveStatus::Failed);
        EXPECT_FALSE(result.error.empty());
        if (kind == SaveKind::Jpeg) {
            EXPECT_EQ(result.libraryStatus, VELMORA_E_DESTINATION);
            EXPECT_EQ(result.osError, ENOTDIR);
        }
    }
    EXPECT_EQ(files(), QStringList{"plain-file"});
}

// Markers go into the file after the JFIF header and change nothing else.
TEST_F(Saving, markersAreWrittenAfterTheJfifHeader) {
    const Recipe recipe{Pic(PhotoLikeImage(61, 47)), 2.5};
    SaveOptions options;
    options.markers = {{0xE1, std::string("Exif\0\0MM", 8)}, {0xE2, std::string(300, 'i')}};
    ASSERT_EQ(save(recipe, dir.filePath("plain.jpg"), SaveKind::Jpeg).status, SaveStatus::Saved);
    ASSERT_EQ(save(recipe, dir.filePath("marked.jpg"), SaveKind::Jpeg, options).status,
              SaveStatus::Saved);
    const QByteArray plain = ReadTestFile(dir.filePath("plain.jpg"));
    const int jfifEnd = 4 + (uchar(plain[4]) << 8 | uchar(plain[5]));
    const QByteArray markers =
        QByteArray("\xFF\xE1\x00\x0A", 4) + QByteArray::fromStdString(options.markers[0].bytes) +
        QByteArray("\xFF\xE2\x01\x2E", 4) + QByteArray::fromStdString(options.markers[1].bytes);
    EXPECT_TRUE(ReadTestFile(dir.filePath("marked.jpg")) ==
                plain.left(jfifEnd) + markers + plain.mid(jfifEnd));
}

// The source's metadata goes in after the JFIF header in the order cameras
// and editors write it: EXIF (made true of the saved picture), XMP and its
// extension, the ICC profile, IPTC; each of the others byte for byte.
TEST_F(Saving, theSourcesMetadataGoesIntoAJpegInItsOrder) {
    SourceMetadata m;
    m.exif = testkit::CameraExif(true);
    m.iccProfile = std::string(70000, 'p');
    m.xmp = std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 33);
    m.extendedXmp = {std::string("http://ns.adobe.com/xmp/extension/\0one", 38),
                     std::string("http://ns.adobe.com/xmp/extension/\0two", 38)};
    m.iptc = {std::string("Photoshop 3.0\0008BIM\x04\x04", 20),
              std::string("Photoshop 3.0\0more", 18)};
    const Recipe recipe{Pic(PhotoLikeImage(61, 47)), 2.5, m};
    ASSERT_EQ(save(recipe, dir.filePath("m.jpg"), SaveKind::Jpeg).status, SaveStatus::Saved);

    const auto segments = testkit::AppSegments(ReadTestFile(dir.filePath("m.jpg")));
    ASSERT_EQ(segments.size(), 9u);
    const std::pair<int, std::string> expected[] = {
        {0xE1, exifForSavedPicture(m.exif, imageio::Size(151, 116))},
        {0xE1, m.xmp},
        {0xE1, m.extendedXmp[0]},
        {0xE1, m.extendedXmp[1]},
        {0xE2, {}},
        {0xE2, {}},
        {0xED, m.iptc[0]},
        {0xED, m.iptc[1]}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(segments[i + 1].first, expected[i].first) << i;
        EXPECT_TRUE(expected[i].second.empty() ||
                    segments[i + 1].second == QByteArray::fromStdString(expected[i].second))
            << i;
    }
    const SourceMetadata back = imageio::ImageReader(Bytes(dir.filePath("m.jpg"))).metadata();
    EXPECT_EQ(back.iccProfile, m.iccProfile);
    EXPECT_EQ(back.extendedXmp, m.extendedXmp);
    EXPECT_EQ(back.iptc, m.iptc);
}

// --- Every kind of destination ------------------------------------------------

const QImage kPicture = PhotoLikeImage(20, 10);

bool saved(const std::string& p, SaveKind kind) {
    return SaveThrough({Pic(kPicture), 1.5}, p, kind).status == SaveStatus::Saved;
}

const testkit::DestinationWriter kWriters[] = {
    {"saveJpeg", [](const std::string& p) { return saved(p, SaveKind::Jpeg); }},
    {"saveBitmap", [](const std::string& p) { return saved(p, SaveKind::Bitmap); }},
    {"savePng", [](const std::string& p) { return saved(p, SaveKind::Png); }},
    // The first library has only ConvertBMPtoJPG: the save writes a hidden bitmap
    // for it to convert.
    {"saveThroughHiddenBitmap",
     [](const std::string& p) {
         JpegLibrary first(Bytes(libraryFolder(Library::First)), false);
         return SaveThrough({Pic(kPicture), 1.5}, p, SaveKind::Jpeg, {}, &first).status ==
                SaveStatus::Saved;
     }},
};

using testkit::Destinations;

INSTANTIATE_TEST_SUITE_P(everyPlace, Destinations,
                         ::testing::Combine(::testing::ValuesIn(kWriters),
                                            ::testing::ValuesIn(testkit::DestinationPlaces())),
                         testkit::DestinationCaseName);

} // namespace

// A save asked to stop writes nothing, through every way a file is written,
// and an existing file keeps its content.
TEST_F(Saving, aCancelledSaveWritesNothingAndKeepsTheFile) {
    const std::atomic<bool> stop{true};
    for (const auto& [kind, library] :
         {std::pair{SaveKind::Jpeg, Library::Current}, std::pair{SaveKind::Jpeg, Library::First},
          std::pair{SaveKind::Bitmap, Library::Current}, std::pair{SaveKind::Png, Library::None}}) {
        useLibrary(library);
        const QString path = dir.filePath("keep");
        ASSERT_TRUE(WriteTestFile(path, "precious"));
        SaveOptions options;
        options.cancel = &stop;
        EXPECT_EQ(save({Pic(PhotoLikeImage(61, 47)), 2.5}, path, kind, options).status,
                  SaveStatus::Cancelled);
        EXPECT_EQ(ReadTestFile(path), "precious");
        EXPECT_EQ(files(), QStringList{"keep"});
    }
}

// No save writes over the file its picture was read from, under any of its
// names, in any format: refused before anything is written, the file kept.
TEST_F(Saving, theSourceFileIsRefusedUnderEveryNameInEveryFormat) {
    const QString source = dir.filePath("photo.jpg");
    ASSERT_TRUE(PhotoLikeImage(40, 30).save(source, "JPG", 90));
    const QByteArray before = ReadTestFile(source);
    SaveOptions options;
    options.sourceFile = Bytes(source);
    for (const testkit::SourceAlias& alias :
         testkit::sourceAliases(gui::nameToBytes(source).toStdString())) {
        for (SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap, SaveKind::Png}) {
            SCOPED_TRACE(std::string(alias.name) + " " + std::to_string(int(kind)));
            const SaveResult result = save({Pic(PhotoLikeImage(40, 30)), 2.0},
                                           QString::fromStdString(alias.path), kind, options);
            EXPECT_EQ(result.status, SaveStatus::BadDestination);
            EXPECT_EQ(result.destination, jpeg::DestinationKind::Source);
            EXPECT_EQ(result.error, "保存先は元の画像ﾌｧｲﾙそのものです。別の名前を付けてください。");
            EXPECT_EQ(ReadTestFile(source), before);
        }
    }
    EXPECT_EQ(files(), (QStringList{"hard.jpg", "photo.jpg", "symbolic.jpg"}));
}
