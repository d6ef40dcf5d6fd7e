// What a saved JPEG keeps of its source's metadata: the EXIF made true of the
// saved picture (upright, its size, no thumbnail), or none where it cannot be
// read safely; the ICC profile byte for byte in as many chunks as it takes;
// and through the main window, the metadata of the picture opened last.
#include "app/velmora_m.h"
#include "platform/imagereader.h"
#include "platform/orientation.h"
#include "platform/tiffblock.h"
#include "save/exifedit.h"
#include "save/jpeglibrary.h"
#include "save/save.h"
#include "tests/support/jpegfiles.h"
#include "tests/support/support.h"

#include <QtEndian>
#include <gtest/gtest.h>

#include <functional>

using namespace velmora;

namespace {

// A camera's EXIF block: IFD0 (orientation 6, the Exif IFD's offset, IFD1's),
// the Exif IFD (pixel size 400 x 300 of the given type, the date taken), the
// date, IFD1 (a JPEG thumbnail) and the thumbnail; or, with dateLast, the date
// after the thumbnail. Offsets of what the hostile cases change are kept.
struct CameraExif {
    QByteArray tiff;
    int ifd1Link = 34, exifEntry = 22, thumbnailOffsetEntry = 0;
    bool big = false;

    void put(int at, quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tiff[at + i] = char(v >> (8 * (big ? bytes - 1 - i : i)));
    }
    void append(quint32 v, int bytes) {
        tiff.append(QByteArray(bytes, '\0'));
        put(int(tiff.size()) - bytes, v, bytes);
    }
    void entry(quint16 tag, quint16 type, quint32 count, quint32 value) {
        append(tag, 2), append(type, 2), append(count, 4);
        type == platform::kTiffShort ? (append(value, 2), append(0, 2)) : append(value, 4);
    }
    QByteArray exif() const { return QByteArray("Exif\0\0", 6) + tiff; }

    CameraExif(bool bigEndian, quint16 sizeType, bool dateLast) : big(bigEndian) {
        const QByteArray date("2024:05:17 14:32:08", 20), thumbnail = "\xFF\xD8THUMBNAIL\xFF\xD9";
        const int exifIfd = 38, afterExif = 80, ifd1 = dateLast ? afterExif : afterExif + 20;
        const int thumbAt = ifd1 + 30, dateAt = dateLast ? thumbAt + int(thumbnail.size()) : 80;
        tiff = big ? "MM" : "II";
        append(42, 2), append(8, 4), append(2, 2);
        entry(0x0112, platform::kTiffShort, 1, 6), entry(0x8769, platform::kTiffLong, 1, exifIfd);
        append(ifd1, 4), append(3, 2);
        entry(0xA002, sizeType, 1, 400), entry(0xA003, sizeType, 1, 300);
        entry(0x9003, 2, 20, dateAt), append(0, 4);
        if (!dateLast)
            tiff += date;
        append(2, 2), entry(0x0201, platform::kTiffLong, 1, thumbAt);
        thumbnailOffsetEntry = ifd1 + 2;
        entry(0x0202, platform::kTiffLong, 1, quint32(thumbnail.size())), append(0, 4);
        tiff += thumbnail + (dateLast ? date : QByteArray());
    }
};

// The first value of a tag in the IFD at `at`, and its type.
std::pair<quint32, quint16> tagIn(const platform::TiffBlock& t, qsizetype at, quint16 tag) {
    for (const platform::IfdEntry& e : t.entries(at).value_or(std::vector<platform::IfdEntry>{}))
        if (e.tag == tag)
            return {t.whole(e).value_or(0xDEAD), e.type};
    return {0, 0};
}

struct ExifCase {
    const char* name;
    bool big;
    quint16 sizeType;
    QSize saved;
    bool dateLast;
    quint16 savedType;
};

class ExifForSave : public ::testing::TestWithParam<ExifCase> {};

TEST_P(ExifForSave, isUprightWithTheSavedSizeAndNoThumbnailAndKeepsTheRest) {
    const ExifCase& c = GetParam();
    const CameraExif camera(c.big, c.sizeType, c.dateLast);
    const QByteArray out = Exif_For_Saved_Picture(camera.exif(), c.saved);
    const platform::TiffBlock t = platform::TiffBlock::FromExif(out);
    ASSERT_TRUE(t.valid());
    EXPECT_EQ(platform::ExifOrientation(out), 1);
    EXPECT_EQ(tagIn(t, 38, 0xA002), std::make_pair(quint32(c.saved.width()), c.savedType));
    EXPECT_EQ(tagIn(t, 38, 0xA003), std::make_pair(quint32(c.saved.height()), c.savedType));
    EXPECT_EQ(t.number(camera.ifd1Link, 4), 0u);
    EXPECT_FALSE(out.contains("THUMBNAIL"));
    EXPECT_TRUE(out.contains("2024:05:17 14:32:08"));
    // Only a thumbnail that ends the block is cut off; one before kept data is cleared.
    EXPECT_EQ(out.size(), c.dateLast ? camera.exif().size() : 6 + 100);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ExifForSave,
    ::testing::Values(
        ExifCase{"littleShort", false, platform::kTiffShort, {599, 799}, false, 3},
        ExifCase{"bigShort", true, platform::kTiffShort, {599, 799}, false, 3},
        ExifCase{"littleLong", false, platform::kTiffLong, {11, 7}, false, 4},
        ExifCase{"bigShortWidened", true, platform::kTiffShort, {70000, 70000}, false, 4},
        ExifCase{"dateAfterThumbnail", false, platform::kTiffShort, {599, 799}, true, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// Malformed and hostile blocks: never a read or write outside the block (the
// sanitizer build watches); what cannot be read is dropped, a broken IFD1 is
// only unlinked.
struct DamageCase {
    const char* name;
    std::function<void(CameraExif&)> damage;
    bool kept;
};

class DamagedExif : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedExif, isDroppedOrKeptUprightWithoutThumbnail) {
    CameraExif camera(false, platform::kTiffShort, false);
    GetParam().damage(camera);
    const QByteArray out = Exif_For_Saved_Picture(camera.exif(), {599, 799});
    ASSERT_EQ(!out.isEmpty(), GetParam().kept);
    if (GetParam().kept) {
        EXPECT_EQ(platform::ExifOrientation(out), 1);
        EXPECT_EQ(tagIn(platform::TiffBlock::FromExif(out), 38, 0xA002).first, 599u);
        EXPECT_EQ(platform::TiffBlock::FromExif(out).number(camera.ifd1Link, 4), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedExif,
    ::testing::Values(
        DamageCase{"notTiff", [](CameraExif& e) { e.tiff[0] = 'X'; }, false},
        DamageCase{"noMagic", [](CameraExif& e) { e.put(2, 43, 2); }, false},
        DamageCase{"ifd0Beyond", [](CameraExif& e) { e.put(4, 0xFFFFFFF0, 4); }, false},
        DamageCase{"ifd0CountBeyond", [](CameraExif& e) { e.put(8, 0xFFFF, 2); }, false},
        DamageCase{"cutInIfd0", [](CameraExif& e) { e.tiff.truncate(30); }, false},
        DamageCase{"exifIfdBeyond", [](CameraExif& e) { e.put(e.exifEntry + 8, 0x7FFFFFF0, 4); },
                   false},
        DamageCase{"exifPointerAsText", [](CameraExif& e) { e.put(e.exifEntry + 2, 2, 2); }, false},
        DamageCase{"ifd1Beyond", [](CameraExif& e) { e.put(e.ifd1Link, 0xFFFFFF00, 4); }, true},
        DamageCase{"thumbnailOverIfd0",
                   [](CameraExif& e) { e.put(e.thumbnailOffsetEntry + 8, 8, 4); }, true},
        DamageCase{"thumbnailLengthBeyond",
                   [](CameraExif& e) { e.put(e.thumbnailOffsetEntry + 20, 0xFFFFFFFF, 4); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A profile of n bytes that no chunking can join wrongly unnoticed.
QByteArray profileOf(int n) {
    QByteArray p(n, '\0');
    for (int i = 0; i < n; ++i)
        p[i] = char(i * 7 + i / 251);
    return p;
}

// The JPEG file with the EXIF and the profile in chunks of 60000 bytes, as
// another writer might have split it.
QByteArray withMetadata(const QByteArray& jpeg, const SourceMetadata& m) {
    const int chunks = int(m.iccProfile.size() + 59999) / 60000;
    QByteArray file = jpeg;
    for (int i = chunks; i >= 1; --i)
        file = testkit::WithSegment(file, 0xE2,
                                    QByteArray("ICC_PROFILE\0", 12) + char(i) + char(chunks) +
                                        m.iccProfile.mid((i - 1) * 60000, 60000));
    return testkit::WithSegment(file, 0xE1, m.exif);
}

// The APP1 and APP2 segments of a JPEG file, up to its first scan.
std::pair<int, int> appSegments(const QByteArray& jpeg) {
    std::pair<int, int> count{0, 0};
    for (qsizetype at = 2; at + 4 <= jpeg.size() && uchar(jpeg[at + 1]) != 0xDA;) {
        count.first += uchar(jpeg[at + 1]) == 0xE1;
        count.second += uchar(jpeg[at + 1]) == 0xE2;
        at += 2 + qFromBigEndian<quint16>(jpeg.constData() + at + 2);
    }
    return count;
}

class KeptMetadata : public SettingsFileTest {
  protected:
    // The saved file keeps the profile byte for byte in as few chunks as
    // hold it, and the EXIF upright with the size the file has.
    void expectKept(const QString& path, const SourceMetadata& source) {
        platform::ImageReader reader(path);
        const QByteArray out = ReadTestFile(path);
        EXPECT_TRUE(reader.iccProfile() == source.iccProfile);
        EXPECT_EQ(appSegments(out).second, (source.iccProfile.size() + 65518) / 65519);
        EXPECT_EQ(platform::ExifOrientation(reader.exif()), 1);
        const platform::TiffBlock t = platform::TiffBlock::FromExif(reader.exif());
        EXPECT_EQ(tagIn(t, 38, 0xA002).first, quint32(reader.size().width()));
        EXPECT_EQ(tagIn(t, 38, 0xA003).first, quint32(reader.size().height()));
    }
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
};

struct RoundTrip {
    const char* name;
    int profileBytes;
    double ratio;
    const char* library; // a folder under the older libraries', or "" for the current one
    SaveKind kind;
};

class SaveRoundTrip : public KeptMetadata, public ::testing::WithParamInterface<RoundTrip> {};

// Through the strip-fed entry the metadata is kept; through the first library
// and as a bitmap the file is the one without metadata, byte for byte.
TEST_P(SaveRoundTrip, keepsTheMetadataWhereAJpegCanCarryIt) {
    const RoundTrip& c = GetParam();
    Set_Library_Folder(*c.library ? QStringLiteral(VELMORA_TEST_OLDER_LIBRARIES "/") + c.library
                                  : QStringLiteral(VELMORA_TEST_BIN),
                       false);
    const SourceMetadata metadata{CameraExif(false, platform::kTiffShort, false).exif(),
                                  profileOf(c.profileBytes)};
    const QImage picture = PhotoLikeImage(40, 30);
    ASSERT_EQ(Save_Recipe({picture, c.ratio, metadata}, path("kept"), c.kind).status,
              SaveStatus::Saved);
    if (c.kind == SaveKind::Jpeg && !*c.library)
        return expectKept(path("kept"), metadata);
    ASSERT_EQ(Save_Recipe({picture, c.ratio}, path("plain"), c.kind).status, SaveStatus::Saved);
    EXPECT_TRUE(ReadTestFile(path("kept")) == ReadTestFile(path("plain")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveRoundTrip,
    ::testing::Values(RoundTrip{"smallProfile", 3000, 2.0, "", SaveKind::Jpeg},
                      RoundTrip{"profileOver64KB", 200000, 0, "", SaveKind::Jpeg},
                      RoundTrip{"firstLibrary", 3000, 2.0, "libvelmora_first", SaveKind::Jpeg},
                      RoundTrip{"bitmap", 3000, 2.0, "", SaveKind::Bitmap}),
    [](const auto& info) { return std::string(info.param.name); });

// The window keeps the metadata of the picture it opened, and drops it when it
// opens another: a bitmap opened after a photo saves today's file.
TEST_F(KeptMetadata, mainWindowSavesTheOpenedPicturesMetadata) {
    Set_Library_Folder(QStringLiteral(VELMORA_TEST_BIN), false);
    const SourceMetadata photo{CameraExif(true, platform::kTiffLong, false).exif(),
                               profileOf(70000)};
    const QImage picture = testkit::Colourful(40, 30);
    ASSERT_TRUE(WriteTestFile(
        path("photo.jpg"),
        withMetadata(testkit::EncodeJpeg(picture, testkit::JpegKind::Baseline444), photo)));
    ASSERT_TRUE(picture.save(path("plain.bmp"), "BMP"));
    QString saveAs;
    MainWindowServices services;
    services.save = [&](QWidget*, const Recipe& r, SaveKind kind) {
        EXPECT_EQ(Save_Recipe(r, saveAs, kind).status, SaveStatus::Saved);
    };
    velmora_m window(services);

    ASSERT_TRUE(window.openImage(path("photo.jpg")));
    window.m_kakudai_Click();
    saveAs = path("photo-large.jpg");
    window.m_save_Click(0);
    expectKept(saveAs, photo);

    ASSERT_TRUE(window.openImage(path("plain.bmp")));
    saveAs = path("plain.jpg");
    window.m_save_Click(0);
    EXPECT_EQ(appSegments(ReadTestFile(saveAs)), std::make_pair(0, 0));
}

} // namespace
