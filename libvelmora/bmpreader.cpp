#include "bmpreader.h"

#include <unistd.h>

#include <cerrno>
#include <climits>

namespace velmora {

namespace {

// A 14-byte file header ("BM", file size, reserved, pixel data offset), then
// the info header, whose first field is its own size.
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12; // OS/2 1.x: 16-bit fields
constexpr std::uint32_t kInfoHeaderSize = 40; // Windows: 32-bit signed fields
constexpr std::uint32_t kOs2HeaderSize = 64;  // OS/2 2.x: the Windows fields and more
constexpr std::uint32_t kV4HeaderSize = 108;  // Windows: the 40 bytes, colour masks, colour space
constexpr std::uint32_t kV5HeaderSize = 124;  // Windows: the V4 fields, intent and profile
constexpr int kPaletteSize = 256;
constexpr std::uint32_t kBitfields = 3;
// The masks of blue, green, red in the first three bytes of a 32-bit pixel:
// the layout of an uncompressed one, which is how the rows are read.
constexpr std::uint32_t kRedMask = 0x00FF0000, kGreenMask = 0x0000FF00, kBlueMask = 0x000000FF;

std::uint32_t le16(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}

std::uint32_t le32(const unsigned char* p) {
    return le16(p) | le16(p + 2) << 16;
}

// Two's complement, as the header's signed fields are stored.
std::int64_t le32Signed(const unsigned char* p) {
    const std::uint32_t v = le32(p);
    return v < 0x80000000u ? std::int64_t(v) : std::int64_t(v) - (std::int64_t(1) << 32);
}

// Reads exactly size bytes at offset: VELMORA_E_NOT_A_BITMAP when the file
// ends first, VELMORA_E_SOURCE_UNREADABLE on a read error.
int readAt(int fd, unsigned char* buffer, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buffer + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return VELMORA_E_SOURCE_UNREADABLE;
        if (n == 0)
            return VELMORA_E_NOT_A_BITMAP;
        done += std::size_t(n);
    }
    return VELMORA_OK;
}

struct Fields {
    std::uint32_t infoSize = 0;
    std::int64_t width = 0, height = 0;
    std::uint32_t planes = 0, bitsPerPixel = 0, compression = 0;
    std::int64_t coloursUsed = 0;
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0; // V4 and V5 headers
};

bool wideHeader(std::uint32_t infoSize) {
    return infoSize == kV4HeaderSize || infoSize == kV5HeaderSize;
}

Fields decode(const unsigned char* h, std::uint32_t infoSize) {
    const unsigned char* info = h + kFileHeaderSize;
    Fields f;
    f.infoSize = infoSize;
    if (infoSize == kCoreHeaderSize) {
        f.width = le16(info + 4);
        f.height = le16(info + 6);
        f.planes = le16(info + 8);
        f.bitsPerPixel = le16(info + 10);
    } else {
        f.width = le32Signed(info + 4);
        f.height = le32Signed(info + 8); // negative: rows stored top-down
        f.planes = le16(info + 12);
        f.bitsPerPixel = le16(info + 14);
        f.compression = le32(info + 16);
        f.coloursUsed = le32Signed(info + 32);
    }
    if (wideHeader(infoSize)) {
        f.redMask = le32(info + 40);
        f.greenMask = le32(info + 44);
        f.blueMask = le32(info + 48);
    }
    return f;
}

// A V4 or V5 header: 24 or 32 bits, uncompressed or 32-bit bit fields laid
// out as uncompressed pixels are.
int checkWideKind(const Fields& f) {
    const bool plain = f.compression == 0 && (f.bitsPerPixel == 24 || f.bitsPerPixel == 32);
    const bool usualMasks = f.compression == kBitfields && f.bitsPerPixel == 32 &&
                            f.redMask == kRedMask && f.greenMask == kGreenMask &&
                            f.blueMask == kBlueMask;
    return f.planes == 1 && (plain || usualMasks) ? VELMORA_OK : VELMORA_E_NOT_A_BITMAP;
}

// The pixel kinds read: see the header. A palette has coloursUsed entries, or
// 256 when that field is 0 or negative; more than 256 is refused.
int checkKind(const Fields& f, int* paletteEntries) {
    *paletteEntries = 0;
    if (wideHeader(f.infoSize))
        return checkWideKind(f);
    if (f.planes != 1 || f.compression != 0)
        return VELMORA_E_NOT_A_BITMAP;
    const bool core = f.infoSize == kCoreHeaderSize;
    if (f.bitsPerPixel != 8 && f.bitsPerPixel != 24 && (f.bitsPerPixel != 32 || core))
        return VELMORA_E_NOT_A_BITMAP;
    if (f.bitsPerPixel == 8) {
        if (f.coloursUsed > kPaletteSize)
            return VELMORA_E_NOT_A_BITMAP;
        *paletteEntries = f.coloursUsed > 0 ? int(f.coloursUsed) : kPaletteSize;
    }
    return VELMORA_OK;
}

int readPalette(int fd, const Fields& f, int entries, BmpLayout* layout) {
    const std::size_t entrySize = f.infoSize == kCoreHeaderSize ? 3 : 4;
    std::vector<unsigned char> raw(entrySize * std::size_t(entries));
    if (const int rc = readAt(fd, raw.data(), raw.size(), kFileHeaderSize + f.infoSize))
        return rc;
    layout->bgr.resize(3 * std::size_t(entries));
    for (int i = 0; i < entries; ++i) {
        for (int c = 0; c < 3; ++c)
            layout->bgr[3 * std::size_t(i) + c] = raw[entrySize * i + c];
    }
    return VELMORA_OK;
}

} // namespace

int Read_Bmp_Layout(int fd, std::uint64_t fileSize, BmpLayout* layout) {
    unsigned char h[kFileHeaderSize + kV5HeaderSize] = {};
    if (const int rc = readAt(fd, h, kFileHeaderSize + 4, 0))
        return rc;
    if (h[0] != 'B' || h[1] != 'M')
        return VELMORA_E_NOT_A_BITMAP;
    const std::uint32_t dataOffset = le32(h + 10);
    const std::uint32_t infoSize = le32(h + kFileHeaderSize);
    if (infoSize != kCoreHeaderSize && infoSize != kInfoHeaderSize && infoSize != kOs2HeaderSize &&
        !wideHeader(infoSize))
        return VELMORA_E_NOT_A_BITMAP; // unknown headers
    if (const int rc = readAt(fd, h, kFileHeaderSize + infoSize, 0))
        return rc;
    const Fields f = decode(h, infoSize);
    // Top-down (negative height) and empty images are refused.
    if (f.width <= 0 || f.height <= 0)
        return VELMORA_E_NOT_A_BITMAP;
    if (f.width > VELMORA_MAX_DIMENSION || f.height > VELMORA_MAX_DIMENSION)
        return VELMORA_E_TOO_LARGE;
    int entries = 0;
    if (const int rc = checkKind(f, &entries))
        return rc;
    const std::uint64_t paletteBytes =
        std::uint64_t(entries) * (infoSize == kCoreHeaderSize ? 3 : 4);
    if (dataOffset < kFileHeaderSize + infoSize + paletteBytes || dataOffset > INT_MAX)
        return VELMORA_E_NOT_A_BITMAP;
    // With sides below 2^16 and at most 32 bits a pixel, no product here
    // comes near 64 bits.
    const std::uint64_t rowBytes = (std::uint64_t(f.width) * f.bitsPerPixel + 31) / 32 * 4;
    if (dataOffset + rowBytes * std::uint64_t(f.height) > fileSize)
        return VELMORA_E_NOT_A_BITMAP;
    layout->width = int(f.width);
    layout->height = int(f.height);
    layout->bitsPerPixel = int(f.bitsPerPixel);
    layout->dataOffset = dataOffset;
    layout->rowBytes = rowBytes;
    return entries > 0 ? readPalette(fd, f, entries, layout) : VELMORA_OK;
}

jpeg::PixelLayout BmpStrips::pixelLayout() const {
    return layout_.bitsPerPixel == 32 ? jpeg::PixelLayout::Bgrx : jpeg::PixelLayout::Bgr;
}

int BmpStrips::read(int first, int count, std::vector<unsigned char>& scratch,
                    unsigned char** rows) {
    // Image rows first .. first + count - 1 are file rows height - first -
    // count .. height - first - 1: one run of bytes, stored bottom row first.
    const std::size_t fileBytes = std::size_t(layout_.rowBytes) * std::size_t(count);
    const std::uint64_t offset =
        layout_.dataOffset + layout_.rowBytes * std::uint64_t(layout_.height - first - count);
    const bool indexed = layout_.bitsPerPixel == 8;
    const std::size_t pixelBytes = indexed ? std::size_t(layout_.width) * 3 * count : 0;
    if (scratch.size() < fileBytes + pixelBytes)
        scratch.resize(fileBytes + pixelBytes);
    if (const int rc = readAt(fd_, scratch.data(), fileBytes, offset))
        return rc;
    for (int i = 0; i < count; ++i)
        rows[i] = scratch.data() + std::size_t(count - 1 - i) * layout_.rowBytes;
    if (!indexed)
        return VELMORA_OK;

    const std::size_t entries = layout_.bgr.size() / 3;
    unsigned char* out = scratch.data() + fileBytes;
    for (int i = 0; i < count; ++i) {
        const unsigned char* index = rows[i];
        rows[i] = out;
        for (int x = 0; x < layout_.width; ++x, out += 3) {
            if (index[x] >= entries)
                return VELMORA_E_NOT_A_BITMAP;
            const unsigned char* colour = &layout_.bgr[3 * std::size_t(index[x])];
            out[0] = colour[0];
            out[1] = colour[1];
            out[2] = colour[2];
        }
    }
    return VELMORA_OK;
}

} // namespace velmora
