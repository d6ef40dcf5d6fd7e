// The strip pipeline: workers take strips in order, read and compress them;
// the calling thread writes finished strips in order and joins their data.
//
// Each strip is compressed by libjpeg on its own (compressStrip). Everything
// between its setjmp and the end of the compression is C style: plain
// structs, malloc/realloc for the output, no object with a destructor,
// because a libjpeg error longjmps back there.

#include "stripencoder.h"

#include "outputfile/outputfile.h"
#include "parallel/orderedring.h"
#include "parallel/parallel.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#if !defined(JCS_EXTENSIONS)
#error "libjpeg-turbo's jpeglib.h is needed (blue-first pixel layouts)"
#endif

namespace velmora::jpeg {

namespace {

// Pixels per strip when the caller does not choose: big enough that libjpeg's
// per-strip set-up is noise, small enough for many strips per core (so the
// cores finish together) and for a strip to stay in the cache.
constexpr std::size_t kStripPixelBytes = std::size_t(2) << 20;
// Compressed strips that may wait per worker: one being written, one ready.
constexpr int kSlotsPerWorker = 2;

constexpr unsigned char kRestart7[2] = {0xFF, 0xD7};
constexpr unsigned char kEndOfImage[2] = {0xFF, 0xD9};
constexpr unsigned char kStartOfFrame0 = 0xC0;
constexpr unsigned char kStartOfScan = 0xDA;
constexpr unsigned char kApp0 = 0xE0;
constexpr unsigned char kApp15 = 0xEF;
// A segment's length field counts itself: two bytes more than the data.
constexpr std::size_t kLengthFieldBytes = 2;

// --- One strip compressed by libjpeg ---------------------------------------
// A complete baseline JFIF stream with a restart marker after every MCU row.

// A growing output buffer from malloc. It is kept from strip to strip so that
// its capacity is found once; the owner frees data with free().
struct CompressedBuffer {
    unsigned char* data = nullptr;
    std::size_t size = 0;     // bytes of the last strip
    std::size_t capacity = 0; // bytes allocated
};

struct StripJob {
    unsigned width = 0;
    unsigned rows = 0;
    int bytesPerPixel = 3; // 3: blue, green, red; 4: blue, green, red, unused
    int quality = 100;
    unsigned char** rowPointers = nullptr; // rows top to bottom
    CompressedBuffer* output = nullptr;
};

// The first output buffer; it doubles when full and is kept for later strips.
constexpr std::size_t kFirstCapacity = std::size_t(1) << 16;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int messageCode;
};

void onError(j_common_ptr cinfo) {
    ErrorManager* e = reinterpret_cast<ErrorManager*>(cinfo->err);
    e->messageCode = cinfo->err->msg_code;
    std::longjmp(e->jump, 1);
}

// Warnings and traces are not shown: a library has no console of its own.
void onMessage(j_common_ptr) {}

struct BufferDestination {
    jpeg_destination_mgr pub;
    CompressedBuffer* buffer;
};

// Grows the buffer to at least `wanted` bytes; false when memory is short.
bool grow(CompressedBuffer* b, std::size_t wanted) {
    if (b->capacity >= wanted)
        return true;
    void* bigger = std::realloc(b->data, wanted);
    if (bigger == nullptr)
        return false;
    b->data = static_cast<unsigned char*>(bigger);
    b->capacity = wanted;
    return true;
}

void initDestination(j_compress_ptr cinfo) {
    BufferDestination* d = reinterpret_cast<BufferDestination*>(cinfo->dest);
    if (!grow(d->buffer, kFirstCapacity))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    d->pub.next_output_byte = d->buffer->data;
    d->pub.free_in_buffer = d->buffer->capacity;
}

// Called when the buffer is full: libjpeg has filled all of it.
boolean emptyBuffer(j_compress_ptr cinfo) {
    BufferDestination* d = reinterpret_cast<BufferDestination*>(cinfo->dest);
    const std::size_t used = d->buffer->capacity;
    if (!grow(d->buffer, used * 2))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    d->pub.next_output_byte = d->buffer->data + used;
    d->pub.free_in_buffer = d->buffer->capacity - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    BufferDestination* d = reinterpret_cast<BufferDestination*>(cinfo->dest);
    d->buffer->size = d->buffer->capacity - d->pub.free_in_buffer;
}

void setParameters(j_compress_ptr cinfo, const StripJob* job) {
    cinfo->image_width = job->width;
    cinfo->image_height = job->rows;
    cinfo->input_components = job->bytesPerPixel;
    cinfo->in_color_space = job->bytesPerPixel == 4 ? JCS_EXT_BGRX : JCS_EXT_BGR;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job->quality, TRUE);
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->optimize_coding = FALSE; // standard tables: every strip codes alike
    for (int c = 0; c < cinfo->num_components; ++c) {
        cinfo->comp_info[c].h_samp_factor = 1;
        cinfo->comp_info[c].v_samp_factor = 1;
    }
    // A restart marker after each MCU row resets the DC prediction and aligns
    // to a byte: strips of whole MCU rows can then be joined byte for byte.
    cinfo->restart_in_rows = 1;
}

// Compresses the strip into job->output (replacing what it held): 4:4:4,
// accurate integer DCT, standard Huffman tables, restart interval one MCU row.
// Returns VELMORA_OK, VELMORA_E_OUT_OF_MEMORY or VELMORA_E_COMPRESSION.
int compressStrip(const StripJob* job);
int compressStrip(const StripJob* job) {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    BufferDestination destination;
    std::memset(&cinfo, 0, sizeof cinfo); // a jump during creation finds no stray pointers
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = onError;
    errors.pub.output_message = onMessage;
    errors.messageCode = 0;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        return errors.messageCode == JERR_OUT_OF_MEMORY ? VELMORA_E_OUT_OF_MEMORY
                                                        : VELMORA_E_COMPRESSION;
    }
    jpeg_create_compress(&cinfo);
    destination.pub.init_destination = initDestination;
    destination.pub.empty_output_buffer = emptyBuffer;
    destination.pub.term_destination = termDestination;
    destination.buffer = job->output;
    cinfo.dest = &destination.pub;

    setParameters(&cinfo, job);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        jpeg_write_scanlines(&cinfo, job->rowPointers + cinfo.next_scanline,
                             cinfo.image_height - cinfo.next_scanline);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return VELMORA_OK;
}

// --- The strips joined into one file ----------------------------------------

// Where a strip's stream holds what the join needs.
struct StreamParts {
    std::size_t markersAt = 2;    // after SOI and the JFIF APP0 segment that follows it
    std::size_t heightAt = 0;     // the SOF0 frame height (2 bytes, big-endian)
    std::size_t entropyStart = 0; // first byte after the SOS header
    std::size_t entropyEnd = 0;   // the final EOI marker
};

// Walks the marker segments that libjpeg writes before the scan. False if the
// stream is not laid out as expected (then nothing is joined).
bool findParts(const unsigned char* d, std::size_t n, StreamParts* parts) {
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8 || d[n - 2] != 0xFF || d[n - 1] != 0xD9)
        return false;
    for (std::size_t i = 2; i + 4 <= n;) {
        if (d[i] != 0xFF)
            return false;
        const unsigned char marker = d[i + 1];
        const std::size_t length = std::size_t(d[i + 2]) << 8 | d[i + 3];
        if (i == 2 && marker == kApp0)
            parts->markersAt = i + 2 + length;
        if (marker == kStartOfFrame0 && length >= 8)
            parts->heightAt = i + 5;
        if (marker == kStartOfScan) {
            parts->entropyStart = i + 2 + length;
            parts->entropyEnd = n - 2;
            return parts->heightAt != 0 && parts->entropyStart <= parts->entropyEnd;
        }
        i += 2 + length;
    }
    return false;
}

struct Plan {
    int width, height, bytesPerPixel, quality;
    int stripRows, strips, workers;
};

Plan makePlan(const EncodeSettings& s) {
    Plan p{s.width, s.height, s.layout == PixelLayout::Bgrx ? 4 : 3, s.quality, 0, 0, 0};
    int rows;
    if (s.stripRows > 0) {
        rows = (std::min(s.stripRows, p.height) + kStripRowUnit - 1) / kStripRowUnit;
    } else {
        const std::size_t rowBytes = std::size_t(p.width) * p.bytesPerPixel;
        rows = int(std::min<std::size_t>(kStripPixelBytes / rowBytes / kStripRowUnit,
                                         (p.height + kStripRowUnit - 1) / kStripRowUnit));
    }
    rows = std::max(1, rows) * kStripRowUnit;
    p.stripRows = rows;
    p.strips = (p.height + rows - 1) / rows;
    const int threads = s.threads > 0 ? parallel::workerCount(s.threads) : workerCount();
    p.workers = std::min(threads, p.strips);
    return p;
}

// One strip's compressed stream, kept between strips for its capacity.
struct Slot {
    CompressedBuffer buffer;
    Slot() = default;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() { std::free(buffer.data); }
};

// A worker's pixel memory, kept from strip to strip.
struct WorkerMemory {
    std::vector<unsigned char> scratch;
    std::vector<unsigned char*> rows;
};

int compressOne(const Plan& plan, int strip, StripSource& source, WorkerMemory& memory,
                CompressedBuffer& out) {
    const int first = strip * plan.stripRows;
    const int count = std::min(plan.stripRows, plan.height - first);
    memory.rows.assign(std::size_t(count), nullptr);
    if (const int rc = source.read(first, count, memory.scratch, memory.rows.data()); rc != 0)
        return rc;
    StripJob job;
    job.width = unsigned(plan.width);
    job.rows = unsigned(count);
    job.bytesPerPixel = plan.bytesPerPixel;
    job.quality = plan.quality;
    job.rowPointers = memory.rows.data();
    job.output = &out;
    return compressStrip(&job);
}

// Writes the strips in order as they come: the first strip's headers with the
// full height, then each strip's entropy-coded data with RST7 between strips.
class Joiner {
  public:
    Joiner(const Plan& plan, const std::vector<Marker>& markers, ByteSink& sink)
        : plan_(plan), markers_(markers), sink_(sink) {}

    int append(int strip, const CompressedBuffer& b) {
        StreamParts parts;
        if (!findParts(b.data, b.size, &parts))
            return VELMORA_E_COMPRESSION;
        bool ok = true;
        if (strip == 0) {
            ok = writeHeader(b, parts);
        } else {
            ok = sink_.write(kRestart7, sizeof kRestart7);
        }
        ok = ok && sink_.write(b.data + parts.entropyStart, parts.entropyEnd - parts.entropyStart);
        if (ok && strip == plan_.strips - 1)
            ok = sink_.write(kEndOfImage, sizeof kEndOfImage);
        return ok ? VELMORA_OK : VELMORA_E_DESTINATION;
    }

  private:
    // The first strip's headers with the full height, the caller's markers
    // placed after the JFIF segment.
    bool writeHeader(const CompressedBuffer& b, const StreamParts& parts) {
        std::vector<unsigned char> header(b.data, b.data + parts.markersAt);
        for (const Marker& m : markers_) {
            const std::size_t length = m.size + kLengthFieldBytes;
            header.insert(header.end(), {0xFF, m.code, static_cast<unsigned char>(length >> 8),
                                         static_cast<unsigned char>(length & 0xFF)});
            header.insert(header.end(), m.data, m.data + m.size);
        }
        const std::size_t heightAt = header.size() + parts.heightAt - parts.markersAt;
        header.insert(header.end(), b.data + parts.markersAt, b.data + parts.entropyStart);
        header[heightAt] = (unsigned(plan_.height) >> 8) & 0xFF;
        header[heightAt + 1] = unsigned(plan_.height) & 0xFF;
        return sink_.write(header.data(), header.size());
    }

    const Plan& plan_;
    const std::vector<Marker>& markers_;
    ByteSink& sink_;
};

void reportProgress(const EncodeSettings& s, const Plan& plan, int strip) {
    if (s.progress)
        s.progress(std::min(plan.height, (strip + 1) * plan.stripRows));
}

// Workers compress strips into a ring of slots while the calling thread
// joins them in strip order; with one worker, the calling thread compresses
// each strip itself before joining it.
class Pipeline {
  public:
    Pipeline(const Plan& plan, StripSource& source)
        : plan_(plan), source_(source),
          ring_(plan.strips, plan.workers > 1 ? std::size_t(plan.workers) * kSlotsPerWorker : 1) {
        ring_.start(plan.workers > 1 ? plan.workers : 0, [this] {
            return [this, memory = WorkerMemory()](int strip, Slot& slot) mutable {
                int rc;
                try {
                    rc = compressOne(plan_, strip, source_, memory, slot.buffer);
                } catch (const std::bad_alloc&) {
                    rc = VELMORA_E_OUT_OF_MEMORY;
                } catch (...) {
                    rc = VELMORA_E_COMPRESSION;
                }
                return rc == VELMORA_OK || fail(rc);
            };
        });
    }

    int writeAll(const EncodeSettings& s, Joiner& joiner) {
        for (int strip = 0; strip < plan_.strips; ++strip) {
            const Slot* slot = ring_.await(strip);
            if (!slot)
                return failure_;
            if (const int rc = joiner.append(strip, slot->buffer); rc != VELMORA_OK)
                return rc;
            ring_.release(strip);
            reportProgress(s, plan_, strip);
        }
        return VELMORA_OK;
    }

  private:
    // Keeps the first failure, for writeAll to return; false, to stop the ring.
    bool fail(int status) {
        int ok = VELMORA_OK;
        failure_.compare_exchange_strong(ok, status);
        return false;
    }

    const Plan& plan_;
    StripSource& source_;
    std::atomic<int> failure_{VELMORA_OK};
    parallel::OrderedRing<Slot> ring_; // last: its workers stop before the rest goes
};

// Each marker is APPn with a length its two-byte field can hold, and has its
// bytes.
bool markersFit(const std::vector<Marker>& markers) {
    return std::all_of(markers.begin(), markers.end(), [](const Marker& m) {
        return m.code >= kApp0 && m.code <= kApp15 && m.size <= VELMORA_MAX_MARKER_BYTES &&
               (m.data != nullptr || m.size == 0);
    });
}

} // namespace

int workerCount() {
    if (const char* forced = std::getenv("VELMORA_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(forced, &end, 10);
        if (end != forced && *end == '\0' && n > 0)
            return parallel::workerCount(int(std::min<long>(n, INT_MAX)));
    }
    return parallel::workerCount();
}

int encode(const EncodeSettings& settings, StripSource& source, ByteSink& sink) {
    if (settings.width <= 0 || settings.height <= 0 || settings.quality < 1 ||
        settings.quality > 100 || !markersFit(settings.markers))
        return VELMORA_E_ARGUMENT;
    if (settings.width > VELMORA_MAX_DIMENSION || settings.height > VELMORA_MAX_DIMENSION)
        return VELMORA_E_TOO_LARGE;
    const Plan plan = makePlan(settings);
    Joiner joiner(plan, settings.markers, sink);
    try {
        Pipeline pipeline(plan, source);
        return pipeline.writeAll(settings, joiner);
    } catch (const std::bad_alloc&) {
        return VELMORA_E_OUT_OF_MEMORY;
    }
}

namespace {

// The file's status, its errno passed on to the caller.
int withError(int status, const OutputFile& output, int* osError) {
    if (osError)
        *osError = status == VELMORA_OK ? 0 : output.error();
    return status;
}

} // namespace

int encodeFile(const char* destinationPath, const EncodeSettings& settings, StripSource& source,
               int* osError, const char* sourcePath) {
    return encodeFile(findDestination(destinationPath, sourcePath ? sourcePath : ""), settings,
                      source, osError);
}

int encodeFile(const Destination& destination, const EncodeSettings& settings, StripSource& source,
               int* osError) {
    OutputFile output;
    if (!output.create(destination))
        return withError(VELMORA_E_DESTINATION, output, osError);
    if (int rc = encode(settings, source, output))
        return withError(rc, output, osError);
    return withError(output.commit() ? VELMORA_OK : VELMORA_E_DESTINATION, output, osError);
}

int pictureSettings(const char* destinationPath, std::int32_t width, std::int32_t height,
                    std::int32_t bytesPerPixel, std::int32_t quality, EncodeSettings* settings) {
    if (!destinationPath || !*destinationPath || width < 1 || height < 1 ||
        (bytesPerPixel != 3 && bytesPerPixel != 4) || quality < 1 || quality > 100)
        return VELMORA_E_ARGUMENT;
    if (width > VELMORA_MAX_DIMENSION || height > VELMORA_MAX_DIMENSION)
        return VELMORA_E_TOO_LARGE;
    settings->width = width;
    settings->height = height;
    settings->layout = bytesPerPixel == 4 ? PixelLayout::Bgrx : PixelLayout::Bgr;
    settings->quality = quality;
    return VELMORA_OK;
}

namespace {

// Rows made by the caller's function into each worker's own buffer.
class FilledStrips : public StripSource {
  public:
    FilledStrips(VelmoraFillRows fill, void* context, int width, int bytesPerPixel)
        : fill_(fill), context_(context),
          rowBytes_(static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel)) {}

    int read(int first, int count, std::vector<unsigned char>& scratch,
             unsigned char** rows) override {
        if (scratch.size() < rowBytes_ * static_cast<std::size_t>(count))
            scratch.resize(rowBytes_ * static_cast<std::size_t>(count));
        const std::int32_t rc =
            fill_(context_, first, count, scratch.data(), static_cast<std::int64_t>(rowBytes_));
        if (rc != 0)
            return rc < 0 && rc >= SHRT_MIN ? rc : VELMORA_E_SOURCE_UNREADABLE;
        for (int i = 0; i < count; ++i)
            rows[i] = scratch.data() + rowBytes_ * static_cast<std::size_t>(i);
        return VELMORA_OK;
    }

  private:
    VelmoraFillRows fill_;
    void* context_;
    std::size_t rowBytes_;
};

// The markers as the encoder takes them; false when one is malformed in a way
// the encoder cannot see (a negative length, a code beyond a byte).
bool readMarkers(const VelmoraMarker* markers, std::int32_t count, std::vector<Marker>* out) {
    if (count < 0 || (count > 0 && markers == nullptr))
        return false;
    for (std::int32_t i = 0; i < count; ++i) {
        const VelmoraMarker& m = markers[i];
        if (m.length < 0 || m.code < 0 || m.code > UCHAR_MAX)
            return false;
        out->push_back(
            {static_cast<unsigned char>(m.code), m.data, static_cast<std::size_t>(m.length)});
    }
    return true;
}

} // namespace

} // namespace velmora::jpeg

namespace velmora::jpeg {

std::int16_t convertRowsTo(VelmoraFillRows fill, void* context, std::int32_t width,
                           std::int32_t height, std::int32_t bytesPerPixel,
                           const VelmoraMarker* markers, std::int32_t markerCount,
                           const Destination& destination, std::int32_t quality) {
    EncodeSettings settings;
    // A refused argument outranks a size too large: these are checked first.
    if (!fill || !readMarkers(markers, markerCount, &settings.markers))
        return VELMORA_E_ARGUMENT;
    if (const int rc = pictureSettings(destination.file.c_str(), width, height, bytesPerPixel,
                                       quality, &settings))
        return static_cast<std::int16_t>(rc);
    int osError = 0;
    const std::int16_t status = guarded([&] {
        FilledStrips strips(fill, context, width, bytesPerPixel);
        return encodeFile(destination, settings, strips, &osError);
    });
    // Set last, once every file step (the temporary file's removal too) is over.
    if (status == VELMORA_E_DESTINATION && osError != 0)
        errno = osError;
    return status;
}

} // namespace velmora::jpeg

// ConvertRowsToJPG: rows made by the caller as they are needed in, the JPEG
// file out, where its name leads.
extern "C" VELMORA_API int16_t ConvertRowsToJPG(VelmoraFillRows fill, void* context, int32_t width,
                                                int32_t height, int32_t bytesPerPixel,
                                                const VelmoraMarker* markers, int32_t markerCount,
                                                const char* destinationPath, int32_t quality) {
    using namespace velmora::jpeg;
    // No name is refused before anything is looked at; an empty one finds an
    // empty file name, which convertRowsTo refuses as no name.
    if (!destinationPath)
        return VELMORA_E_ARGUMENT;
    return guarded([&] {
        return convertRowsTo(fill, context, width, height, bytesPerPixel, markers, markerCount,
                             findDestination(destinationPath), quality);
    });
}
