// Bitmap headers of today's tools (BITMAPV4HEADER, 108 bytes, and
// BITMAPV5HEADER, 124 bytes) around the pixels of a 40-byte bitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::testkit {

// The same bitmap with an info header of infoSize bytes: the new fields zero
// but the colour space (sRGB); with `bitfields`, a 32-bit file gets BI_BITFIELDS
// and the usual masks (red 0x00FF0000, green 0x0000FF00, blue 0x000000FF,
// alpha 0xFF000000), as ImageMagick and GIMP write them.
inline std::vector<std::uint8_t> WidenedBitmap(std::vector<std::uint8_t> bmp,
                                               std::uint32_t infoSize, bool bitfields) {
    const auto get32 = [&](std::size_t at) {
        return std::uint32_t(bmp[at]) | std::uint32_t(bmp[at + 1]) << 8 |
               std::uint32_t(bmp[at + 2]) << 16 | std::uint32_t(bmp[at + 3]) << 24;
    };
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = std::uint8_t(v >> (8 * i));
    };
    constexpr std::size_t kInfo = 14, kOldEnd = kInfo + 40;
    const std::uint32_t extra = infoSize - 40;
    bmp.insert(bmp.begin() + kOldEnd, extra, 0);
    put32(2, get32(2) + extra);
    put32(10, get32(10) + extra);
    put32(kInfo, infoSize);
    if (bitfields) {
        put32(kInfo + 16, 3);
        put32(kInfo + 40, 0x00FF0000);
        put32(kInfo + 44, 0x0000FF00);
        put32(kInfo + 48, 0x000000FF);
        put32(kInfo + 52, 0xFF000000);
    }
    put32(kInfo + 56, 0x73524742); // "sRGB"
    return bmp;
}

} // namespace velmora::testkit
