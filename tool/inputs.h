// The files a batch enlarges: each FILE as given, and the pictures found in
// each FOLDER.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace velmora::tool {

// A file or folder as the system tells them apart: another spelling of a
// name is the same file.
using FileId = std::pair<dev_t, ino_t>;

// The file a name leads to (links followed); none when it cannot be reached.
std::optional<FileId> fileId(const std::string& name);

// Whether anything is there under the name: a file, a folder, a special file
// or a symbolic link, even one to nothing.
bool nameTaken(const std::string& name);

struct InputFile {
    std::string path;    // where it is read, and how messages name it
    std::string below;   // its output's name below the output folder, before
                         // --format and --suffix: a FILE's own name, or the path of
                         // a picture found in a FOLDER below that folder
    std::string failure; // for a folder that could not be read: why, in the
                         // tool's words; it then stands in the run for that folder
};

// Each input in turn. A folder (or a link to one) gives the pictures in it in
// the order of their names: the files whose content is a picture the tool
// reads (by its first bytes, as the image reader tells the formats it reads,
// whatever the name), and the files
// that cannot be opened, so that the run says why. Hidden names (starting
// with ".") and special files are passed over. With recursive, its
// subfolders' pictures too, at any depth, except the folder `skipped` (the
// output folder, whose results are no inputs) and folders reached through a
// symbolic link, which could lead round in a loop. Any other input is taken as
// it is. A folder that cannot be read is listed with its failure, where it
// was found.
std::vector<InputFile> collectInputs(const std::vector<std::string>& inputs, bool recursive,
                                     std::optional<FileId> skipped);

} // namespace velmora::tool
