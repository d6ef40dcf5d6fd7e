// What a command line of velmora-enlarge asks for, read from argv.
#pragma once

#include "save/save.h"
#include "tool/sizeratio.h"

#include <string>
#include <vector>

#include <optional>

namespace velmora::tool {

// The tool's exit statuses: a file that could not be enlarged or written, and
// a command line the tool does not accept.
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Request {
    std::string ratioText; // as given, for messages
    double ratio = 0;
    // --width, --height or --fit: each file's ratio is chosen for this size
    // (sizeratio.h); rule Ratio when --ratio gives it.
    SizeTarget size;
    int quality = 100; // --quality, for JPEG outputs
    bool quiet = false;
    bool strip = false; // --strip: the source's metadata stays out of the output
    // --output-dir: each FILE goes there under its own name. Without it, the
    // one input goes to output.
    bool batch = false;
    std::string outputDir;
    std::optional<SaveKind> format; // --format: the kind of every output of a batch
    std::string suffix;             // --suffix: put before the ending of each output's name
    bool noClobber = false;         // --no-clobber: an output that exists is left as it is
    bool recursive = false;         // -r: a folder's subfolders too
    int jobs = 0;                   // --jobs: files enlarged at once; 0: as many as cores
    // Files and folders as given; with --output-dir a folder stands for the
    // pictures in it.
    std::vector<std::string> inputs;
    std::string output;
};

// Reads the options and operands; every name is taken from the bytes of argv
// (platform/filenames.h). Returns the exit status when the run ends here
// (--help, --version, or a usage error, already reported), or -1 to go on.
int readCommandLine(int argc, char** argv, Request* request);

} // namespace velmora::tool
