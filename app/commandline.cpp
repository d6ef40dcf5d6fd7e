#include "app/commandline.h"

#include <cstring>

namespace velmora {

namespace {

// The ratio range is the zoom-ratio dialog's (kMinScale to kMaxScale tenths);
// the tests hold the two together.
constexpr const char* kHelp =
    "usage: velmora [FILE]\n"
    "\n"
    "Enlarges a BMP or JPEG image with anti-aliasing, from 1.1 to 10.0 times in\n"
    "steps of 0.1, and saves the result as BMP or JPEG. The window and its menus\n"
    "are in Japanese.\n"
    "\n"
    "  FILE        a BMP or JPEG image to open at start\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "\n"
    "The program needs a display; without one, run it under a virtual display:\n"
    "    xvfb-run -a -s '-screen 0 1280x1024x24' velmora\n"
    "velmora-enlarge does the same enlargement from the command line.\n";

} // namespace

std::optional<std::string> informationRequested(int argc, const char* const* argv) {
    if (argc < 2)
        return std::nullopt;
    if (std::strcmp(argv[1], "--help") == 0)
        return std::string(kHelp);
    if (std::strcmp(argv[1], "--version") == 0)
        return std::string("velmora " VELMORA_PROJECT_VERSION "\n");
    return std::nullopt;
}

} // namespace velmora
