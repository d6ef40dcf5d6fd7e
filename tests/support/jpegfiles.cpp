#include "tests/support/jpegfiles.h"

#include <QtEndian>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace velmora::testkit {

QImage Colourful(int width, int height, quint32 seed) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int blue = (x * y + int(seed >> 26)) & 0xFF;
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, blue));
        }
    return image;
}

QByteArray EncodeJpeg(const QImage& picture, JpegKind kind) {
    using K = JpegKind;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &data, &size);
    const bool cmyk = kind == K::Cmyk || kind == K::Ycck;
    c.image_width = picture.width();
    c.image_height = picture.height();
    c.input_components = cmyk ? 4 : 3;
    c.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    if (kind == K::Grayscale || kind == K::GrayscaleProgressive || kind == K::Ycck)
        jpeg_set_colorspace(&c, kind == K::Ycck ? JCS_YCCK : JCS_GRAYSCALE);
    const bool chroma420 = kind == K::Baseline420 || kind == K::Progressive420;
    c.comp_info[0].h_samp_factor = chroma420 || kind == K::Baseline422 ? 2 : 1;
    c.comp_info[0].v_samp_factor = chroma420 ? 2 : 1;
    if (kind == K::Progressive420 || kind == K::GrayscaleProgressive)
        jpeg_simple_progression(&c);
    c.restart_in_rows = kind == K::RestartMarkers ? 1 : 0;
    c.arith_code = kind == K::Arithmetic;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row;
    for (int y = 0; y < picture.height(); ++y) {
        row.clear();
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            row.insert(row.end(), {JSAMPLE(qRed(p)), JSAMPLE(qGreen(p)), JSAMPLE(qBlue(p))});
            if (cmyk)
                row.push_back(JSAMPLE(255 - (qRed(p) + qBlue(p)) / 4));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    std::free(data);
    return file;
}

QByteArray WithSegment(const QByteArray& jpeg, int marker, const QByteArray& payload) {
    QByteArray segment("\xFF\0\0\0", 4);
    segment[1] = char(marker);
    qToBigEndian<quint16>(quint16(payload.size() + 2), segment.data() + 2);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

QByteArray WithIccProfile(const QByteArray& jpeg, const QByteArray& profile, int chunkBytes) {
    const int chunks = int(profile.size() + chunkBytes - 1) / chunkBytes;
    QByteArray file = jpeg;
    for (int i = chunks; i >= 1; --i)
        file = WithSegment(file, 0xE2,
                           QByteArray("ICC_PROFILE\0", 12) + char(i) + char(chunks) +
                               profile.mid((i - 1) * chunkBytes, chunkBytes));
    return file;
}

std::vector<std::pair<int, QByteArray>> AppSegments(const QByteArray& jpeg) {
    std::vector<std::pair<int, QByteArray>> segments;
    for (qsizetype at = 2; at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF;) {
        const int marker = uchar(jpeg[at + 1]);
        const int length = qFromBigEndian<quint16>(jpeg.constData() + at + 2);
        if (marker == 0xDA)
            break;
        if (marker >= 0xE0 && marker <= 0xEF)
            segments.emplace_back(marker, jpeg.mid(at + 4, length - 2));
        at += 2 + length;
    }
    return segments;
}

QByteArray ExifOrientationBlock(int orientation, bool bigEndian) {
    // TIFF header, then IFD0 at 8 with one entry: tag 0x0112, SHORT, count 1,
    // the orientation; no IFD after it.
    QByteArray tiff = bigEndian
                          ? QByteArray("MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 18)
                          : QByteArray("II\x2A\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18);
    tiff += QByteArray(8, '\0');
    tiff[bigEndian ? 19 : 18] = char(orientation);
    return QByteArray("Exif\0\0", 6) + tiff;
}

} // namespace velmora::testkit
