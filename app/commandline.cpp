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
    "steps of 0.1, and saves the result as BMP, JPEG or PNG. The window and its\n"
    "menus are in Japanese.\n"
    "\n"
    "  FILE        a BMP or JPEG image to open at start\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "  --          the end of the options (for a FILE that starts with -)\n"
    "\n"
    "The program needs a display; without one, run it under a virtual display:\n"
    "    xvfb-run -a -s '-screen 0 1280x1024x24' velmora\n"
    "velmora-enlarge does the same enlargement from the command line.\n";

} // namespace

std::string unknownOption(const std::string& option) {
    return "velmora: unknown option '" + option + "'\nTry 'velmora --help'.\n";
}

std::optional<CommandLineAnswer> answerWithoutWindow(int argc, const char* const* argv) {
    if (argc < 2)
        return std::nullopt;
    const std::string first = argv[1];
    if (first == "--help")
        return CommandLineAnswer{kHelp, 0};
    if (first == "--version")
        return CommandLineAnswer{"velmora " VELMORA_PROJECT_VERSION "\n", 0};
    if (first.rfind("--", 0) == 0 && first != "--")
        return CommandLineAnswer{unknownOption(first), 2};
    return std::nullopt;
}

std::string fileToOpen(int argc, const char* const* argv, std::string* unknown) {
    if (argc < 2)
        return {};
    if (std::strcmp(argv[1], "--") == 0)
        return argc > 2 ? argv[2] : std::string();
    if (argv[1][0] == '-' && argv[1][1] != '\0') {
        *unknown = unknownOption(argv[1]);
        return {};
    }
    return argv[1];
}

} // namespace velmora
