// The files and folders of a folder as the image selection dialog lists them.
#pragma once

#include <QString>
#include <QStringList>

namespace velmora::platform {

// The names of the regular files in folder, a symbolic link counting as what
// it points to (so a link to a FIFO, a device or nothing is left out), hidden
// files (a name starting with ".") left out, in no particular order. Names
// are given as filenames.h makes them, so a name that is not UTF-8 is listed
// and opens. Empty when the folder cannot be read.
QStringList regularFilesIn(const QString& folder);

// The names of the folders in folder, links to folders included, hidden ones
// left out, in no particular order, made as filenames.h makes them.
QStringList foldersIn(const QString& folder);

} // namespace velmora::platform
