// Reading a TIFF file with libtiff (formatreader.h): the first image, every
// layout libtiff's RGBA interface knows (grey, palette, RGB, YCbCr, CMYK,
// CIE Lab, 1 to 16 bits, strips or tiles, any compression it has), a strip
// or a row of tiles at a time, straight into the caller's rows. The
// Orientation tag is the header's orientation, the ICC profile tag its
// profile. A strip that cannot be read or decoded refuses the picture;
// libtiff's messages never reach stderr.
#pragma once

#include "imageio/formatreader.h"

namespace velmora::imageio {

// The reader of a TIFF file in source; the source must outlive it.
std::unique_ptr<FormatReader> makeTiffReader(const ByteSource& source);

} // namespace velmora::imageio
