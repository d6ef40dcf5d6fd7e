// The JPEG side of a save: the rows go to the conversion library's strip-fed
// entry; an older library without it gets the 1:1 picture from memory or a
// temporary bitmap written strip by strip.
#pragma once

#include "save/resultrows.h"
#include "save/rowprogress.h"
#include "save/save.h"

#include <QString>

namespace velmora {

// Writes the picture of rows (made from recipe) as the JPEG file path, after
// checking the room its way of writing needs when options.checkRoom. The
// picture's size has been found to fit the format.
SaveResult Write_Jpeg(const ResultRows& rows, const Recipe& recipe, const QString& path,
                      const SaveOptions& options, RowProgress& progress);

} // namespace velmora
