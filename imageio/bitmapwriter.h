// Writing an image as a Windows bitmap file.
#pragma once

#include "outputfile/destination.h"

#include "imageio/picture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace velmora::imageio {

// A bitmap file written a strip of rows at a time, from the bottom row up as
// the format stores them, so that a large picture never needs to be held whole.
// Like writeBitmap, it writes under a short temporary name beside the file and
// renames at commit(); dropped without commit(), it leaves nothing behind.
// Where it writes follows outputfile/destination.h: a symbolic link is written
// through (its target is replaced, the link stays), and a directory, device,
// FIFO, socket or a link to nothing is refused (error says which) and left as
// it is.
class BitmapWriter {
  public:
    BitmapWriter();
    ~BitmapWriter();
    BitmapWriter(const BitmapWriter&) = delete;
    BitmapWriter& operator=(const BitmapWriter&) = delete;

    // Starts the file for a width x height picture; false with error on failure.
    bool open(const std::string& path, int width, int height, std::string* error);
    // The same for a destination already found (outputfile/destination.h),
    // written as found without being looked up again.
    bool open(const jpeg::Destination& destination, int width, int height, std::string* error);
    // Writes the next rows, given top to bottom as 32-bit pixels (the colour in
    // the low 24 bits, blue lowest): the strip just above the rows written so far.
    bool writeStrip(const std::uint32_t* pixels, std::ptrdiff_t stride, int rows,
                    std::string* error);
    // Renames the finished file into place.
    bool commit(std::string* error);
    // The system's error (errno) of the step that failed; 0 if none or none
    // is known.
    int osError() const;

  private:
    struct File;
    std::unique_ptr<File> file_;
    int width_ = 0;
    int rowsLeft_ = 0;
    int openError_ = 0; // errno of a file that could not be made
};

// The size in bytes of the 24-bit bitmap file of a width x height picture.
// The format cannot hold a file of kMaxBitmapFileBytes or more.
long long bitmapFileBytes(int width, int height);
inline constexpr long long kMaxBitmapFileBytes = 1LL << 32;

// Writes the picture as an uncompressed 24-bit
// bottom-up bitmap. The file is written under a temporary name in its folder
// and renamed at the end (as BitmapWriter does, to the same places), so a
// failure never leaves a truncated file and never destroys the file it was to
// replace. An image whose file would exceed 4 GiB is refused.
bool writeBitmap(const Picture& image, const std::string& path, std::string* error = nullptr);

} // namespace velmora::imageio
