#include "imageio/gifreader.h"

#include <algorithm>
#include <vector>

#include <gif_lib.h>

namespace velmora::imageio {

class GifReader final : public FormatReader {
  public:
    explicit GifReader(const ByteSource& source);
    ~GifReader() override;
    ReadStatus readHeader(PictureHeader* header) override;
    ReadStatus decode(const PixelRows& rows, long long memoryLimit,
                      const std::atomic<bool>* cancel) override;

    // giflib's handle and the file's position (in the .cpp file).
    struct State;

  private:
    ReadStatus failed();
    ReadStatus readToTrailer();

    std::unique_ptr<State> state_;
};

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;

std::uint32_t colourOf(const ColorMapObject* map, int index) {
    if (map == nullptr || index < 0 || index >= map->ColorCount)
        return kBlack;
    const GifColorType& c = map->Colors[index];
    return kBlack | std::uint32_t(c.Red) << 16 | std::uint32_t(c.Green) << 8 | c.Blue;
}

} // namespace

struct GifReader::State {
    explicit State(const ByteSource& s) : source(s) {}
    ~State() {
        int error = 0;
        if (gif != nullptr)
            DGifCloseFile(gif, &error);
    }

    const ByteSource& source;
    std::uint64_t offset = 0;
    GifFileType* gif = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    ReadStatus why = ReadStatus::Damaged; // what a failed read stands for
    int error = 0;                        // giflib's code
    int width = 0, height = 0;            // the logical screen's
    int transparent = -1;                 // the first image's transparent index
};

extern "C" {

static int gifRead(GifFileType* gif, GifByteType* buffer, int size) {
    auto* s = static_cast<GifReader::State*>(gif->UserData);
    if (formats::cancelled(s->cancel)) {
        s->why = ReadStatus::Cancelled;
        return 0;
    }
    const long long got = formats::readSome(s->source, s->offset, buffer, std::size_t(size));
    if (got < 0) {
        s->why = ReadStatus::Unreadable;
        return 0;
    }
    s->offset += std::uint64_t(got);
    return int(got);
}

} // extern "C"

GifReader::GifReader(const ByteSource& source) : state_(std::make_unique<State>(source)) {}

GifReader::~GifReader() = default;

ReadStatus GifReader::failed() {
    State& s = *state_;
    if (s.why == ReadStatus::Cancelled)
        return fail(s.why, "cancelled");
    const int code = s.gif != nullptr ? s.gif->Error : s.error;
    const char* words = GifErrorString(code);
    if (code == D_GIF_ERR_NOT_ENOUGH_MEM)
        s.why = ReadStatus::OutOfMemory;
    return fail(s.why, words != nullptr ? words : "damaged GIF data");
}

// Opens the file and reads on to the first image's descriptor, keeping the
// transparent index of the graphic control extension before it.
ReadStatus GifReader::readHeader(PictureHeader* header) {
    State& s = *state_;
    s.gif = DGifOpen(&s, gifRead, &s.error);
    if (s.gif == nullptr)
        return failed();
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    do {
        if (DGifGetRecordType(s.gif, &record) == GIF_ERROR)
            return failed();
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* data = nullptr;
            if (DGifGetExtension(s.gif, &code, &data) == GIF_ERROR)
                return failed();
            while (data != nullptr) {
                GraphicsControlBlock control;
                if (code == GRAPHICS_EXT_FUNC_CODE &&
                    DGifExtensionToGCB(data[0], data + 1, &control) == GIF_OK)
                    s.transparent = control.TransparentColor;
                if (DGifGetExtensionNext(s.gif, &data) == GIF_ERROR)
                    return failed();
            }
        } else if (record == TERMINATE_RECORD_TYPE) {
            return fail(ReadStatus::Damaged, "no image in the file");
        }
    } while (record != IMAGE_DESC_RECORD_TYPE);
    if (DGifGetImageDesc(s.gif) == GIF_ERROR)
        return failed();
    const GifImageDesc& frame = s.gif->Image;
    // A screen of no size is the first image's.
    s.width = s.gif->SWidth > 0 ? s.gif->SWidth : frame.Left + frame.Width;
    s.height = s.gif->SHeight > 0 ? s.gif->SHeight : frame.Top + frame.Height;
    if (s.width <= 0 || s.height <= 0)
        return fail(ReadStatus::Damaged, "the picture has no size");
    header->width = s.width;
    header->height = s.height;
    header->orientation = 1;
    return ReadStatus::Ok;
}

ReadStatus GifReader::decode(const PixelRows& rows, long long, const std::atomic<bool>* cancel) {
    State& s = *state_;
    if (s.gif == nullptr)
        return fail(ReadStatus::Damaged, "the header was not read");
    s.cancel = cancel;
    const ColorMapObject* global = s.gif->SColorMap;
    const std::uint32_t background =
        global == nullptr
            ? kBlack
            : colourOf(global, s.transparent >= 0 ? s.transparent : s.gif->SBackGroundColor);
    for (int y = 0; y < s.height; ++y)
        std::fill_n(rows.pixels + y * rows.stride, s.width, background);

    const GifImageDesc frame = s.gif->Image;
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : global;
    std::vector<GifPixelType> line(std::size_t(std::max(frame.Width, 1)));
    // Rows in the order they are stored: interlaced ones every 8th from 0,
    // every 8th from 4, every 4th from 2, every 2nd from 1.
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    const int left = std::min(frame.Left, s.width);
    const int right = std::min(frame.Left + frame.Width, s.width);
    for (int pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? kStart[pass] : 0;
        const int step = frame.Interlace ? kStep[pass] : 1;
        for (int y = start; y < frame.Height; y += step) {
            if (formats::cancelled(cancel)) {
                s.why = ReadStatus::Cancelled;
                return failed();
            }
            if (DGifGetLine(s.gif, line.data(), frame.Width) == GIF_ERROR)
                return failed();
            const int at = frame.Top + y;
            if (at >= s.height)
                continue;
            std::uint32_t* row = rows.pixels + at * rows.stride;
            for (int x = left; x < right; ++x)
                row[x] = colourOf(map, line[std::size_t(x - frame.Left)]);
        }
    }
    return readToTrailer();
}

// The records after the first image, their data skipped, to the trailer.
ReadStatus GifReader::readToTrailer() {
    State& s = *state_;
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    while (record != TERMINATE_RECORD_TYPE) {
        if (DGifGetRecordType(s.gif, &record) == GIF_ERROR)
            return failed();
        GifByteType* data = nullptr;
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            if (DGifGetExtension(s.gif, &code, &data) == GIF_ERROR)
                return failed();
            while (data != nullptr)
                if (DGifGetExtensionNext(s.gif, &data) == GIF_ERROR)
                    return failed();
        } else if (record == IMAGE_DESC_RECORD_TYPE) {
            int codeSize = 0;
            if (DGifGetImageDesc(s.gif) == GIF_ERROR ||
                DGifGetCode(s.gif, &codeSize, &data) == GIF_ERROR)
                return failed();
            while (data != nullptr)
                if (DGifGetCodeNext(s.gif, &data) == GIF_ERROR)
                    return failed();
        }
    }
    return ReadStatus::Ok;
}

std::unique_ptr<FormatReader> makeGifReader(const ByteSource& source) {
    return std::make_unique<GifReader>(source);
}

} // namespace velmora::imageio
