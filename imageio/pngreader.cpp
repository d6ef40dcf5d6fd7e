#include "imageio/pngreader.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstring>

#include <png.h>

namespace velmora::imageio {

class PngReader final : public FormatReader {
  public:
    explicit PngReader(const ByteSource& source);
    ~PngReader() override;
    ReadStatus readHeader(PictureHeader* header) override;
    ReadStatus decode(const PixelRows& rows, long long memoryLimit,
                      const std::atomic<bool>* cancel) override;

    // libpng's objects (in the .cpp file).
    struct State;

  private:
    ReadStatus failed();

    std::unique_ptr<State> state_;
};

namespace {

constexpr std::size_t kMessageBytes = 200;

} // namespace

struct PngReader::State {
    explicit State(const ByteSource& s) : source(s) {}
    ~State() {
        if (png != nullptr)
            png_destroy_read_struct(&png, &info, nullptr);
    }

    const ByteSource& source;
    std::uint64_t offset = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    ReadStatus why = ReadStatus::Damaged; // what an error stands for
    char message[kMessageBytes] = {};
    int width = 0, height = 0;
    int passes = 1;
    // A grey picture of 2 to 8 bits with a transparent grey: Qt's reader
    // gave that grey as black.
    bool greyKey = false;
};

extern "C" {

static void pngError(png_structp png, png_const_charp message) {
    auto* s = static_cast<PngReader::State*>(png_get_error_ptr(png));
    std::strncpy(s->message, message, kMessageBytes - 1);
    png_longjmp(png, 1);
}

static void pngWarning(png_structp, png_const_charp) {}

static void pngRead(png_structp png, png_bytep data, std::size_t length) {
    auto* s = static_cast<PngReader::State*>(png_get_io_ptr(png));
    if (formats::cancelled(s->cancel)) {
        s->why = ReadStatus::Cancelled;
        png_error(png, "cancelled");
    }
    const long long got = formats::readSome(s->source, s->offset, data, length);
    if (got < 0) {
        s->why = ReadStatus::Unreadable;
        png_error(png, "the file could not be read");
    }
    s->offset += std::uint64_t(got);
    if (std::size_t(got) < length)
        png_error(png, "the file ends early");
}

} // extern "C"

namespace {

// The frames below hold libpng's setjmp: nothing in them has a destructor
// that an error's jump would skip.

bool headerFrame(PngReader::State* s) {
    if (setjmp(png_jmpbuf(s->png)))
        return false;
    png_read_info(s->png, s->info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(s->png, s->info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    s->width = int(std::min<png_uint_32>(width, INT_MAX));
    s->height = int(std::min<png_uint_32>(height, INT_MAX));
    s->greyKey = colour == PNG_COLOR_TYPE_GRAY && depth > 1 && depth <= 8 &&
                 png_get_valid(s->png, s->info, PNG_INFO_tRNS) != 0;
    // Every format as 8-bit blue, green, red and alpha (or filler): 16-bit
    // samples rounded as Qt rounds them, palettes, grey and transparency
    // expanded.
    png_set_expand(s->png);
    png_set_scale_16(s->png);
    png_set_gray_to_rgb(s->png);
    png_set_bgr(s->png);
    png_set_filler(s->png, 0xFF, PNG_FILLER_AFTER);
    s->passes = png_set_interlace_handling(s->png);
    png_read_update_info(s->png, s->info);
    return true;
}

// Every pass over every row; for an interlaced file each pass fills in the
// pixels of the rows that it brings.
bool decodeFrame(PngReader::State* s, const PixelRows* rows) {
    if (setjmp(png_jmpbuf(s->png)))
        return false;
    for (int pass = 0; pass < s->passes; ++pass) {
        for (int y = 0; y < s->height; ++y) {
            if (formats::cancelled(s->cancel)) {
                s->why = ReadStatus::Cancelled;
                png_error(s->png, "cancelled");
            }
            png_read_row(s->png, reinterpret_cast<png_bytep>(rows->pixels + y * rows->stride),
                         nullptr);
        }
    }
    // The chunks after the pixels, to IEND: damage there counts too.
    png_read_end(s->png, nullptr);
    return true;
}

} // namespace

PngReader::PngReader(const ByteSource& source) : state_(std::make_unique<State>(source)) {}

PngReader::~PngReader() = default;

ReadStatus PngReader::failed() {
    return fail(state_->why, state_->message);
}

ReadStatus PngReader::readHeader(PictureHeader* header) {
    State& s = *state_;
    unsigned char signature[8];
    if (formats::readSome(s.source, 0, signature, sizeof signature) != sizeof signature ||
        png_sig_cmp(signature, 0, sizeof signature) != 0)
        return fail(ReadStatus::NotThisFormat, "not a PNG file");
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, pngError, pngWarning);
    if (s.png != nullptr)
        s.info = png_create_info_struct(s.png);
    if (s.info == nullptr)
        return fail(ReadStatus::OutOfMemory, "not enough memory");
    png_set_read_fn(s.png, &s, pngRead);
    if (!headerFrame(&s))
        return failed();
    if (!formats::sidesFit(s.width, s.height))
        return fail(ReadStatus::TooLarge, "the picture's sides are too large");
    header->width = s.width;
    header->height = s.height;
    header->orientation = 0;
    png_bytep exif = nullptr;
    png_uint_32 exifBytes = 0;
    if (png_get_eXIf_1(s.png, s.info, &exifBytes, &exif) != 0 && exif != nullptr)
        header->exif = formats::exifPayload(exif, exifBytes);
    png_charp name = nullptr;
    png_bytep profile = nullptr;
    png_uint_32 profileBytes = 0;
    int compression = 0;
    if (png_get_iCCP(s.png, s.info, &name, &compression, &profile, &profileBytes) != 0 &&
        profile != nullptr)
        header->iccProfile.assign(profile, profile + profileBytes);
    return ReadStatus::Ok;
}

ReadStatus PngReader::decode(const PixelRows& rows, long long memoryLimit,
                             const std::atomic<bool>* cancel) {
    State& s = *state_;
    if (s.png == nullptr)
        return fail(ReadStatus::Damaged, "the header was not read");
    if (memoryLimit > 0)
        png_set_chunk_malloc_max(s.png, png_alloc_size_t(memoryLimit));
    s.cancel = cancel;
    if (!decodeFrame(&s, &rows))
        return failed();
    for (int y = 0; y < s.height; ++y) {
        std::uint32_t* row = rows.pixels + y * rows.stride;
        if (s.greyKey) {
            for (int x = 0; x < s.width; ++x)
                row[x] = row[x] >> 24 == 0 ? 0xFF000000u : row[x] | 0xFF000000u;
        } else {
            formats::makeOpaque(row, s.width);
        }
    }
    return ReadStatus::Ok;
}

std::unique_ptr<FormatReader> makePngReader(const ByteSource& source) {
    return std::make_unique<PngReader>(source);
}

} // namespace velmora::imageio
