#include "imageio/formatreader.h"

#include "imageio/gifreader.h"
#include "imageio/pngreader.h"
#include "imageio/tiffreader.h"
#include "imageio/webpreader.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace velmora::imageio {

namespace {

bool startsWith(const unsigned char* head, std::size_t size, const char* signature,
                std::size_t length) {
    return size >= length && std::memcmp(head, signature, length) == 0;
}

} // namespace

PictureFormat formatOf(const unsigned char* head, std::size_t size) {
    const auto is = [&](const char* signature, std::size_t length, std::size_t at = 0) {
        return size >= at && startsWith(head + at, size - at, signature, length);
    };
    if (is("\xFF\xD8", 2))
        return PictureFormat::Jpeg;
    if (is("BM", 2))
        return PictureFormat::Bitmap;
    if (is("\x89PNG\r\n\x1A\n", 8))
        return PictureFormat::Png;
    // Classic TIFF (42) and BigTIFF (43), both byte orders.
    if (is("II*\0", 4) || is("MM\0*", 4) || is("II+\0", 4) || is("MM\0+", 4))
        return PictureFormat::Tiff;
    if (is("RIFF", 4) && is("WEBP", 4, 8))
        return PictureFormat::WebP;
    if (is("GIF87a", 6) || is("GIF89a", 6))
        return PictureFormat::Gif;
    return PictureFormat::Unknown;
}

std::unique_ptr<FormatReader> makeFormatReader(PictureFormat format, const ByteSource& source) {
    switch (format) {
    case PictureFormat::Png:
        return makePngReader(source);
    case PictureFormat::Tiff:
        return makeTiffReader(source);
    case PictureFormat::WebP:
        return makeWebpReader(source);
    case PictureFormat::Gif:
        return makeGifReader(source);
    default:
        return nullptr;
    }
}

namespace formats {

std::vector<unsigned char> exifPayload(const unsigned char* data, std::size_t size) {
    static constexpr char kExifId[] = "Exif\0"; // and its NUL: six bytes
    std::vector<unsigned char> payload;
    if (!startsWith(data, size, kExifId, sizeof kExifId))
        payload.assign(kExifId, kExifId + sizeof kExifId);
    payload.insert(payload.end(), data, data + size);
    return payload;
}

long long readSome(const ByteSource& source, std::uint64_t offset, unsigned char* buffer,
                   std::size_t count) {
    const std::uint64_t size = source.size();
    if (offset >= size)
        return 0;
    count = std::size_t(std::min<std::uint64_t>(count, size - offset));
    const BitmapStatus status = source.readAt(offset, buffer, count);
    if (status == BitmapStatus::Ok)
        return static_cast<long long>(count);
    // The file grew shorter than it said: its end is here.
    return status == BitmapStatus::NotABitmap ? 0 : -1;
}

bool sidesFit(long long width, long long height) {
    return width > 0 && height > 0 && width <= INT_MAX / 4 && height <= INT_MAX;
}

void makeOpaque(std::uint32_t* row, int width) {
    for (int x = 0; x < width; ++x)
        row[x] |= 0xFF000000u;
}

} // namespace formats

} // namespace velmora::imageio
