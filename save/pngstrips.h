// A PNG file written from the rows of a recipe's picture, made and compressed
// a strip at a time by worker threads on every core while the calling thread
// writes the strips before in order: the picture is never held whole.
#pragma once

#include "imageio/metadata.h"
#include "save/resultrows.h"
#include "save/rowprogress.h"
#include "save/save.h"

#include <string>

namespace velmora {

// The rows a strip of a picture of this width holds: a few megabytes of
// filtered bytes, at least one row.
int pngStripRows(int width);

// Writes the picture of rows as a PNG file (imageio::PngWriter: under a
// temporary name, renamed at the end) carrying the metadata made true of it.
// Saved, NotComputed, Cancelled or Failed with error; a failure leaves no file
// and keeps the one at path.
SaveResult writePngStrips(const ResultRows& rows, const SourceMetadata& metadata,
                          const std::string& path, RowProgress& progress);

} // namespace velmora
