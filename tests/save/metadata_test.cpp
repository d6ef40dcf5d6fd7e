// What a saved JPEG keeps of its source's metadata: the EXIF made true of the
// saved picture, or none where it cannot be read safely; the ICC profile byte
// for byte; through the main window, the metadata of the picture opened last.
#include "app/velmora_m.h"
#include "imageio/exifedit.h"
#include "imageio/imagereader.h"
#include "imageio/orientation.h"
#include "imageio/tiffblock.h"
#include "save/jpeglibrary.h"
#include "tests/app/window_fixture.h"
#include "tests/support/jpegfiles.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

constexpr quint16 kShort = imageio::kTiffShort, kLong = imageio::kTiffLong;

// A camera's EXIF: IFD0 at 8 (orientation 6, the Exif IFD at 38, IFD1's
// offset at 34), the Exif IFD (400 x 300 of sizeType, the date taken), then
// the date, IFD1 (a JPEG thumbnail) and the thumbnail, or with dateLast IFD1,
// the thumbnail and the date.
QByteArray cameraExif(bool big, quint16 sizeType = kShort, bool dateLast = false) {
    const QByteArray date("2024:05:17 14:32:08", 20), thumbnail("\xFF\xD8THUMBNAIL\xFF\xD9");
    const int ifd1 = dateLast ? 80 : 100, thumbAt = ifd1 + 30,
              dateAt = dateLast ? thumbAt + 13 : 80;
    QByteArray t = big ? "MM" : "II";
    const auto put = [&](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            t += char(v >> (8 * (big ? bytes - 1 - i : i)));
    };
    const auto entry = [&](quint16 tag, quint16 type, quint32 count, quint32 value) {
        put(tag, 2), put(type, 2), put(count, 4);
        type == kShort ? (put(value, 2), put(0, 2)) : put(value, 4);
    };
    put(42, 2), put(8, 4), put(2, 2), entry(0x0112, kShort, 1, 6), entry(0x8769, kLong, 1, 38);
    put(ifd1, 4), put(3, 2), entry(0xA002, sizeType, 1, 400), entry(0xA003, sizeType, 1, 300);
    entry(0x9003, 2, 20, dateAt), put(0, 4);
    t += dateLast ? QByteArray() : date;
    put(2, 2), entry(0x0201, kLong, 1, thumbAt), entry(0x0202, kLong, 1, 13), put(0, 4);
    return QByteArray("Exif\0\0", 6) + t + thumbnail + (dateLast ? date : QByteArray());
}

// A tag's first value in the Exif IFD (at 38), and its type.
std::pair<quint32, quint16> exifTag(const QByteArray& exif, quint16 tag) {
    const imageio::TiffBlock t = imageio::TiffBlock::fromExif(exif);
    for (const imageio::IfdEntry& e : t.entries(38).value_or(std::vector<imageio::IfdEntry>{}))
        if (e.tag == tag)
            return {t.whole(e).value_or(0), e.type};
    return {0, 0};
}

// Camera blocks of both byte orders and size types, and damaged or hostile
// ones (a number of `bytes` written at `at` of the TIFF data, or with bytes -1
// the data cut there): nothing is read or written outside the block (the
// sanitizer build watches), what cannot be read is dropped, a broken IFD1 is
// only unlinked.
struct ExifCase {
    const char* name;
    bool big = false;
    quint16 sizeType = kShort;
    bool dateLast = false;
    int at = 0, bytes = 0;
    quint32 value = 0;
    QSize saved = {599, 799};
    quint16 savedType = kShort;
    bool kept = true;
};

class ExifForSave : public ::testing::TestWithParam<ExifCase> {};

TEST_P(ExifForSave, isUprightWithTheSavedSizeAndNoThumbnailOrIsDropped) {
    const ExifCase& c = GetParam();
    QByteArray in = cameraExif(c.big, c.sizeType, c.dateLast);
    for (int i = 0; i < c.bytes; ++i)
        in[6 + c.at + i] = char(c.value >> (8 * i));
    if (c.bytes < 0)
        in.truncate(6 + c.at);
    const QByteArray out = exifForSavedPicture(in, c.saved);
    ASSERT_EQ(!out.isEmpty(), c.kept);
    if (!c.kept)
        return;
    EXPECT_EQ(imageio::exifOrientation(out), 1);
    EXPECT_EQ(exifTag(out, 0xA002), std::make_pair(quint32(c.saved.width()), c.savedType));
    EXPECT_EQ(exifTag(out, 0xA003), std::make_pair(quint32(c.saved.height()), c.savedType));
    EXPECT_EQ(imageio::TiffBlock::fromExif(out).number(34, 4), 0u); // no IFD1
    if (c.bytes == 0) {
        EXPECT_FALSE(out.contains("THUMBNAIL"));
        EXPECT_TRUE(out.contains("2024:05:17 14:32:08"));
        // Cut off where it ended the block, only cleared before the date.
        EXPECT_EQ(out.size(), c.dateLast ? in.size() : 6 + 100);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, ExifForSave,
    ::testing::Values(
        ExifCase{.name = "littleShort"}, ExifCase{.name = "bigShort", .big = true},
        ExifCase{.name = "littleLong", .sizeType = kLong, .saved = {11, 7}, .savedType = kLong},
        ExifCase{
            .name = "bigShortWidened", .big = true, .saved = {70000, 70000}, .savedType = kLong},
        ExifCase{.name = "dateAfterThumbnail", .dateLast = true},
        ExifCase{.name = "notTiff", .at = 0, .bytes = 1, .value = 'X', .kept = false},
        ExifCase{.name = "noMagic", .at = 2, .bytes = 2, .value = 43, .kept = false},
        ExifCase{.name = "ifd0Beyond", .at = 4, .bytes = 4, .value = 0xFFFFFFF0, .kept = false},
        ExifCase{.name = "ifd0CountBeyond", .at = 8, .bytes = 2, .value = 0xFFFF, .kept = false},
        ExifCase{.name = "cutInIfd0", .at = 30, .bytes = -1, .kept = false},
        ExifCase{.name = "exifIfdBeyond", .at = 30, .bytes = 4, .value = 0x7FFFFFF0, .kept = false},
        ExifCase{.name = "exifPointerAsText", .at = 24, .bytes = 2, .value = 2, .kept = false},
        ExifCase{.name = "ifd1Beyond", .at = 34, .bytes = 4, .value = 0xFFFFFF00},
        ExifCase{.name = "thumbnailOverIfd0", .at = 110, .bytes = 4, .value = 8},
        ExifCase{.name = "thumbnailLengthBeyond", .at = 122, .bytes = 4, .value = ~0u}),
    [](const auto& info) { return std::string(info.param.name); });

QByteArray profileOf(int bytes) {
    QByteArray p(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        p[i] = char(i * 7 + i / 251);
    return p;
}

// The file holds the profile byte for byte (the reader joins only chunks
// numbered and counted as they should be) and the EXIF upright with the file's
// own size.
void expectKept(const QString& path, const QByteArray& profile) {
    const imageio::ImageReader reader(path);
    EXPECT_TRUE(reader.iccProfile() == profile);
    EXPECT_EQ(imageio::exifOrientation(reader.exif()), 1);
    EXPECT_EQ(exifTag(reader.exif(), 0xA002).first, quint32(reader.size().width()));
    EXPECT_EQ(exifTag(reader.exif(), 0xA003).first, quint32(reader.size().height()));
}

using KeptMetadata = WindowTest;

// The window keeps the metadata of the picture it opened, replaces it with the
// next one's and drops it for a bitmap; a small profile takes one chunk, one
// over 64 KB several.
TEST_F(KeptMetadata, mainWindowSavesTheOpenedPicturesMetadata) {
    const QImage picture = testkit::Colourful(40, 30);
    const QByteArray jpeg = testkit::EncodeJpeg(picture, testkit::JpegKind::Baseline444);
    const std::pair<const char*, QByteArray> files[] = {
        {"small.jpg", profileOf(3000)}, {"large.jpg", profileOf(200000)}, {"plain.bmp", {}}};
    for (const auto& [name, profile] : files)
        ASSERT_TRUE(
            profile.isEmpty()
                ? picture.save(dir.filePath(name), "BMP")
                : WriteTestFile(dir.filePath(name),
                                testkit::WithSegment(testkit::WithIccProfile(jpeg, profile, 60000),
                                                     0xE1, cameraExif(true, kLong))));
    QString saveAs;
    MainWindowHooks services = hooks();
    services.askSaveName = [&](const gui::SaveFileRequest&, QString* chosen) {
        *chosen = saveAs;
        return true;
    };
    velmora_m window(services);
    for (const auto& [name, profile] : files) {
        ASSERT_TRUE(window.openImage(dir.filePath(name)));
        window.m_kakudai_Click();
        saveAs = dir.filePath(name) + ".jpg";
        window.m_save_Click(0);
        if (!profile.isEmpty())
            expectKept(saveAs, profile);
    }
    const imageio::ImageReader plain(saveAs);
    EXPECT_TRUE(plain.exif().isEmpty() && plain.iccProfile().isEmpty());
}

} // namespace
