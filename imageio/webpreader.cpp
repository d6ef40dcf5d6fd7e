#include "imageio/webpreader.h"

#include <algorithm>
#include <new>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>

namespace velmora::imageio {

class WebpReader final : public FormatReader {
  public:
    explicit WebpReader(const ByteSource& source);
    ~WebpReader() override;
    ReadStatus readHeader(PictureHeader* header) override;
    long long workingBytes() const override;
    ReadStatus decode(const PixelRows& rows, long long memoryLimit,
                      const std::atomic<bool>* cancel) override;

    // The file's bytes and libwebp's demuxer (in the .cpp file).
    struct State;

  private:
    std::unique_ptr<State> state_;
};

namespace {

// Given to the decoder at a time, between looks at the cancel flag.
constexpr std::size_t kPieceBytes = 64 * 1024;

} // namespace

struct WebpReader::State {
    explicit State(const ByteSource& s) : source(s) {}
    ~State() {
        WebPDemuxReleaseIterator(&frame);
        WebPDemuxDelete(demux);
    }

    const ByteSource& source;
    std::vector<unsigned char> bytes;
    WebPDemuxer* demux = nullptr;
    WebPIterator frame{};
    int width = 0, height = 0; // the canvas's
};

WebpReader::WebpReader(const ByteSource& source) : state_(std::make_unique<State>(source)) {}

WebpReader::~WebpReader() = default;

long long WebpReader::workingBytes() const {
    return static_cast<long long>(state_->source.size());
}

ReadStatus WebpReader::readHeader(PictureHeader* header) {
    State& s = *state_;
    try {
        s.bytes.resize(std::size_t(s.source.size()));
    } catch (const std::bad_alloc&) {
        return fail(ReadStatus::OutOfMemory, "not enough memory for the file");
    } catch (const std::length_error&) {
        return fail(ReadStatus::OutOfMemory, "not enough memory for the file");
    }
    const long long got = formats::readSome(s.source, 0, s.bytes.data(), s.bytes.size());
    if (got < 0)
        return fail(ReadStatus::Unreadable, "the file could not be read");
    s.bytes.resize(std::size_t(got));
    const WebPData data{s.bytes.data(), s.bytes.size()};
    s.demux = WebPDemux(&data);
    if (s.demux == nullptr)
        return fail(ReadStatus::Damaged, "damaged or incomplete WebP data");
    const long long width = WebPDemuxGetI(s.demux, WEBP_FF_CANVAS_WIDTH);
    const long long height = WebPDemuxGetI(s.demux, WEBP_FF_CANVAS_HEIGHT);
    if (!formats::sidesFit(width, height))
        return fail(ReadStatus::TooLarge, "the picture's sides are too large");
    if (WebPDemuxGetFrame(s.demux, 1, &s.frame) == 0)
        return fail(ReadStatus::Damaged, "no frame in the file");
    s.width = int(width);
    s.height = int(height);
    header->width = s.width;
    header->height = s.height;
    header->orientation = 0;
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(s.demux, "EXIF", 1, &chunk) != 0)
        header->exif = formats::exifPayload(chunk.chunk.bytes, chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
    if (WebPDemuxGetChunk(s.demux, "ICCP", 1, &chunk) != 0)
        header->iccProfile.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
    return ReadStatus::Ok;
}

ReadStatus WebpReader::decode(const PixelRows& rows, long long, const std::atomic<bool>* cancel) {
    State& s = *state_;
    if (s.demux == nullptr)
        return fail(ReadStatus::Damaged, "the header was not read");
    const WebPIterator& f = s.frame;
    if (f.x_offset + f.width > s.width || f.y_offset + f.height > s.height)
        return fail(ReadStatus::Damaged, "the frame lies outside the canvas");
    // An animation's canvas around its first frame.
    if (f.width != s.width || f.height != s.height)
        for (int y = 0; y < s.height; ++y)
            std::fill_n(rows.pixels + y * rows.stride, s.width, 0xFF000000u);
    std::uint32_t* first = rows.pixels + f.y_offset * rows.stride + f.x_offset;
    WebPDecBuffer output;
    WebPInitDecBuffer(&output);
    output.colorspace = MODE_BGRA;
    output.width = f.width;
    output.height = f.height;
    output.is_external_memory = 1;
    output.u.RGBA.rgba = reinterpret_cast<std::uint8_t*>(first);
    output.u.RGBA.stride = int(rows.stride * 4);
    output.u.RGBA.size =
        std::size_t(rows.stride) * 4 * std::size_t(f.height - 1) + std::size_t(f.width) * 4;
    WebPIDecoder* decoder = WebPINewDecoder(&output);
    if (decoder == nullptr)
        return fail(ReadStatus::OutOfMemory, "not enough memory");
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    for (std::size_t at = 0; at < f.fragment.size && status == VP8_STATUS_SUSPENDED;) {
        if (formats::cancelled(cancel)) {
            WebPIDelete(decoder);
            return fail(ReadStatus::Cancelled, "cancelled");
        }
        const std::size_t piece = std::min(kPieceBytes, f.fragment.size - at);
        status = WebPIAppend(decoder, f.fragment.bytes + at, piece);
        at += piece;
    }
    WebPIDelete(decoder);
    if (status == VP8_STATUS_OUT_OF_MEMORY)
        return fail(ReadStatus::OutOfMemory, "not enough memory");
    if (status != VP8_STATUS_OK)
        return fail(ReadStatus::Damaged, "damaged or incomplete WebP data");
    for (int y = 0; y < f.height; ++y)
        formats::makeOpaque(first + y * rows.stride, f.width);
    return ReadStatus::Ok;
}

std::unique_ptr<FormatReader> makeWebpReader(const ByteSource& source) {
    return std::make_unique<WebpReader>(source);
}

} // namespace velmora::imageio
