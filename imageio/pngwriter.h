// Writing a picture as a PNG file a strip at a time: 8-bit RGB, not
// interlaced, the strips compressed beforehand on any thread
// (pngcompress.h) and written here in order, each as IDAT chunks.
#pragma once

#include "outputfile/destination.h"

#include "imageio/metadata.h"
#include "imageio/pngcompress.h"

#include <string>

#include <cstdint>
#include <memory>

namespace velmora::imageio {

// Like BitmapWriter, it writes under a short temporary name beside the file
// and renames at commit(), after an fsync; dropped without commit(), it
// leaves nothing behind. Where it writes follows outputfile/destination.h: a
// symbolic link is written through (its target is replaced, the link stays),
// and a directory, device, FIFO, socket or a link to nothing is refused
// (error says which) and left as it is.
class PngWriter {
  public:
    PngWriter();
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // Starts the file for a width x height picture (1 to kMaxPngSide a side)
    // with the source's metadata made true of it (pngMetadataChunks); false
    // with error on failure.
    bool open(const std::string& path, int width, int height, const SourceMetadata& metadata,
              std::string* error);
    // The same for a destination already found (outputfile/destination.h),
    // written as found without being looked up again.
    bool open(const jpeg::Destination& destination, int width, int height,
              const SourceMetadata& metadata, std::string* error);
    // Writes the next strip, the one below the strips written so far; the
    // strip that ends the picture must be its last.
    bool writeStrip(const PngStrip& strip, std::string* error);
    // Ends the file and renames it into place.
    bool commit(std::string* error);
    // The system's error (errno) of the step that failed; 0 if none or none
    // is known.
    int osError() const;

  private:
    struct File;
    std::unique_ptr<File> file_;
    int rowsLeft_ = 0;
    std::uint32_t adler_ = 1;
    bool started_ = false;
    int openError_ = 0; // errno of a file that could not be made
};

// The chunks, each whole (length, type, data, CRC), that carry a source's
// metadata into a PNG file of `saved` pixels, in the order they are written
// before the picture's data:
//   - iCCP, the ICC profile ("ICC Profile", deflated), when it describes RGB
//     (PNG readers refuse a profile of another colour space for RGB pixels);
//   - eXIf, the EXIF block made true of the saved picture as a JPEG save
//     makes it (exifForSavedPicture), without its "Exif\0\0";
//   - iTXt "XML:com.adobe.xmp", the XMP packet, uncompressed as XMP's own
//     rules for PNG ask.
// Extended XMP and IPTC have no chunk of their own in PNG and are left out.
std::string pngMetadataChunks(const SourceMetadata& metadata, int width, int height);

} // namespace velmora::imageio
