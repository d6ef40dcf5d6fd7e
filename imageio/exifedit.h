// A source's EXIF block made true of the picture a save writes from it.
#pragma once

#include "imageio/picture.h"

#include <string>

namespace velmora {

// The EXIF block (a JPEG APP1 payload, "Exif\0\0" and the TIFF data) for a
// saved picture of `saved` pixels that was read upright from the source:
//   - every orientation entry of IFD0 says 1 (as stored);
//   - the pixel dimensions (PixelXDimension and PixelYDimension of the Exif
//     IFD, and ImageWidth and ImageLength of IFD0 where a camera wrote them)
//     are the saved picture's, as SHORT where they fit and LONG otherwise;
//   - the thumbnail is gone: IFD1 is unlinked, its table, values and
//     thumbnail data are cleared, and cut off when they end the block.
// Everything else stays byte for byte where it was, so offsets into it (a
// maker note's own included) stay true. Returns an empty block (the saved
// file then carries no EXIF) for an empty one, for one whose header, IFD0 or
// Exif IFD cannot be read within its length (copied unchanged, a block that a
// more lenient reader understands could still turn the upright picture
// sideways), and for one that cannot be edited safely: an IFD or a value it
// points at reaching outside the block, or two of the header, IFD0, the
// Exif, GPS and interoperability IFDs and IFD1 sharing bytes, or a value
// lying over one of them (a loop among them so too), where writing one would
// change another. What it returns reads back as it was written, and edited
// again it stays the same, byte for byte.
std::string exifForSavedPicture(const std::string& exif, const imageio::Size& saved);

} // namespace velmora
