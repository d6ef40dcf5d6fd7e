// A bitmap file written from the rows of a recipe's picture, made a strip at a
// time from the bottom up (as the format stores them) by worker threads while
// the calling thread writes the strip before: the picture is never held whole.
#pragma once

#include "save/resultrows.h"
#include "save/rowprogress.h"
#include "save/save.h"

#include <string>

namespace velmora {

// Writes the picture of rows as the 24-bit bitmap path (imageio::BitmapWriter:
// under a temporary name, renamed at the end). Saved, NotComputed or Failed
// with error; a failure leaves no file and keeps the one at path.
SaveResult writeBitmapStrips(const ResultRows& rows, const std::string& path,
                             RowProgress& progress);

} // namespace velmora
