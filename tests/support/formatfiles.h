// PNG, TIFF, GIF and WebP files of the layouts the readers meet, made with
// each format's own library from a picture, for the tests.
#pragma once

#include <QByteArray>
#include <QImage>

namespace velmora::testkit {

// PNG: colour type and bit depth; samples of 16 bits carry low bytes that
// test the rounding; alpha varies over the picture.
enum class PngLayout {
    Grey1,
    Grey4,
    Grey8,
    Grey16,
    GreyAlpha8,
    Palette4,
    Palette8,
    Rgb8,
    Rgb16,
    Rgba8,
    Rgba16
};
struct PngSpec {
    PngLayout layout = PngLayout::Rgb8;
    bool interlaced = false;
    bool transparentKey = false; // tRNS: the first pixel's grey or colour, or palette alphas
    QByteArray exif;             // an eXIf chunk (the TIFF data, without "Exif\0\0")
};
QByteArray EncodePng(const QImage& picture, const PngSpec& spec);

enum class TiffLayout {
    Rgb8,
    RgbaAssociated,
    RgbaUnassociated,
    Grey8,
    Palette8,
    Mono,
    Rgb16,
    YCbCrJpeg
};
struct TiffSpec {
    TiffLayout layout = TiffLayout::Rgb8;
    int compression = 1; // libtiff's COMPRESSION_ value
    int rowsPerStrip = 8;
    bool tiled = false;
    int orientation = 1;
};
QByteArray EncodeTiff(const QImage& picture, const TiffSpec& spec);

// GIF: the picture's colours in 64 levels, as the first image at (left, top)
// of a screen `border` pixels larger each way; a second image after it.
struct GifSpec {
    bool interlaced = false;
    int transparent = -1; // the transparent index
    bool localPalette = false;
    int border = 0;
    bool secondImage = false;
};
QByteArray EncodeGif(const QImage& picture, const GifSpec& spec);

// WebP, lossless or lossy, with an alpha that varies when asked, and an EXIF
// chunk (TIFF data) when given.
QByteArray EncodeWebp(const QImage& picture, bool lossless, bool alpha,
                      const QByteArray& exif = {});

} // namespace velmora::testkit
