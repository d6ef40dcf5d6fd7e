// How a picture stored sideways or mirrored is turned to stand upright: the
// EXIF orientation tag, 1 to 8, as cameras and phones write it.
#pragma once

#include "imageio/picture.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora::imageio {

// 1: as stored. 2: mirrored left to right. 3: turned half round. 4: mirrored
// top to bottom. 5: mirrored along the main diagonal (rows become columns).
// 6: turned a quarter clockwise. 7: mirrored along the other diagonal.
// 8: turned a quarter anticlockwise.
inline constexpr int kUpright = 1;

// The orientation an EXIF block gives (the payload of a JPEG APP1 segment,
// starting "Exif\0\0"); kUpright when it has none or it cannot be read.
int exifOrientation(const std::string& exif);

// Whether the orientation makes rows into columns (5 to 8).
inline bool swapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}
// The picture's size once upright.
inline Size uprightSize(const Size& stored, int orientation) {
    return swapsSides(orientation) ? stored.transposed() : stored;
}

// Copies `count` stored rows of 32-bit pixels, starting at row `first` of a
// picture stored as `stored`, to where they belong in the upright picture
// (strides in pixels). Every stored pixel lands on one upright pixel, so the
// rows of the whole picture fill the whole upright picture once.
void placeUpright(const std::uint32_t* rows, std::ptrdiff_t rowStride, int first, int count,
                  const Size& stored, int orientation, std::uint32_t* upright,
                  std::ptrdiff_t uprightStride);

} // namespace velmora::imageio
