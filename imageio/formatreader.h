// What the readers of PNG, TIFF, WebP and GIF files share: plain C++ without
// Qt, each over its format's own library. A reader takes the file's bytes from
// a random-access source (the window's file or a descriptor, see
// bitmapreader.h), reads the header first (the size, the orientation the
// format stores, the EXIF block and the ICC profile), then decodes the rows as
// stored into the caller's memory as 32-bit words 0xFFRRGGBB (QImage's
// Format_RGB32), a picture whose every pixel comes from the file. Turning the
// rows upright is the caller's (orientation.h), as for JPEG.
//
// The pixels are the ones Qt's own readers gave, made opaque: alpha is
// dropped (the colour under it kept), 16-bit samples are rounded to 8 bits.
#pragma once

#include "imageio/bitmapreader.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::imageio {

// The file's bytes: the bitmap reader's source serves every reader.
using ByteSource = BitmapSource;

enum class ReadStatus {
    Ok,
    NotThisFormat, // the file does not start as the format does
    Damaged,       // cut short or damaged: the library reported an error
    TooLarge,      // the header's size is beyond what a picture can be
    OutOfMemory,   // the library's own buffers could not be had
    Cancelled,     // stopped through the cancel flag
    Unreadable,    // the system could not read the file
};

enum class PictureFormat { Unknown, Bitmap, Jpeg, Png, Tiff, WebP, Gif };

// Bytes that formatOf() looks at.
inline constexpr std::size_t kSignatureBytes = 16;
// The format a file's first bytes name (fewer than kSignatureBytes when the
// file is shorter).
PictureFormat formatOf(const unsigned char* head, std::size_t size);

struct PictureHeader {
    int width = 0;
    int height = 0;
    // The orientation (1 to 8, orientation.h) the format stores itself
    // (TIFF's Orientation tag); 0 when the EXIF block says it (PNG, WebP).
    int orientation = 0;
    // The EXIF block as a JPEG's APP1 payload: "Exif\0\0", then the TIFF
    // data (PNG's eXIf chunk, WebP's EXIF chunk); empty when there is none.
    std::vector<unsigned char> exif;
    std::vector<unsigned char> iccProfile;
};

// Where the rows go: row y of the picture as stored at pixels + y * stride.
struct PixelRows {
    std::uint32_t* pixels = nullptr;
    std::ptrdiff_t stride = 0; // in words
};

class FormatReader {
  public:
    virtual ~FormatReader() = default;
    // Reads the header; the source must outlive the reader.
    virtual ReadStatus readHeader(PictureHeader* header) = 0;
    // Bytes the decode needs beside the picture (the library's buffers).
    virtual long long workingBytes() const { return 0; }
    // Decodes every row as stored (readHeader's size) into rows, reading the
    // file to its end, so that damage anywhere refuses the picture. The
    // library's own allocations are held to memoryLimit bytes where it allows
    // (0: no limit). While *cancel is true the decode stops between rows.
    virtual ReadStatus decode(const PixelRows& rows, long long memoryLimit,
                              const std::atomic<bool>* cancel) = 0;
    // A few words on the last failure (the library's message).
    const std::string& error() const { return error_; }

  protected:
    ReadStatus fail(ReadStatus status, std::string why) {
        error_ = std::move(why);
        return status;
    }

  private:
    std::string error_;
};

// The reader of a PNG, TIFF, WebP or GIF file; null for any other format.
std::unique_ptr<FormatReader> makeFormatReader(PictureFormat format, const ByteSource& source);

// Helpers of the readers.
namespace formats {

// Whether *cancel is set.
inline bool cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}
// An EXIF block as a JPEG's APP1 payload: "Exif\0\0" put before the TIFF
// data unless it is there already.
std::vector<unsigned char> exifPayload(const unsigned char* data, std::size_t size);
// Reads up to count bytes at offset, fewer at the file's end: the bytes
// read, or -1 when the system failed.
long long readSome(const ByteSource& source, std::uint64_t offset, unsigned char* buffer,
                   std::size_t count);
// Whether a picture of these sides can be held: positive, a row of words
// under 2 GiB (as QImage needs).
bool sidesFit(long long width, long long height);
// Sets every word's top byte: the pixels opaque.
void makeOpaque(std::uint32_t* row, int width);

} // namespace formats

} // namespace velmora::imageio
