// Reading a WebP file with libwebp (formatreader.h): the file is held whole
// (a WebP file is its compressed data) and taken apart by libwebp's demuxer,
// which refuses a file cut short; its EXIF chunk gives the EXIF block, its
// ICCP chunk the profile. The first frame is decoded piece by piece straight
// into the caller's rows, as blue, green, red and alpha, the alpha then
// dropped as Qt's reader dropped it. An animation's first frame lies at its
// place on a black canvas.
#pragma once

#include "imageio/formatreader.h"

namespace velmora::imageio {

// The reader of a WebP file in source; the source must outlive it.
std::unique_ptr<FormatReader> makeWebpReader(const ByteSource& source);

} // namespace velmora::imageio
