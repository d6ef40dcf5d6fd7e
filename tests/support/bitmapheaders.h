// Bitmap headers of today's tools (BITMAPV4HEADER, 108 bytes, and
// BITMAPV5HEADER, 124 bytes) around the pixels of a 40-byte bitmap, and
// bitmap files of any kind written field by field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace velmora::testkit {

// What a bitmap file holds, field by field.
struct BitmapDraft {
    std::uint32_t infoSize = 40; // 12, 40, 64, 108 or 124
    int width = 1, height = 1;   // a negative height: stored top-down
    int bitsPerPixel = 24;
    std::uint32_t compression = 0;      // 1, 2: run-length coded, 3: colour masks
    std::vector<std::uint32_t> palette; // 0x00RRGGBB per entry
    std::int32_t coloursUsed = 0;       // the header's palette size
    std::vector<std::uint32_t> masks;   // red, green, blue: after the header, or in a V4/V5 one
    std::vector<std::uint8_t> data;     // stored rows, or the run-length stream
};

// The file: headers, masks, palette and data, one after the other.
inline std::vector<std::uint8_t> BitmapFile(const BitmapDraft& draft) {
    std::vector<std::uint8_t> file;
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file.push_back(std::uint8_t(value >> (8 * i)));
    };
    const bool core = draft.infoSize == 12, wide = draft.infoSize >= 108;
    const std::size_t masksAfter = wide ? 0 : 4 * draft.masks.size();
    const std::size_t paletteBytes = draft.palette.size() * (core ? 3 : 4);
    const std::uint32_t dataOffset = std::uint32_t(14 + draft.infoSize + masksAfter + paletteBytes);
    file = {'B', 'M'};
    put(dataOffset + std::uint32_t(draft.data.size()), 4);
    put(0, 4);
    put(dataOffset, 4);
    put(draft.infoSize, 4);
    put(std::uint32_t(draft.width), core ? 2 : 4);
    put(std::uint32_t(draft.height), core ? 2 : 4);
    put(1, 2);
    put(std::uint32_t(draft.bitsPerPixel), 2);
    if (!core) {
        put(draft.compression, 4);
        put(std::uint32_t(draft.data.size()), 4);
        put(2835, 4); // 72 dpi
        put(2835, 4);
        put(std::uint32_t(draft.coloursUsed), 4);
        put(0, 4);
        for (std::size_t i = 0; wide && i < 4; ++i)
            put(i < draft.masks.size() ? draft.masks[i] : 0, 4);
        file.resize(14 + draft.infoSize, 0);
    }
    for (std::size_t i = 0; i < draft.masks.size() && !wide; ++i)
        put(draft.masks[i], 4);
    for (const std::uint32_t colour : draft.palette)
        put(colour, core ? 3 : 4);
    file.insert(file.end(), draft.data.begin(), draft.data.end());
    return file;
}

// `rows` stored rows of `width` values at `bits` each (packed high bits
// first below 8 bits, little-endian above), each padded to 4 bytes;
// value(x, row) gives the value of stored row `row`.
inline std::vector<std::uint8_t>
PackedRows(int width, int rows, int bits,
           const std::function<std::uint32_t(int x, int row)>& value) {
    const std::size_t rowBytes = (std::size_t(width) * bits + 31) / 32 * 4;
    std::vector<std::uint8_t> data(rowBytes * rows, 0);
    for (int row = 0; row < rows; ++row) {
        std::uint8_t* out = data.data() + rowBytes * row;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = value(x, row);
            if (bits < 8)
                out[x * bits / 8] |= std::uint8_t(v << (8 - bits - x * bits % 8));
            for (int i = 0; i < bits / 8; ++i)
                out[x * (bits / 8) + i] = std::uint8_t(v >> (8 * i));
        }
    }
    return data;
}

// A run-length stream (bits 8 or 4) of `rows` stored rows of `width` palette
// indexes, value(x, row), that skips no pixel: three or more equal indexes as
// a repeated run, the others in literal groups of three or more or else as
// runs of one or two; each row ends with a row end, the last with the
// picture's end.
inline std::vector<std::uint8_t>
RunLengthStream(int width, int rows, int bits,
                const std::function<std::uint32_t(int x, int row)>& value) {
    std::vector<std::uint8_t> stream;
    for (int row = 0; row < rows; ++row) {
        const auto at = [&](int x) { return std::uint8_t(value(x, row)); };
        const auto runAt = [&](int x) {
            int n = 1;
            while (x + n < width && n < 255 && at(x + n) == at(x))
                ++n;
            return n;
        };
        for (int x = 0; x < width;) {
            int literal = 0;
            while (x + literal < width && literal < 255 && runAt(x + literal) < 3)
                ++literal;
            if (literal < 3) {
                const int n = runAt(x);
                stream.push_back(std::uint8_t(n));
                stream.push_back(bits == 8 ? at(x) : std::uint8_t(at(x) << 4 | at(x)));
                x += n;
                continue;
            }
            std::vector<std::uint8_t> packed;
            for (int i = 0; i < literal; ++i) {
                if (bits == 8)
                    packed.push_back(at(x + i));
                else if (i % 2 == 0)
                    packed.push_back(std::uint8_t(at(x + i) << 4));
                else
                    packed.back() |= at(x + i);
            }
            if (packed.size() % 2)
                packed.push_back(0);
            stream.push_back(0);
            stream.push_back(std::uint8_t(literal));
            stream.insert(stream.end(), packed.begin(), packed.end());
            x += literal;
        }
        stream.push_back(0);
        stream.push_back(row + 1 < rows ? 0 : 1);
    }
    return stream;
}

// A 16-bit bitmap of 5-6-5 colour masks (40-byte header), every pixel `pixel`.
inline std::vector<std::uint8_t> Bitmap565(int width, int height, std::uint16_t pixel) {
    BitmapDraft draft;
    draft.width = width;
    draft.height = height;
    draft.bitsPerPixel = 16;
    draft.compression = 3;
    draft.masks = {0xF800, 0x07E0, 0x001F};
    draft.data = PackedRows(width, height, 16, [&](int, int) { return pixel; });
    return BitmapFile(draft);
}

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
