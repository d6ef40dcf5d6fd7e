// Reading a BMP, JPEG, PNG, TIFF, WebP or GIF picture whole, upright, and
// only when the file holds all of it; refused before decoding when it would
// not fit in the memory the process may have.
#pragma once

#include "imageio/metadata.h"

#include "imageio/picture.h"

#include <atomic>
#include <memory>
#include <string>

namespace velmora::imageio {

class FormatReader;
class JpegDecoder;
class SourceFile;

class ImageReader {
  public:
    enum class Failure {
        None,
        Unreadable, // missing, not a regular file, not a picture, damaged, incomplete
        TooLarge,   // refused from its header's size: it would not fit in memory
        Cancelled,  // stopped through the cancel flag
    };

    // Opens the file (see SourceFile: a regular file only, never blocking)
    // and reads its header only. The name is the system's bytes.
    explicit ImageReader(const std::string& path);
    ~ImageReader();
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;

    // The picture's size as its header states it (the file may lie), as it
    // stands upright (see orientation()); invalid when the header cannot be read.
    Size size() const { return size_; }
    // The orientation (1 to 8, orientation.h) that read() applies: a JPEG's,
    // PNG's (eXIf) or WebP's EXIF orientation, a TIFF's Orientation tag; 1
    // for a bitmap, a GIF and a file without one.
    int orientation() const { return orientation_; }
    // A JPEG's metadata for a writer to keep: its EXIF block (the APP1
    // payload, starting "Exif\0\0") and its ICC profile, both as found in the
    // file; empty for other formats or when the file has none.
    std::string exif() const;
    std::string iccProfile() const;
    // All that a saved file keeps of a JPEG's metadata (JpegDecoder::metadata:
    // EXIF, ICC profile, XMP, extended XMP, IPTC); empty for other files.
    SourceMetadata metadata() const;

    // Bytes that read() holds at its peak: the decoded picture (at the size
    // reduceFor() asks for), plus what the JPEG library keeps of a progressive
    // file and the metadata kept; for PNG, TIFF, WebP and GIF, the picture,
    // the rows as stored when they must be turned upright, and the library's
    // buffers (formatreader.h).
    long long bytesNeeded() const;

    // For a picture that is only shown small: a JPEG is then decoded at the
    // smallest of 1/1, 1/2, 1/4 and 1/8 of its size that is still at least
    // `smallest` (upright) both ways, and only that has to fit in memory.
    // Other pictures are decoded whole.
    void reduceFor(const Size& smallest) { smallest_ = smallest; }
    // While *flag is true, read() stops soon and fails with Cancelled.
    void setCancelFlag(const std::atomic<bool>* flag);

    // Decodes the picture into 32-bit words (picture.h), upright. `alsoHeld` counts
    // bytes the caller needs at the same time as the picture. A picture whose
    // header size does not fit in memory with them is refused before any pixel
    // is decoded (TooLarge); the decoders' own allocations are held to the same
    // figure, so a header that hides its size is stopped when the pixels are
    // allocated. A bitmap that ends before its last row (bitmapreader.h says
    // what else it refuses) and a JPEG that libjpeg reports any error or
    // warning for give no picture (Unreadable): every pixel of a picture read
    // comes from the file. PNG, TIFF, WebP and GIF files are read by their
    // own libraries (formatreader.h), refused alike for any error the library
    // reports, a file cut short among them. One read per reader.
    bool read(Picture* picture, long long alsoHeld = 0);

    Failure failure() const { return failure_; }
    // Why, in English.
    std::string errorString() const { return error_; }

    // Why a read failed, as a user can act on it.
    enum class Cause {
        None,
        Missing,        // no such file (or folder on the way)
        NoPermission,   // the file may not be read
        NotRegularFile, // a folder, device, FIFO or socket
        NotAPicture,    // no format that is read here (told by the first bytes)
        Damaged,        // cut short or damaged
        TooLarge,       // does not fit in memory
        Cancelled,
        Unreadable, // any other error of the system's (errorString says which)
    };
    Cause cause() const;

  private:
    enum class Kind { None, Jpeg, Bitmap, Format, Unknown };

    // The file's bytes for the bitmap and format readers, and a bitmap's
    // checked headers (in the .cpp file).
    struct Bitmap;

    void openJpeg();
    void openBitmap();
    void openFormat(int format);
    int denominator() const;
    bool readJpeg(Picture* picture, long long alsoHeld);
    bool readBitmap(Picture* picture);
    bool readFormat(Picture* picture, long long alsoHeld);
    bool fail(Failure why, const std::string& text);

    std::unique_ptr<SourceFile> file_;
    std::unique_ptr<JpegDecoder> jpeg_;
    std::unique_ptr<Bitmap> bitmap_;
    std::unique_ptr<FormatReader> format_;
    Kind kind_ = Kind::None;
    Size size_;
    Size smallest_;
    int orientation_ = 1;
    bool systemError_ = false; // a PNG, TIFF, WebP or GIF read failed for the system
    const std::atomic<bool>* cancel_ = nullptr;
    std::string openError_;
    Failure openFailure_ = Failure::Unreadable; // what read() reports with openError_
    Failure failure_ = Failure::None;
    std::string error_;
};

} // namespace velmora::imageio
