// Reading a Windows bitmap file a strip of rows at a time.
//
// Accepted: the signature "BM"; a 12-byte (OS/2 1.x), 40-byte (Windows) or
// 64-byte (OS/2 2.x) info header; one plane; 8-bit palette (up to 256 entries,
// 256 when the header says 0), 24-bit or, except with the 12-byte header,
// 32-bit pixels (the fourth byte ignored); no compression. Also the 108- and
// 124-byte headers (Windows V4 and V5) with 24- or 32-bit pixels, uncompressed
// or as 32-bit bit fields with the masks red 0x00FF0000, green 0x0000FF00 and
// blue 0x000000FF (the alpha mask and the colour space ignored). Rows bottom-up
// (positive height) and padded to 4 bytes; pixel data starting after the
// headers and the palette and lying wholly inside the file. Everything else
// is refused before a pixel is read. A palette index beyond the palette is
// found only when its strip is read.
#pragma once

#include "stripencoder.h"

#include <cstdint>
#include <vector>

namespace velmora {

struct BmpLayout {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;           // 8, 24 or 32
    std::uint64_t dataOffset = 0;   // first byte of the bottom row
    std::uint64_t rowBytes = 0;     // a row in the file, padding included
    std::vector<unsigned char> bgr; // palette: blue, green, red per entry
};

// Reads and checks the headers and the palette of the open file fd of
// fileSize bytes. Returns VELMORA_OK, VELMORA_E_NOT_A_BITMAP,
// VELMORA_E_TOO_LARGE (a side above VELMORA_MAX_DIMENSION) or
// VELMORA_E_SOURCE_UNREADABLE (a read error).
int Read_Bmp_Layout(int fd, std::uint64_t fileSize, BmpLayout* layout);

// The strips of a checked bitmap, read with pread (safe from several threads)
// where they lie in the file. 8-bit pixels are expanded to blue, green, red;
// 24- and 32-bit rows are handed to the encoder as they are in the file.
class BmpStrips : public jpeg::StripSource {
  public:
    BmpStrips(int fd, const BmpLayout& layout) : fd_(fd), layout_(layout) {}
    jpeg::PixelLayout pixelLayout() const;
    // VELMORA_E_NOT_A_BITMAP for a file that ends early or a palette index
    // beyond the palette, VELMORA_E_SOURCE_UNREADABLE for a read error.
    int read(int first, int count, std::vector<unsigned char>& scratch,
             unsigned char** rows) override;

  private:
    int fd_;
    const BmpLayout& layout_;
};

} // namespace velmora
