#include "platform/orientation.h"

namespace velmora::platform {

namespace {

constexpr char kExifId[] = "Exif\0\0"; // 6 bytes before the TIFF structure
constexpr int kExifIdBytes = 6;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;
constexpr int kEntryBytes = 12;

// Reads the TIFF structure's numbers in its own byte order ("II" little,
// "MM" big endian), refusing any read past its end.
class Tiff {
  public:
    explicit Tiff(const QByteArray& data) : data_(data) {}
    bool valid() const {
        return data_.size() >= 8 && (data_.startsWith("II") || data_.startsWith("MM"));
    }
    bool fits(qsizetype at, qsizetype bytes) const {
        return at >= 0 && bytes >= 0 && at <= data_.size() - bytes;
    }
    std::uint32_t number(qsizetype at, int bytes) const {
        const bool little = data_.startsWith("II");
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const auto b = static_cast<unsigned char>(data_[at + (little ? bytes - 1 - i : i)]);
            v = (v << 8) | b;
        }
        return v;
    }

  private:
    const QByteArray& data_;
};

} // namespace

int ExifOrientation(const QByteArray& exif) {
    if (!exif.startsWith(QByteArray(kExifId, kExifIdBytes)))
        return kUpright;
    const QByteArray data = exif.mid(kExifIdBytes);
    const Tiff tiff(data);
    if (!tiff.valid() || tiff.number(2, 2) != 42)
        return kUpright;
    const qsizetype ifd = tiff.number(4, 4);
    if (!tiff.fits(ifd, 2))
        return kUpright;
    const int entries = static_cast<int>(tiff.number(ifd, 2));
    for (int i = 0; i < entries; ++i) {
        const qsizetype entry = ifd + 2 + qsizetype(i) * kEntryBytes;
        if (!tiff.fits(entry, kEntryBytes))
            return kUpright;
        if (tiff.number(entry, 2) != kOrientationTag)
            continue;
        if (tiff.number(entry + 2, 2) != kShortType || tiff.number(entry + 4, 4) != 1)
            return kUpright;
        const int value = static_cast<int>(tiff.number(entry + 8, 2));
        return value >= 1 && value <= 8 ? value : kUpright;
    }
    return kUpright;
}

void PlaceUpright(const std::uint32_t* rows, std::ptrdiff_t rowStride, int first, int count,
                  const QSize& stored, int orientation, std::uint32_t* upright,
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
    if (!SwapsSides(orientation)) {
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

} // namespace velmora::platform
