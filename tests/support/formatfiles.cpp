#include "tests/support/formatfiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <vector>

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

namespace velmora::testkit {

namespace {

using Bytes = std::vector<unsigned char>;

// What varies beside the colours: an alpha and the low byte of 16-bit samples.
int alphaAt(int x, int y) {
    return (x * 37 + y * 11) & 0xFF;
}
int lowAt(int x, int y) {
    return (x * 7 + y * 13) & 0xFF;
}
void put16(Bytes& row, int high, int low) {
    row.push_back(static_cast<unsigned char>(high));
    row.push_back(static_cast<unsigned char>(low));
}
// Palette indices: 2 bits of red, 1 of green, 1 of blue (16), or 3, 3, 2 (256).
int paletteIndex(QRgb p, bool small) {
    return small ? (qRed(p) >> 6) << 2 | (qGreen(p) >> 7) << 1 | qBlue(p) >> 7
                 : (qRed(p) >> 5) << 5 | (qGreen(p) >> 5) << 2 | qBlue(p) >> 6;
}
QRgb paletteColour(int i, bool small) {
    return small ? qRgb((i >> 2) * 85, (i >> 1 & 1) * 255, (i & 1) * 255)
                 : qRgb((i >> 5) * 255 / 7, (i >> 2 & 7) * 255 / 7, (i & 3) * 85);
}

extern "C" void appendPng(png_structp png, png_bytep data, std::size_t size) {
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<char*>(data), qsizetype(size));
}
extern "C" void flushPng(png_structp) {}

} // namespace

QByteArray EncodePng(const QImage& picture, const PngSpec& spec) {
    using L = PngLayout;
    const L l = spec.layout;
    const int w = picture.width(), h = picture.height();
    const bool small = l == L::Palette4;
    const int depth = l == L::Grey1                                       ? 1
                      : l == L::Grey4 || small                            ? 4
                      : l == L::Grey16 || l == L::Rgb16 || l == L::Rgba16 ? 16
                                                                          : 8;
    const int type = l <= L::Grey16       ? PNG_COLOR_TYPE_GRAY
                     : l == L::GreyAlpha8 ? PNG_COLOR_TYPE_GRAY_ALPHA
                     : l <= L::Palette8   ? PNG_COLOR_TYPE_PALETTE
                     : l <= L::Rgb16      ? PNG_COLOR_TYPE_RGB
                                          : PNG_COLOR_TYPE_RGB_ALPHA;
    const auto grey = [&](QRgb p) { return qGray(p) >> (8 - std::min(depth, 8)); };
    std::vector<Bytes> rows(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb p = picture.pixel(x, y);
            Bytes& row = rows[std::size_t(y)];
            const int channels[] = {qRed(p), qGreen(p), qBlue(p)};
            if (type == PNG_COLOR_TYPE_PALETTE)
                row.push_back(static_cast<unsigned char>(paletteIndex(p, small)));
            else if (type & PNG_COLOR_MASK_COLOR)
                for (const int c : channels)
                    depth == 16 ? put16(row, c, lowAt(x, y)) : row.push_back(uchar(c));
            else
                depth == 16 ? put16(row, grey(p), lowAt(x, y)) : row.push_back(uchar(grey(p)));
            if (type & PNG_COLOR_MASK_ALPHA)
                depth == 16 ? put16(row, alphaAt(x, y), x) : row.push_back(uchar(alphaAt(x, y)));
        }
    QByteArray file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &file, appendPng, flushPng);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, type,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;
    for (int i = 0; type == PNG_COLOR_TYPE_PALETTE && i < (small ? 16 : 256); ++i) {
        const QRgb c = paletteColour(i, small);
        palette.push_back({png_byte(qRed(c)), png_byte(qGreen(c)), png_byte(qBlue(c))});
        alphas.push_back(png_byte(i * 16));
    }
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (spec.transparentKey) {
        const QRgb first = picture.pixel(0, 0);
        const int scale = depth == 16 ? 257 : 1;
        png_color_16 key{0, png_uint_16(qRed(first) * scale), png_uint_16(qGreen(first) * scale),
                         png_uint_16(qBlue(first) * scale), png_uint_16(grey(first) * scale)};
        if (depth == 16)
            key.gray = png_uint_16(grey(first) << 8 | lowAt(0, 0));
        png_set_tRNS(png, info, alphas.data(), int(std::min<std::size_t>(alphas.size(), 16)), &key);
    }
    if (!spec.exif.isEmpty())
        png_set_eXIf_1(png, info, png_uint_32(spec.exif.size()),
                       reinterpret_cast<png_bytep>(const_cast<char*>(spec.exif.constData())));
    png_write_info(png, info);
    if (depth < 8)
        png_set_packing(png);
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows)
        pointers.push_back(row.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

QByteArray EncodeTiff(const QImage& picture, const TiffSpec& spec) {
    using L = TiffLayout;
    const L l = spec.layout;
    const int w = picture.width(), h = picture.height();
    const int samples = l == L::Rgb8 || l == L::Rgb16 || l == L::YCbCrJpeg   ? 3
                        : l == L::RgbaAssociated || l == L::RgbaUnassociated ? 4
                                                                             : 1;
    const int bits = l == L::Mono ? 1 : l == L::Rgb16 ? 16 : 8;
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("picture.tif"));
    TIFFSetWarningHandler(nullptr);
    TIFF* tiff = TIFFOpen(path.constData(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, spec.orientation);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION,
                 l == L::YCbCrJpeg ? COMPRESSION_JPEG : spec.compression);
    const int photometric = samples >= 3       ? PHOTOMETRIC_RGB
                            : l == L::Palette8 ? PHOTOMETRIC_PALETTE
                                               : PHOTOMETRIC_MINISBLACK;
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, l == L::YCbCrJpeg ? PHOTOMETRIC_YCBCR : photometric);
    if (l == L::YCbCrJpeg)
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    if (samples == 4) {
        const uint16_t extra =
            l == L::RgbaAssociated ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    std::vector<uint16_t> map[3];
    for (int i = 0; l == L::Palette8 && i < 256; ++i) {
        const QRgb c = paletteColour(i, false);
        for (int k = 0; k < 3; ++k)
            map[k].push_back(uint16_t((k == 0 ? qRed(c) : k == 1 ? qGreen(c) : qBlue(c)) * 257));
    }
    if (l == L::Palette8)
        TIFFSetField(tiff, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
    std::vector<Bytes> rows(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        Bytes& row = rows[std::size_t(y)];
        for (int x = 0; x < w; ++x) {
            const QRgb p = picture.pixel(x, y);
            const int a = alphaAt(x, y);
            const int scale = l == L::RgbaAssociated ? a : 255;
            if (l == L::Grey8)
                row.push_back(uchar(qGray(p)));
            else if (l == L::Palette8)
                row.push_back(uchar(paletteIndex(p, false)));
            else if (l == L::Mono)
                row.resize(std::size_t(w + 7) / 8),
                    row[std::size_t(x / 8)] |= uchar((qGray(p) > 127) << (7 - x % 8));
            for (const int c : {qRed(p), qGreen(p), qBlue(p)}) {
                if (samples < 3)
                    break;
                if (bits == 16) {
                    const uint16_t v = uint16_t(c << 8 | lowAt(x, y));
                    row.insert(row.end(), reinterpret_cast<const uchar*>(&v),
                               reinterpret_cast<const uchar*>(&v) + 2);
                } else {
                    row.push_back(uchar(c * scale / 255));
                }
            }
            if (samples == 4)
                row.push_back(uchar(a));
        }
    }
    if (spec.tiled) {
        const int side = 16;
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, side);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, side);
        const std::size_t pixelBytes = std::size_t(samples * bits / 8);
        Bytes tile(std::size_t(side * side) * pixelBytes);
        for (int ty = 0; ty < h; ty += side)
            for (int tx = 0; tx < w; tx += side) {
                std::fill(tile.begin(), tile.end(), 0);
                for (int y = 0; y < side && ty + y < h; ++y)
                    for (int x = 0; x < side && tx + x < w; ++x)
                        std::copy_n(&rows[std::size_t(ty + y)][std::size_t(tx + x) * pixelBytes],
                                    pixelBytes, &tile[std::size_t(y * side + x) * pixelBytes]);
                TIFFWriteTile(tiff, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0);
            }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, l == L::YCbCrJpeg ? 16 : spec.rowsPerStrip);
        for (int y = 0; y < h; ++y)
            TIFFWriteScanline(tiff, rows[std::size_t(y)].data(), uint32_t(y), 0);
    }
    TIFFClose(tiff);
    QFile file(dir.filePath("picture.tif"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

namespace {

extern "C" int appendGif(GifFileType* gif, const GifByteType* data, int size) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), size);
    return size;
}

} // namespace

QByteArray EncodeGif(const QImage& picture, const GifSpec& spec) {
    const int w = picture.width(), h = picture.height();
    GifColorType colours[64];
    for (int i = 0; i < 64; ++i)
        colours[i] = {GifByteType((i >> 4) * 85), GifByteType((i >> 2 & 3) * 85),
                      GifByteType((i & 3) * 85)};
    ColorMapObject* map = GifMakeMapObject(64, colours);
    QByteArray file;
    int error = 0;
    GifFileType* gif = EGifOpen(&file, appendGif, &error);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w + 2 * spec.border, h + 2 * spec.border, 6, 5,
                      spec.localPalette ? nullptr : map);
    if (spec.transparent >= 0) {
        GraphicsControlBlock control{};
        control.TransparentColor = spec.transparent;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
    }
    EGifPutImageDesc(gif, spec.border, spec.border, w, h, spec.interlaced,
                     spec.localPalette ? map : nullptr);
    std::vector<int> order;
    for (const auto [start, step] :
         spec.interlaced ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                         : std::vector<std::pair<int, int>>{{0, 1}})
        for (int y = start; y < h; y += step)
            order.push_back(y);
    std::vector<GifPixelType> line(static_cast<std::size_t>(w));
    for (const int y : order) {
        for (int x = 0; x < w; ++x) {
            const QRgb p = picture.pixel(x, y);
            line[std::size_t(x)] =
                GifPixelType((qRed(p) >> 6) << 4 | (qGreen(p) >> 6) << 2 | qBlue(p) >> 6);
        }
        EGifPutLine(gif, line.data(), w);
    }
    if (spec.secondImage) {
        EGifPutImageDesc(gif, 0, 0, 2, 2, false, spec.localPalette ? map : nullptr);
        GifPixelType pixels[2] = {1, 2};
        EGifPutLine(gif, pixels, 2);
        EGifPutLine(gif, pixels, 2);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return file;
}

QByteArray EncodeWebp(const QImage& picture, bool lossless, bool alpha, const QByteArray& exif) {
    QImage bgra = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; alpha && y < bgra.height(); ++y)
        for (int x = 0; x < bgra.width(); ++x)
            bgra.setPixel(x, y, (bgra.pixel(x, y) & 0xFFFFFF) | uint(alphaAt(x, y)) << 24);
    uint8_t* out = nullptr;
    const std::size_t size =
        lossless ? WebPEncodeLosslessBGRA(bgra.constBits(), bgra.width(), bgra.height(),
                                          int(bgra.bytesPerLine()), &out)
                 : WebPEncodeBGRA(bgra.constBits(), bgra.width(), bgra.height(),
                                  int(bgra.bytesPerLine()), 90, &out);
    QByteArray file(reinterpret_cast<const char*>(out), qsizetype(size));
    WebPFree(out);
    if (exif.isEmpty())
        return file;
    WebPMux* mux = WebPMuxNew();
    const WebPData image{reinterpret_cast<const uint8_t*>(file.constData()), file.size()};
    const WebPData chunk{reinterpret_cast<const uint8_t*>(exif.constData()), exif.size()};
    WebPMuxSetImage(mux, &image, 1);
    WebPMuxSetChunk(mux, "EXIF", &chunk, 1);
    WebPData assembled;
    WebPDataInit(&assembled);
    WebPMuxAssemble(mux, &assembled);
    file = QByteArray(reinterpret_cast<const char*>(assembled.bytes), qsizetype(assembled.size));
    WebPDataClear(&assembled);
    WebPMuxDelete(mux);
    return file;
}

} // namespace velmora::testkit
