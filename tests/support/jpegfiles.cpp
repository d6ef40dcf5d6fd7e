#include "tests/support/jpegfiles.h"

#include <QtEndian>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace velmora::testkit {

namespace {

struct Memory {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~Memory() { std::free(data); }
};

void setSampling(jpeg_compress_struct& c, int h, int v) {
    c.comp_info[0].h_samp_factor = h;
    c.comp_info[0].v_samp_factor = v;
}

// One row of the picture in the encoder's input layout.
std::vector<JSAMPLE> row(const QImage& picture, int y, bool cmyk) {
    std::vector<JSAMPLE> out;
    for (int x = 0; x < picture.width(); ++x) {
        const QRgb p = picture.pixel(x, y);
        out.push_back(qRed(p));
        out.push_back(qGreen(p));
        out.push_back(qBlue(p));
        if (cmyk)
            out.push_back(static_cast<JSAMPLE>(255 - (qRed(p) + qBlue(p)) / 4));
    }
    return out;
}

} // namespace

QImage Colourful(int width, int height, quint32 seed) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            image.setPixel(x, y,
                           qRgb(x * 255 / width, y * 255 / height, (x * y + (seed >> 26)) & 0xFF));
        }
    return image;
}

QByteArray EncodeJpeg(const QImage& picture, JpegKind kind) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    Memory memory;
    jpeg_mem_dest(&c, &memory.data, &memory.size);
    const bool gray = kind == JpegKind::Grayscale || kind == JpegKind::GrayscaleProgressive;
    const bool cmyk = kind == JpegKind::Cmyk || kind == JpegKind::Ycck;
    c.image_width = picture.width();
    c.image_height = picture.height();
    c.input_components = cmyk ? 4 : 3;
    c.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    if (gray)
        jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    if (kind == JpegKind::Ycck)
        jpeg_set_colorspace(&c, JCS_YCCK);
    setSampling(c, 1, 1);
    if (kind == JpegKind::Baseline420 || kind == JpegKind::Progressive420)
        setSampling(c, 2, 2);
    if (kind == JpegKind::Baseline422)
        setSampling(c, 2, 1);
    if (kind == JpegKind::Progressive420 || kind == JpegKind::GrayscaleProgressive)
        jpeg_simple_progression(&c);
    if (kind == JpegKind::RestartMarkers)
        c.restart_in_rows = 1;
    if (kind == JpegKind::Arithmetic)
        c.arith_code = TRUE;
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < picture.height(); ++y) {
        std::vector<JSAMPLE> line = row(picture, y, cmyk);
        JSAMPROW rows[1] = {line.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return QByteArray(reinterpret_cast<const char*>(memory.data), qsizetype(memory.size));
}

QByteArray WithSegment(const QByteArray& jpeg, int marker, const QByteArray& payload) {
    QByteArray segment(4, '\0');
    segment[0] = char(0xFF);
    segment[1] = char(marker);
    qToBigEndian<quint16>(quint16(payload.size() + 2), segment.data() + 2);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

QByteArray ExifOrientationBlock(int orientation, bool bigEndian) {
    // TIFF header, IFD0 at 8 with one entry (tag 0x0112, SHORT, count 1), no next IFD.
    QByteArray tiff(8 + 2 + 12 + 4, '\0');
    auto* p = reinterpret_cast<uchar*>(tiff.data());
    const auto put = [&](int at, quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
            p[at + i] = uchar(v >> shift);
        }
    };
    tiff[0] = tiff[1] = bigEndian ? 'M' : 'I';
    put(2, 42, 2);
    put(4, 8, 4);
    put(8, 1, 2);
    put(10, 0x0112, 2);
    put(12, 3, 2);
    put(14, 1, 4);
    put(18, quint32(orientation), 2);
    return QByteArray("Exif\0\0", 6) + tiff;
}

} // namespace velmora::testkit
