// A camera's EXIF block, worked out field by field, and a reader of one tag of
// its Exif IFD: what the save keeps of a source's metadata is checked with them.
#pragma once

#include "imageio/tiffblock.h"

#include <cstdint>
#include <string>

#include <utility>
#include <vector>

namespace velmora::testkit {

inline constexpr std::uint16_t kShort = imageio::kTiffShort, kLong = imageio::kTiffLong;

// A camera's EXIF: IFD0 at 8 (orientation 6, the Exif IFD at 38, IFD1's
// offset at 34), the Exif IFD (400 x 300 of sizeType, the date taken), then
// the date, IFD1 (a JPEG thumbnail) and the thumbnail, or with dateLast IFD1,
// the thumbnail and the date.
inline std::string CameraExif(bool big, std::uint16_t sizeType = kShort, bool dateLast = false) {
    const std::string date("2024:05:17 14:32:08", 20), thumbnail("\xFF\xD8THUMBNAIL\xFF\xD9");
    const int ifd1 = dateLast ? 80 : 100, thumbAt = ifd1 + 30,
              dateAt = dateLast ? thumbAt + 13 : 80;
    std::string t = big ? "MM" : "II";
    const auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            t += char(v >> (8 * (big ? bytes - 1 - i : i)));
    };
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                           std::uint32_t value) {
        put(tag, 2), put(type, 2), put(count, 4);
        type == kShort ? (put(value, 2), put(0, 2)) : put(value, 4);
    };
    put(42, 2), put(8, 4), put(2, 2), entry(0x0112, kShort, 1, 6), entry(0x8769, kLong, 1, 38);
    put(ifd1, 4), put(3, 2), entry(0xA002, sizeType, 1, 400), entry(0xA003, sizeType, 1, 300);
    entry(0x9003, 2, 20, dateAt), put(0, 4);
    t += dateLast ? std::string() : date;
    put(2, 2), entry(0x0201, kLong, 1, thumbAt), entry(0x0202, kLong, 1, 13), put(0, 4);
    return std::string("Exif\0\0", 6) + t + thumbnail + (dateLast ? date : std::string());
}

// A tag's first value in the Exif IFD (at 38), and its type.
inline std::pair<std::uint32_t, std::uint16_t> ExifTag(const std::string& exif, std::uint16_t tag) {
    const imageio::TiffBlock t = imageio::TiffBlock::fromExif(exif);
    for (const imageio::IfdEntry& e : t.entries(38).value_or(std::vector<imageio::IfdEntry>{}))
        if (e.tag == tag)
            return {t.whole(e).value_or(0), e.type};
    return {0, 0};
}

} // namespace velmora::testkit
