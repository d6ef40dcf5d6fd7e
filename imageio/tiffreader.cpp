#include "imageio/tiffreader.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <tiffio.h>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace velmora::imageio {

class TiffReader final : public FormatReader {
  public:
    explicit TiffReader(const ByteSource& source);
    ~TiffReader() override;
    ReadStatus readHeader(PictureHeader* header) override;
    long long workingBytes() const override { return workingBytes_; }
    ReadStatus decode(const PixelRows& rows, long long memoryLimit,
                      const std::atomic<bool>* cancel) override;

    // libtiff's handle and the file's position (in the .cpp file).
    struct State;

  private:
    ReadStatus failed(const char* fallback);

    std::unique_ptr<State> state_;
    long long workingBytes_ = 0;
};

namespace {

constexpr std::size_t kMessageBytes = 200;

} // namespace

struct TiffReader::State {
    explicit State(const ByteSource& s) : source(s) {}
    ~State() {
        if (tiff != nullptr)
            TIFFClose(tiff);
    }

    const ByteSource& source;
    std::uint64_t position = 0;
    TIFF* tiff = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    ReadStatus why = ReadStatus::Damaged; // what a failed read stands for
    char message[kMessageBytes] = {};
    int width = 0, height = 0;
    int stripRows = 1; // rows libtiff decodes at once
};

extern "C" {

// libtiff's errors are kept for the failure's words; its warnings dropped.
// Non-zero: libtiff's global handlers (stderr) are not called.
static int tiffError(TIFF*, void* data, const char*, const char* format, va_list args) {
    auto* s = static_cast<TiffReader::State*>(data);
    if (s->message[0] == '\0')
        std::vsnprintf(s->message, kMessageBytes, format, args);
    return 1;
}

static int tiffWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

static tmsize_t tiffRead(thandle_t handle, void* buffer, tmsize_t size) {
    auto* s = static_cast<TiffReader::State*>(handle);
    if (formats::cancelled(s->cancel)) {
        s->why = ReadStatus::Cancelled;
        return -1;
    }
    const long long got = formats::readSome(s->source, s->position,
                                            static_cast<unsigned char*>(buffer), std::size_t(size));
    if (got < 0) {
        s->why = ReadStatus::Unreadable;
        return -1;
    }
    s->position += std::uint64_t(got);
    return tmsize_t(got);
}

static tmsize_t tiffWrite(thandle_t, void*, tmsize_t) {
    return -1;
}

static toff_t tiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* s = static_cast<TiffReader::State*>(handle);
    if (whence == SEEK_CUR)
        offset += s->position;
    else if (whence == SEEK_END)
        offset += s->source.size();
    s->position = offset;
    return offset;
}

static int tiffClose(thandle_t) {
    return 0;
}

static toff_t tiffSize(thandle_t handle) {
    return static_cast<TiffReader::State*>(handle)->source.size();
}

static int tiffMap(thandle_t, void**, toff_t*) {
    return 0;
}

static void tiffUnmap(thandle_t, void*, toff_t) {}

} // extern "C"

namespace {

// libtiff gives a picture with alpha premultiplied, and Qt's reader took it
// so, dividing the alpha out again when it dropped it: with the processor's
// reciprocal estimate refined by one Newton step, as Qt's vector code does,
// so that the levels are Qt's on the same machine.
class Unpremultiply {
  public:
    Unpremultiply() {
        for (int a = 1; a < 255; ++a) {
#if defined(__SSE__) || defined(__x86_64__)
            const __m128 alpha = _mm_set1_ps(float(a));
            __m128 inverse = _mm_rcp_ps(alpha);
            inverse = _mm_sub_ps(_mm_add_ps(inverse, inverse),
                                 _mm_mul_ps(inverse, _mm_mul_ps(inverse, alpha)));
            factor_[a] = _mm_cvtss_f32(inverse) * 255.0f;
#else
            factor_[a] = 255.0f / float(a);
#endif
        }
    }
    // A level under alpha a (1 to 254) undivided.
    std::uint32_t level(std::uint32_t value, int a) const {
        return std::uint32_t(std::lrint(float(value) * factor_[a])) & 0xFFu;
    }

  private:
    float factor_[256] = {};
};

// libtiff's A, B, G, R word as 0xFFRRGGBB, the alpha divided out when the
// picture has one.
void toRgb32(std::uint32_t* row, int width, bool alpha) {
    static const Unpremultiply unpremultiply;
    for (int x = 0; x < width; ++x) {
        std::uint32_t p = row[x];
        const int a = int(p >> 24);
        if (alpha && a == 0) {
            p = 0;
        } else if (alpha && a < 255) {
            p = unpremultiply.level(p & 0xFFu, a) | unpremultiply.level(p >> 8 & 0xFFu, a) << 8 |
                unpremultiply.level(p >> 16 & 0xFFu, a) << 16;
        }
        row[x] = 0xFF000000u | (p & 0xFFu) << 16 | (p & 0xFF00u) | (p >> 16 & 0xFFu);
    }
}

} // namespace

TiffReader::TiffReader(const ByteSource& source) : state_(std::make_unique<State>(source)) {}

TiffReader::~TiffReader() = default;

ReadStatus TiffReader::failed(const char* fallback) {
    State& s = *state_;
    return fail(s.why, s.message[0] != '\0' ? s.message : fallback);
}

ReadStatus TiffReader::readHeader(PictureHeader* header) {
    State& s = *state_;
    unsigned char head[kSignatureBytes];
    const long long got = formats::readSome(s.source, 0, head, sizeof head);
    if (got < 0)
        return fail(ReadStatus::Unreadable, "the file could not be read");
    if (formatOf(head, std::size_t(got)) != PictureFormat::Tiff)
        return fail(ReadStatus::NotThisFormat, "not a TIFF file");
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr)
        return fail(ReadStatus::OutOfMemory, "not enough memory");
    TIFFOpenOptionsSetErrorHandlerExtR(options, tiffError, &s);
    TIFFOpenOptionsSetWarningHandlerExtR(options, tiffWarning, &s);
    // "m": no mapping; the bytes come through the source.
    s.tiff = TIFFClientOpenExt("picture", "rm", &s, tiffRead, tiffWrite, tiffSeek, tiffClose,
                               tiffSize, tiffMap, tiffUnmap, options);
    TIFFOpenOptionsFree(options);
    if (s.tiff == nullptr)
        return failed("not a TIFF file that can be read");
    std::uint32_t width = 0, height = 0;
    TIFFGetField(s.tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(s.tiff, TIFFTAG_IMAGELENGTH, &height);
    if (!formats::sidesFit(width, height))
        return fail(width == 0 || height == 0 ? ReadStatus::Damaged : ReadStatus::TooLarge,
                    "the picture's sides are too large");
    s.width = int(width);
    s.height = int(height);
    char why[1024] = {};
    if (TIFFRGBAImageOK(s.tiff, why) == 0)
        return fail(ReadStatus::Damaged, why);
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(s.tiff, TIFFTAG_ORIENTATION, &orientation);
    header->width = s.width;
    header->height = s.height;
    header->orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    std::uint32_t profileBytes = 0;
    const unsigned char* profile = nullptr;
    if (TIFFGetField(s.tiff, TIFFTAG_ICCPROFILE, &profileBytes, &profile) != 0 && profile)
        header->iccProfile.assign(profile, profile + profileBytes);
    // A strip, or a row of tiles, is decoded at once: the buffer for it (and
    // libtiff's for the coded strip or tile) are needed beside the picture.
    std::uint32_t rows = 0;
    if (TIFFIsTiled(s.tiff))
        TIFFGetField(s.tiff, TIFFTAG_TILELENGTH, &rows);
    else
        TIFFGetFieldDefaulted(s.tiff, TIFFTAG_ROWSPERSTRIP, &rows);
    s.stripRows = int(std::clamp<std::uint32_t>(rows, 1, height));
    workingBytes_ = 2LL * s.stripRows * s.width * 4;
    return ReadStatus::Ok;
}

ReadStatus TiffReader::decode(const PixelRows& rows, long long, const std::atomic<bool>* cancel) {
    State& s = *state_;
    if (s.tiff == nullptr)
        return fail(ReadStatus::Damaged, "the header was not read");
    s.cancel = cancel;
    char why[1024] = {};
    TIFFRGBAImage image{};
    if (TIFFRGBAImageBegin(&image, s.tiff, 1, why) == 0)
        return fail(ReadStatus::Damaged, why);
    // The rows as stored: libtiff turns nothing when asked for the file's
    // own orientation.
    image.req_orientation = image.orientation;
    // Decoded in place where the rows lie one after the other, as a picture's do.
    const bool inPlace = rows.stride == s.width;
    std::vector<std::uint32_t> strip;
    if (!inPlace)
        strip.resize(std::size_t(s.stripRows) * std::size_t(s.width));
    ReadStatus status = ReadStatus::Ok;
    for (int y = 0; y < s.height && status == ReadStatus::Ok; y += s.stripRows) {
        if (formats::cancelled(cancel)) {
            s.why = ReadStatus::Cancelled;
            std::strcpy(s.message, "cancelled");
            status = ReadStatus::Cancelled;
            break;
        }
        const int count = std::min(s.stripRows, s.height - y);
        std::uint32_t* out = inPlace ? rows.pixels + y * rows.stride : strip.data();
        image.row_offset = y;
        image.col_offset = 0;
        if (TIFFRGBAImageGet(&image, out, std::uint32_t(s.width), std::uint32_t(count)) == 0) {
            status = s.why;
            break;
        }
        for (int i = 0; i < count; ++i) {
            std::uint32_t* row = rows.pixels + (y + i) * rows.stride;
            if (!inPlace)
                std::memcpy(row, out + std::size_t(i) * s.width, std::size_t(s.width) * 4);
            toRgb32(row, s.width, image.alpha != 0);
        }
    }
    TIFFRGBAImageEnd(&image);
    if (status != ReadStatus::Ok)
        return failed("a strip could not be read");
    return ReadStatus::Ok;
}

std::unique_ptr<FormatReader> makeTiffReader(const ByteSource& source) {
    return std::make_unique<TiffReader>(source);
}

} // namespace velmora::imageio
