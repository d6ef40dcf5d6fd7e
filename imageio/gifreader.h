// Reading a GIF file's first image with giflib (formatreader.h), as Qt's
// reader showed it: the logical screen, filled with the global palette's
// background colour (or, when the image has a transparent index, that
// index's colour; black without a global palette), and the first image's
// pixels on it, a transparent index showing its own colour. Row by row
// (interlaced rows in their four passes) straight into the caller's rows;
// the rest of the file is read through to its trailer, so that a file cut
// anywhere, even after the first image, gives no picture.
#pragma once

#include "imageio/formatreader.h"

namespace velmora::imageio {

// The reader of a GIF file in source; the source must outlive it.
std::unique_ptr<FormatReader> makeGifReader(const ByteSource& source);

} // namespace velmora::imageio
