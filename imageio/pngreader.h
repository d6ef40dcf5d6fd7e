// Reading a PNG file with libpng (formatreader.h): a non-interlaced file row
// by row straight into the caller's rows, an interlaced one pass by pass into
// them; the eXIf chunk before the pixels gives the EXIF block, iCCP the
// profile. Any error libpng reports (a bad CRC in a critical chunk, data
// that ends early, a file cut before IEND) refuses the picture; its warnings
// are dropped.
#pragma once

#include "imageio/formatreader.h"

namespace velmora::imageio {

// The reader of a PNG file in source; the source must outlive it.
std::unique_ptr<FormatReader> makePngReader(const ByteSource& source);

} // namespace velmora::imageio
