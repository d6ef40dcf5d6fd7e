#include "imageio/orientation.h"

#include "imageio/tiffblock.h"

namespace velmora::imageio {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;

} // namespace

int exifOrientation(const std::string& exif) {
    const TiffBlock tiff = TiffBlock::fromExif(exif);
    if (!tiff.valid())
        return kUpright;
    const auto entries = tiff.entries(tiff.firstIfd());
    if (!entries)
        return kUpright;
    for (const IfdEntry& entry : *entries) {
        if (entry.tag != kOrientationTag)
            continue;
        if (entry.type != kTiffShort || entry.count != 1)
            return kUpright;
        const int value = static_cast<int>(tiff.number(entry.at + 8, 2));
        return value >= 1 && value <= 8 ? value : kUpright;
    }
    return kUpright;
}

void placeUpright(const std::uint32_t* rows, std::ptrdiff_t rowStride, int first, int count,
                  const Size& stored, int orientation, std::uint32_t* upright,
                  std::ptrdiff_t uprightStride) {
    const std::ptrdiff_t w = stored.width(), h = stored.height(), s = uprightStride;
    // Where stored pixel (0, 0) goes, and how far one step along a stored row
    // (x) and down a stored column (y) moves in the upright picture.
    std::ptrdiff_t origin = 0, xStep = 1, yStep = s;
    switch (orientation) {
    case 2:
        origin = w - 1, xStep = -1, yStep = s;
        break;
    case 3:
        origin = (h - 1) * s + w - 1, xStep = -1, yStep = -s;
        break;
    case 4:
        origin = (h - 1) * s, xStep = 1, yStep = -s;
        break;
    case 5:
        origin = 0, xStep = s, yStep = 1;
        break;
    case 6:
        origin = h - 1, xStep = s, yStep = -1;
        break;
    case 7:
        origin = (w - 1) * s + h - 1, xStep = -s, yStep = -1;
        break;
    case 8:
        origin = (w - 1) * s, xStep = -s, yStep = 1;
        break;
    default:
        break;
    }
    if (!swapsSides(orientation)) {
        for (int i = 0; i < count; ++i) {
            const std::uint32_t* src = rows + i * rowStride;
            std::uint32_t* dst = upright + origin + (first + i) * yStep;
            for (std::ptrdiff_t x = 0; x < w; ++x, dst += xStep)
                *dst = src[x];
        }
        return;
    }
    // A stored row becomes an upright column: column by column, the strip's
    // rows land side by side in one upright row, which keeps the writes in a
    // few cache lines at a time.
    for (std::ptrdiff_t x = 0; x < w; ++x) {
        std::uint32_t* dst = upright + origin + x * xStep + first * yStep;
        for (int i = 0; i < count; ++i, dst += yStep)
            *dst = rows[i * rowStride + x];
    }
}

} // namespace velmora::imageio
