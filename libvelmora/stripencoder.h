// The streaming JPEG encoder shared by the conversion library and the batch
// tool: pixels come in a strip of rows at a time, every core compresses
// strips, and the file goes out in order as strips finish. ConvertRowsToJPG,
// the library's entry for rows made on demand, is its face (stripencoder.cpp).
//
// How strips become one file
//   The image is cut into horizontal strips of a multiple of 8 MCU rows (64
//   pixel rows at 4:4:4). Each strip is compressed on its own by libjpeg with a
//   restart marker after every MCU row. A restart resets the DC prediction and
//   aligns the bit stream to a byte, so the strips' entropy-coded data can be
//   placed one after another behind one set of headers (SOF with the full
//   height, DRI). Within a strip the markers run RST0, RST1, ... and, since a
//   strip holds a multiple of 8 MCU rows, the marker between two strips is
//   always RST7: the joined file is byte for byte what one libjpeg pass over
//   the whole image with the same settings writes. Any baseline decoder reads
//   it.
//
// Marker segments
//   The caller's marker segments (APPn, such as Exif or an ICC profile) are
//   written right after the JFIF header, before the tables; they change
//   nothing else in the file.
//
// Memory
//   Each worker holds the pixels of one strip; at most two compressed strips
//   per worker wait to be written. Nothing grows with the image's height.
#pragma once

#include "libvelmora/velmora.h"
#include "outputfile/bytesink.h"
#include "outputfile/destination.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <vector>

namespace velmora::jpeg {

// Pixel rows in the order of their bytes in memory.
enum class PixelLayout {
    Bgr,  // 3 bytes: blue, green, red
    Bgrx, // 4 bytes: blue, green, red, ignored (a little-endian 0xXXRRGGBB word)
};

// Strips always start at a multiple of this many rows (8 MCU rows of 8).
inline constexpr int kStripRowUnit = 64;

// One marker segment to write after the JFIF header: APPn (code 0xE0 to
// 0xEF) and its bytes after the length field, at most VELMORA_MAX_MARKER_BYTES.
struct Marker {
    unsigned char code = 0;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Where the pixels come from.
class StripSource {
  public:
    virtual ~StripSource() = default;
    // Makes rows first .. first + count - 1 of the image available: rows[i]
    // must point at row first + i (top row first) in the encoder's layout and
    // stay valid until this thread's next call. scratch is the calling
    // thread's own buffer, kept between its calls, for the source to fill.
    // Called from several threads at once, each for a different strip, in no
    // particular order. Returns VELMORA_OK or a status that stops the encoding.
    virtual int read(int first, int count, std::vector<unsigned char>& scratch,
                     unsigned char** rows) = 0;
};

struct EncodeSettings {
    int width = 0;
    int height = 0;
    PixelLayout layout = PixelLayout::Bgr;
    int quality = 100; // 1..100
    // Compressing threads, clamped to parallel::workerLimit(); 0: workerCount().
    int threads = 0;
    // Rows per strip, rounded up to a multiple of kStripRowUnit; 0: a few
    // megabytes of pixels per strip.
    int stripRows = 0;
    // Called on the calling thread after each strip is written, with the
    // number of rows written so far (from the top).
    std::function<void(int rowsWritten)> progress;
    // Written in this order after the JFIF header; the bytes must stay valid
    // until encode() returns.
    std::vector<Marker> markers;
};

// The encoder's thread count: the positive number in the environment variable
// VELMORA_THREADS, which forces a count for tests and comparisons, clamped to
// parallel::workerLimit(); without it parallel::workerCount(), one per core
// the process may run on.
int workerCount();

// Encodes the image and writes the whole JPEG file to sink. Returns VELMORA_OK,
// a status from the source, VELMORA_E_ARGUMENT (a size or quality out of
// range, a marker that is not APPn or is too long), VELMORA_E_TOO_LARGE (a side above
// VELMORA_MAX_DIMENSION), VELMORA_E_OUT_OF_MEMORY, VELMORA_E_COMPRESSION, or VELMORA_E_DESTINATION
// (the sink refused). After a failure the sink may hold part of a file.
int encode(const EncodeSettings& settings, StripSource& source, ByteSink& sink);

// Encodes source into a temporary file beside destinationPath and renames it
// over the destination; on failure the destination is as it was and the
// temporary file is gone. osError, when given, gets the errno of a failed file
// step (0 otherwise). The encoder only reads the rows it is given.
// sourcePath, when given, names the file the rows are read from, which is
// refused as the destination (VELMORA_E_DESTINATION) under any of its names.
int encodeFile(const char* destinationPath, const EncodeSettings& settings, StripSource& source,
               int* osError = nullptr, const char* sourcePath = nullptr);
// The same for a destination already found (outputfile/destination.h): the
// file is written where it was found, its name not looked up again.
int encodeFile(const Destination& destination, const EncodeSettings& settings, StripSource& source,
               int* osError = nullptr);

// The checks ConvertPixelsToJPG and ConvertRowsToJPG share, and the settings
// they give: VELMORA_E_ARGUMENT for a null or empty path, a side below 1,
// bytesPerPixel other than 3 or 4 or quality outside 1..100;
// VELMORA_E_TOO_LARGE for a side above VELMORA_MAX_DIMENSION; VELMORA_OK with
// the size, layout and quality set otherwise.
int pictureSettings(const char* destinationPath, std::int32_t width, std::int32_t height,
                    std::int32_t bytesPerPixel, std::int32_t quality, EncodeSettings* settings);

// ConvertRowsToJPG for a destination already found: the same checks, order
// of refusals and statuses, errno set the same way, the file written where
// the destination was found without its name being looked up again. The
// batch tool, which links the encoder in, saves through it.
std::int16_t convertRowsTo(VelmoraFillRows fill, void* context, std::int32_t width,
                           std::int32_t height, std::int32_t bytesPerPixel,
                           const VelmoraMarker* markers, std::int32_t markerCount,
                           const Destination& destination, std::int32_t quality);

// Runs one conversion with the library's exceptions turned into statuses, so
// that none crosses the C boundary.
template <typename Work> std::int16_t guarded(Work work) {
    try {
        return static_cast<std::int16_t>(work());
    } catch (const std::bad_alloc&) {
        return VELMORA_E_OUT_OF_MEMORY;
    } catch (...) {
        return VELMORA_E_COMPRESSION;
    }
}

} // namespace velmora::jpeg
