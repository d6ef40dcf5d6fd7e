#include "imageio/jpegdecoder.h"

#include "imageio/orientation.h"

#include <QIODevice>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace velmora::imageio {

namespace {

// Read from the file at a time.
constexpr std::size_t kInputBytes = 64 * 1024;
// Rows decoded at a time when they must be turned or converted before they
// reach the picture.
constexpr int kStripRows = 16;
constexpr int kCoefficientBytes = DCTSIZE2 * sizeof(JCOEF);
constexpr char kIccId[] = "ICC_PROFILE"; // with its NUL: 12 bytes, then sequence and count
constexpr int kIccHeaderBytes = 14;

// libjpeg's error manager with the jump back into the frame that called it and
// room for the message.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// The source manager: reads the file through its QIODevice.
struct SourceManager {
    jpeg_source_mgr pub;
    QIODevice* file;
    const std::atomic<bool>* cancel;
    bool cancelled;
    JOCTET buffer[kInputBytes];
};

extern "C" {

void errorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// A warning (level -1) is libjpeg's word for damaged data it decoded around:
// it ends the decode as an error does. Higher levels are trace messages.
void emitMessage(j_common_ptr cinfo, int level) {
    if (level < 0)
        errorExit(cinfo);
}

void initSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<SourceManager*>(cinfo->src);
    if (src->cancel != nullptr && src->cancel->load()) {
        src->cancelled = true;
        ERREXIT(cinfo, JERR_FILE_READ);
    }
    const qint64 got = src->file->read(reinterpret_cast<char*>(src->buffer), kInputBytes);
    if (got < 0) {
        src->cancelled = src->cancel != nullptr && src->cancel->load();
        ERREXIT(cinfo, JERR_FILE_READ);
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = static_cast<std::size_t>(got);
    if (got == 0) {
        // The file ended before its end marker: libjpeg's warning for it,
        // which ends the decode (see emitMessage).
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        src->pub.bytes_in_buffer = 2;
        WARNMS(cinfo, JWRN_JPEG_EOF);
    }
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<SourceManager*>(cinfo->src);
    while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        fillInput(cinfo);
    }
    if (count > 0) {
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
    }
}

void termSource(j_decompress_ptr) {}

} // extern "C"

// What decodeFrame writes and how.
struct Target {
    int denominator;
    int orientation;
    bool cmyk;
    long memoryLimit;
    int storedWidth, storedHeight; // at the decoded scale
    unsigned char* pixels;         // the upright picture's first row
    std::ptrdiff_t stride;         // in pixels
};

// Qt's conversion of Adobe's (inverted) CMYK to RGB, in place: four bytes of
// C, M, Y, K become blue, green, red and an opaque alpha.
void cmykToBgra(unsigned char* row, int width) {
    for (int x = 0; x < width; ++x, row += 4) {
        const int c = row[0], m = row[1], y = row[2], k = row[3];
        row[0] = static_cast<unsigned char>(k * y / 255);
        row[1] = static_cast<unsigned char>(k * m / 255);
        row[2] = static_cast<unsigned char>(k * c / 255);
        row[3] = 0xFF;
    }
}

} // namespace

struct JpegDecoder::State {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    SourceManager src;
    bool created = false;
    bool multipleScans = false;

    ~State() {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

namespace {

// The frames below hold libjpeg's setjmp: a longjmp from an error lands in
// them, so nothing in them has a destructor that the jump would skip.

bool headerFrame(JpegDecoder::State* s);
bool decodeFrame(JpegDecoder::State* s, const Target* t);

} // namespace

JpegDecoder::JpegDecoder(QIODevice* file) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.cinfo.err = jpeg_std_error(&s.err.pub);
    s.err.pub.error_exit = errorExit;
    s.err.pub.emit_message = emitMessage;
    s.err.message[0] = '\0';
    s.src.pub.init_source = initSource;
    s.src.pub.fill_input_buffer = fillInput;
    s.src.pub.skip_input_data = skipInput;
    s.src.pub.resync_to_restart = jpeg_resync_to_restart;
    s.src.pub.term_source = termSource;
    s.src.pub.next_input_byte = nullptr;
    s.src.pub.bytes_in_buffer = 0;
    s.src.file = file;
    s.src.cancel = nullptr;
    s.src.cancelled = false;
}

JpegDecoder::~JpegDecoder() = default;

bool JpegDecoder::cancelled() const {
    return state_->src.cancelled;
}

namespace {

bool headerFrame(JpegDecoder::State* s) {
    if (setjmp(s->err.jump))
        return false;
    jpeg_create_decompress(&s->cinfo);
    s->created = true;
    s->cinfo.src = &s->src.pub;
    jpeg_save_markers(&s->cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&s->cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&s->cinfo, TRUE);
    s->multipleScans = jpeg_has_multiple_scans(&s->cinfo);
    return true;
}

bool decodeFrame(JpegDecoder::State* s, const Target* t) {
    if (setjmp(s->err.jump))
        return false;
    j_decompress_ptr cinfo = &s->cinfo;
    // Qt's defaults, so that the pixels are the ones Qt's own reader gives:
    // the accurate integer DCT and smooth chroma upsampling.
    cinfo->scale_num = 1;
    cinfo->scale_denom = static_cast<unsigned>(t->denominator);
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_fancy_upsampling = TRUE;
    // BGRA rather than BGRX: libjpeg leaves the X byte undefined, A is 0xFF.
    cinfo->out_color_space = t->cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    cinfo->mem->max_memory_to_use = t->memoryLimit;
    jpeg_start_decompress(cinfo);

    const std::size_t rowBytes = std::size_t(cinfo->output_width) * 4;
    const bool direct = t->orientation == kUpright && !t->cmyk;
    JSAMPROW rows[kStripRows];
    unsigned char* strip = nullptr;
    if (!direct) {
        strip = static_cast<unsigned char*>((*cinfo->mem->alloc_large)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, rowBytes * kStripRows));
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        const int first = static_cast<int>(cinfo->output_scanline);
        const int count = std::min<int>(kStripRows, static_cast<int>(cinfo->output_height) - first);
        for (int i = 0; i < count; ++i) {
            rows[i] = direct ? t->pixels + std::size_t(first + i) * t->stride * 4
                             : strip + std::size_t(i) * rowBytes;
        }
        int done = 0;
        while (done < count)
            done += static_cast<int>(jpeg_read_scanlines(cinfo, rows + done, count - done));
        if (direct)
            continue;
        if (t->cmyk) {
            for (int i = 0; i < count; ++i)
                cmykToBgra(rows[i], static_cast<int>(cinfo->output_width));
        }
        placeUpright(reinterpret_cast<const std::uint32_t*>(strip),
                     static_cast<std::ptrdiff_t>(cinfo->output_width), first, count,
                     QSize(t->storedWidth, t->storedHeight), t->orientation,
                     reinterpret_cast<std::uint32_t*>(t->pixels), t->stride);
    }
    // Reads on to the end marker, so that damage after the last row counts too.
    jpeg_finish_decompress(cinfo);
    return true;
}

// The profile from its chunks (sequence number to data), or empty.
QByteArray joinIccChunks(const std::map<int, QByteArray>& chunks, int count) {
    if (count <= 0 || static_cast<int>(chunks.size()) != count)
        return {};
    QByteArray profile;
    int expected = 1;
    for (const auto& [sequence, data] : chunks) {
        if (sequence != expected++)
            return {};
        profile += data;
    }
    return profile;
}

} // namespace

bool JpegDecoder::readHeader() {
    if (!headerFrame(state_.get())) {
        error_ = QString::fromLocal8Bit(state_->err.message);
        return false;
    }
    const jpeg_decompress_struct& cinfo = state_->cinfo;
    size_ = QSize(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height));
    std::map<int, QByteArray> chunks;
    int count = -1;
    bool badChunk = false;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        const auto* data = reinterpret_cast<const char*>(m->data);
        const QByteArray payload(data, static_cast<qsizetype>(m->data_length));
        if (m->marker == JPEG_APP0 + 1 && exif_.isEmpty() &&
            payload.startsWith(QByteArray("Exif\0\0", 6))) {
            exif_ = payload;
        } else if (m->marker == JPEG_APP0 + 2 && payload.size() >= kIccHeaderBytes &&
                   std::memcmp(data, kIccId, sizeof kIccId) == 0) {
            const int sequence = static_cast<unsigned char>(payload[12]);
            const int total = static_cast<unsigned char>(payload[13]);
            badChunk = badChunk || (count >= 0 && total != count) || sequence < 1 ||
                       sequence > total || chunks.count(sequence) != 0;
            count = total;
            chunks[sequence] = payload.mid(kIccHeaderBytes);
        }
    }
    if (!badChunk)
        icc_ = joinIccChunks(chunks, count);
    // A file of several scans keeps a coefficient block for every 8 x 8 block
    // of every component until the last scan.
    if (state_->multipleScans) {
        for (int c = 0; c < cinfo.num_components; ++c) {
            const jpeg_component_info& comp = cinfo.comp_info[c];
            const long long rows = (comp.height_in_blocks + comp.v_samp_factor - 1) /
                                   comp.v_samp_factor * comp.v_samp_factor;
            workingBytes_ +=
                static_cast<long long>(comp.width_in_blocks) * rows * kCoefficientBytes;
        }
    }
    return true;
}

QSize JpegDecoder::scaledSize(int denominator) const {
    return QSize((size_.width() + denominator - 1) / denominator,
                 (size_.height() + denominator - 1) / denominator);
}

bool JpegDecoder::decode(int denominator, int orientation, QImage* upright, long long memoryLimit,
                         const std::atomic<bool>* cancel) {
    const QSize stored = scaledSize(denominator);
    if (upright->format() != QImage::Format_RGB32 ||
        upright->size() != uprightSize(stored, orientation)) {
        error_ = QStringLiteral("the picture was not made for this decode");
        return false;
    }
    const J_COLOR_SPACE space = state_->cinfo.jpeg_color_space;
    Target target{};
    target.denominator = denominator;
    target.orientation = orientation;
    target.cmyk = space == JCS_CMYK || space == JCS_YCCK;
    target.memoryLimit = static_cast<long>(std::clamp<long long>(memoryLimit, 0, LONG_MAX));
    target.storedWidth = stored.width();
    target.storedHeight = stored.height();
    target.pixels = upright->bits();
    target.stride = upright->bytesPerLine() / 4;
    state_->src.cancel = cancel;
    if (!decodeFrame(state_.get(), &target)) {
        error_ = state_->src.cancelled ? QStringLiteral("cancelled")
                                       : QString::fromLocal8Bit(state_->err.message);
        return false;
    }
    return true;
}

} // namespace velmora::imageio
