// A picture's rows written as a bitmap or a PNG file a strip at a time: the
// strips are made (and, for a PNG, compressed) by worker threads while the
// calling thread writes the strips before in order, so that the picture is
// never held whole.
#pragma once

#include "imageio/metadata.h"
#include "outputfile/destination.h"
#include "save/resultrows.h"
#include "save/rowprogress.h"
#include "save/save.h"

namespace velmora {

// Writes the picture of rows as a 24-bit bitmap at the destination, as found
// (imageio::BitmapWriter: under a temporary name, renamed at the end). Saved,
// NotComputed or Failed with error; a failure leaves no file and keeps the
// one there.
SaveResult writeBitmapStrips(const ResultRows& rows, const jpeg::Destination& destination,
                             RowProgress& progress);

// The rows a strip of a picture of this width holds: a few megabytes of
// filtered bytes, at least one row.
int pngStripRows(int width);

// Writes the picture of rows as a PNG file at the destination, as found
// (imageio::PngWriter: under a temporary name, renamed at the end), carrying
// the metadata made true of it. Saved, NotComputed, Cancelled or Failed with
// error; a failure leaves no file and keeps the one there.
SaveResult writePngStrips(const ResultRows& rows, const SourceMetadata& metadata,
                          const jpeg::Destination& destination, RowProgress& progress);

} // namespace velmora
