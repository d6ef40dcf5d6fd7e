// The files and folders of a folder as the image selection dialog lists them.
#pragma once

#include <string>
#include <vector>

namespace velmora::platform {

// The names (bytes, as the system lists them) of the regular files in folder,
// a symbolic link counting as what it points to (so a link to a FIFO, a
// device or nothing is left out), hidden files (a name starting with ".")
// left out, in no particular order. Empty when the folder cannot be read.
std::vector<std::string> regularFilesIn(const std::string& folder);

// The names of the folders in folder, links to folders included, hidden ones
// left out, in no particular order.
std::vector<std::string> foldersIn(const std::string& folder);

} // namespace velmora::platform
