// The EXIF a saved JPEG keeps of its source's: made true of the saved picture
// (upright, with the saved size, without the thumbnail), or none where it
// cannot be read safely.
#include "imageio/exifedit.h"
#include "imageio/orientation.h"
#include "imageio/tiffblock.h"
#include "tests/support/cameraexif.h"
#include "tests/support/caseprint.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

using namespace velmora;
using namespace velmora::testkit;

namespace {

// The block's bytes as hexadecimal digits, for a failure's message.
std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

using velmora_test::PrintTo;

// Camera blocks of both byte orders and size types, and damaged or hostile
// ones (a number of `bytes` written at `at` of the TIFF data, or with bytes -1
// the data cut there): nothing is read or written outside the block (the
// sanitizer build watches), what cannot be read is dropped, a broken IFD1 is
// only unlinked.
struct ExifCase {
    const char* name;
    bool big = false;
    std::uint16_t sizeType = kShort;
    bool dateLast = false;
    int at = 0, bytes = 0;
    std::uint32_t value = 0;
    imageio::Size saved = {599, 799};
    std::uint16_t savedType = kShort;
    bool kept = true;
};

class ExifForSave : public ::testing::TestWithParam<ExifCase> {};

TEST_P(ExifForSave, isUprightWithTheSavedSizeAndNoThumbnailOrIsDropped) {
    const ExifCase& c = GetParam();
    std::string in = CameraExif(c.big, c.sizeType, c.dateLast);
    for (int i = 0; i < c.bytes; ++i)
        in[6 + c.at + i] = char(c.value >> (8 * i));
    if (c.bytes < 0)
        in.resize(std::size_t(6 + c.at));
    const std::string out = exifForSavedPicture(in, c.saved);
    ASSERT_EQ(!out.empty(), c.kept);
    if (!c.kept)
        return;
    EXPECT_EQ(exifForSavedPicture(out, c.saved), out); // an edit is its own fixed point
    EXPECT_EQ(imageio::exifOrientation(out), 1);
    EXPECT_EQ(ExifTag(out, 0xA002), std::make_pair(std::uint32_t(c.saved.width()), c.savedType));
    EXPECT_EQ(ExifTag(out, 0xA003), std::make_pair(std::uint32_t(c.saved.height()), c.savedType));
    EXPECT_EQ(imageio::TiffBlock::fromExif(out).number(34, 4), 0u); // no IFD1
    if (c.bytes == 0) {
        EXPECT_EQ(out.find("THUMBNAIL"), std::string::npos);
        EXPECT_NE(out.find("2024:05:17 14:32:08"), std::string::npos);
        // Cut off where it ended the block, only cleared before the date.
        EXPECT_EQ(out.size(), c.dateLast ? in.size() : std::size_t(6 + 100));
    }
}

INSTANTIATE_TEST_SUITE_P(
    blocks, ExifForSave,
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
        ExifCase{.name = "thumbnailLengthBeyond", .at = 122, .bytes = 4, .value = ~0u},
        // Structures over each other: an edit of one would change the other.
        ExifCase{.name = "ifd0OverHeader", .at = 4, .bytes = 4, .value = 5, .kept = false},
        ExifCase{.name = "exifIfdOverIfd0", .at = 30, .bytes = 4, .value = 20, .kept = false},
        ExifCase{.name = "exifIfdIsIfd0", .at = 30, .bytes = 4, .value = 8, .kept = false},
        ExifCase{.name = "ifd1IsIfd0", .at = 34, .bytes = 4, .value = 8, .kept = false},
        ExifCase{.name = "ifd1IsExifIfd", .at = 34, .bytes = 4, .value = 38, .kept = false},
        ExifCase{.name = "dateOverExifIfd", .at = 72, .bytes = 4, .value = 40, .kept = false},
        ExifCase{.name = "dateBeyond", .at = 72, .bytes = 4, .value = 0xFFFFFF00, .kept = false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

// Random damage to camera blocks, as a fuzzer would do it for a bounded time:
// whatever the block, the edit either drops it or gives a block that reads
// back (IFD0 whole, upright) and that a second edit leaves as it is.
TEST(ExifForSave, damagedBlocksAreDroppedOrEditedIntoTheirOwnFixedPoint) {
    std::mt19937 random(20261208);
    int kept = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string in = CameraExif(round % 2, round % 4 < 2 ? kShort : kLong, round % 3 == 0);
        for (int flips = 1 + int(random() % 4); flips > 0; --flips)
            in[6 + random() % (in.size() - 6)] =
                char(random() % 4 == 0 ? random() % 256 : random() % 140);
        const std::string out = exifForSavedPicture(in, {123, 45});
        if (out.empty())
            continue;
        ++kept;
        const imageio::TiffBlock t = imageio::TiffBlock::fromExif(out);
        ASSERT_TRUE(t.valid() && t.entries(t.firstIfd())) << Hex(in);
        ASSERT_EQ(imageio::exifOrientation(out), 1) << Hex(in);
        ASSERT_EQ(exifForSavedPicture(out, {123, 45}), out) << Hex(in);
    }
    EXPECT_GT(kept, 1000); // the damage left many blocks editable
}
