#include "imageio/jpegdecoder.h"

#include "imageio/orientation.h"
#include "imageio/sourcefile.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

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
// The identifiers that start the segments a saved file keeps, each with its
// NUL: "Exif" has two.
constexpr char kExifId[] = "Exif\0";
constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/";
constexpr char kExtendedXmpId[] = "http://ns.adobe.com/xmp/extension/";
constexpr char kPhotoshopId[] = "Photoshop 3.0";
constexpr char kIccId[] = "ICC_PROFILE"; // 12 bytes, then sequence and count
constexpr int kIccHeaderBytes = 14;
// A segment's length field counts itself.
constexpr unsigned kLengthBytes = 2;
constexpr unsigned kMaxSegmentBytes = 0xFFFF - kLengthBytes;

// libjpeg's error manager with the jump back into the frame that called it and
// room for the message.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// The source manager: reads the file through its SourceFile.
struct SourceManager {
    jpeg_source_mgr pub;
    SourceFile* file;
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
    const long long got = src->file->read(reinterpret_cast<char*>(src->buffer), kInputBytes);
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
    // The segment being read, and what is kept of the segments read so far:
    // the ICC profile's chunks by sequence number until they are joined.
    unsigned char segment[kMaxSegmentBytes];
    SourceMetadata kept;
    std::map<int, std::string> iccChunks;
    int iccCount = -1;
    bool badIcc = false;
    bool extendedXmpOver = false;
    bool iptcOver = false;

    ~State() {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

namespace {

template <std::size_t N>
bool hasId(const unsigned char* data, std::size_t size, const char (&id)[N]) {
    return size >= N && std::memcmp(data, id, N) == 0;
}

// Adds piece to a kind kept in pieces unless the kind grows over max bytes in
// all; then the whole kind is left out, the pieces before and after it too.
void keepWithin(std::vector<std::string>* pieces, std::string piece, long long max, bool* over) {
    long long total = static_cast<long long>(piece.size());
    for (const std::string& p : *pieces)
        total += static_cast<long long>(p.size());
    *over = *over || total > max;
    if (*over)
        pieces->clear();
    else
        pieces->push_back(std::move(piece));
}

// One chunk of the ICC profile: its sequence number and the chunks' count,
// which must agree with the others'.
void keepIccChunk(JpegDecoder::State* s, const std::string& payload) {
    const int sequence = static_cast<unsigned char>(payload[12]);
    const int total = static_cast<unsigned char>(payload[13]);
    s->badIcc = s->badIcc || (s->iccCount >= 0 && total != s->iccCount) || sequence < 1 ||
                sequence > total || s->iccChunks.count(sequence) != 0;
    s->iccCount = total;
    s->iccChunks[sequence] = payload.substr(kIccHeaderBytes);
}

// Keeps the segment just read into s->segment if a saved file carries it.
// False when memory ran out.
bool keepSegment(JpegDecoder::State* s, int marker, std::size_t size) noexcept {
    const unsigned char* d = s->segment;
    const auto bytes = [&] { return std::string(reinterpret_cast<const char*>(d), size); };
    SourceMetadata& kept = s->kept;
    try {
        if (marker == JPEG_APP0 + 1 && hasId(d, size, kExifId)) {
            if (kept.exif.empty())
                kept.exif = bytes();
        } else if (marker == JPEG_APP0 + 1 && hasId(d, size, kXmpId)) {
            if (kept.xmp.empty())
                kept.xmp = bytes();
        } else if (marker == JPEG_APP0 + 1 && hasId(d, size, kExtendedXmpId)) {
            keepWithin(&kept.extendedXmp, bytes(), kMaxExtendedXmpBytes, &s->extendedXmpOver);
        } else if (marker == JPEG_APP0 + 2 && size >= kIccHeaderBytes && hasId(d, size, kIccId)) {
            keepIccChunk(s, bytes());
        } else if (marker == JPEG_APP0 + 13 && hasId(d, size, kPhotoshopId)) {
            keepWithin(&kept.iptc, bytes(), kMaxIptcBytes, &s->iptcOver);
        }
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

extern "C" {

// Reads the next count bytes of the file into out (the source never suspends).
static void readInput(j_decompress_ptr cinfo, unsigned char* out, std::size_t count) {
    jpeg_source_mgr* src = cinfo->src;
    while (count > 0) {
        if (src->bytes_in_buffer == 0)
            (*src->fill_input_buffer)(cinfo);
        const std::size_t n = std::min(count, src->bytes_in_buffer);
        std::memcpy(out, src->next_input_byte, n);
        src->next_input_byte += n;
        src->bytes_in_buffer -= n;
        out += n;
        count -= n;
    }
}

// An APP1, APP2 or APP13 segment, read whole into the decoder's one buffer
// and kept only if a saved file carries it: libjpeg keeps none of them.
// Nothing here has a destructor for an error's jump to skip.
static boolean readAppSegment(j_decompress_ptr cinfo) {
    auto* s = static_cast<JpegDecoder::State*>(cinfo->client_data);
    unsigned char field[kLengthBytes];
    readInput(cinfo, field, kLengthBytes);
    const unsigned length = unsigned(field[0]) << 8 | field[1];
    if (length < kLengthBytes)
        ERREXIT(cinfo, JERR_BAD_LENGTH);
    readInput(cinfo, s->segment, length - kLengthBytes);
    if (!keepSegment(s, cinfo->unread_marker, length - kLengthBytes))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    return TRUE;
}

} // extern "C"

namespace {

// The frames below hold libjpeg's setjmp: a longjmp from an error lands in
// them, so nothing in them has a destructor that the jump would skip.

bool headerFrame(JpegDecoder::State* s);
bool decodeFrame(JpegDecoder::State* s, const Target* t);

} // namespace

JpegDecoder::JpegDecoder(SourceFile* file) : state_(std::make_unique<State>()) {
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
    // Kept by jpeg_create_decompress: how the segment reader finds the state.
    s.cinfo.client_data = &s;
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
    for (const int app : {1, 2, 13})
        jpeg_set_marker_processor(&s->cinfo, JPEG_APP0 + app, readAppSegment);
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
                     Size(t->storedWidth, t->storedHeight), t->orientation,
                     reinterpret_cast<std::uint32_t*>(t->pixels), t->stride);
    }
    // Reads on to the end marker, so that damage after the last row counts too.
    jpeg_finish_decompress(cinfo);
    return true;
}

// The profile from its chunks (sequence number to data), or empty.
std::string joinIccChunks(const std::map<int, std::string>& chunks, int count) {
    if (count <= 0 || static_cast<int>(chunks.size()) != count)
        return {};
    std::string profile;
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
        error_ = state_->err.message;
        return false;
    }
    const jpeg_decompress_struct& cinfo = state_->cinfo;
    size_ = Size(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height));
    metadata_ = std::move(state_->kept);
    if (!state_->badIcc)
        metadata_.iccProfile = joinIccChunks(state_->iccChunks, state_->iccCount);
    metadata_.iccIncomplete = state_->iccCount >= 0 && metadata_.iccProfile.empty();
    state_->iccChunks.clear();
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

Size JpegDecoder::scaledSize(int denominator) const {
    return Size((size_.width() + denominator - 1) / denominator,
                (size_.height() + denominator - 1) / denominator);
}

bool JpegDecoder::decode(int denominator, int orientation, const Picture& upright,
                         long long memoryLimit, const std::atomic<bool>* cancel) {
    const Size stored = scaledSize(denominator);
    if (upright.isNull() || upright.size() != uprightSize(stored, orientation)) {
        error_ = "the picture was not made for this decode";
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
    target.pixels = reinterpret_cast<unsigned char*>(upright.pixels());
    target.stride = upright.stride();
    state_->src.cancel = cancel;
    if (!decodeFrame(state_.get(), &target)) {
        error_ =
            state_->src.cancelled ? std::string("cancelled") : std::string(state_->err.message);
        return false;
    }
    return true;
}

} // namespace velmora::imageio
