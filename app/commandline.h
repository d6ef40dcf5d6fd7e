// The program's own command-line options. "velmora --help" and
// "velmora --version" answer on standard output without opening a window, so
// they work without a display; another option of two dashes is refused there
// too; "--" ends the options (a file may start with a dash); any other first
// argument is a file to open. Qt's own options (one dash) are Qt's.
#pragma once

#include <optional>
#include <string>

namespace velmora {

// What to print and how to end when the first argument answers without a
// window: an information option (standard output, status 0) or an unknown
// option (standard error, status 2).
struct CommandLineAnswer {
    std::string text;
    int exitCode = 0;
};

// The answer to the first argument (arguments as main() has them), or
// nothing when the program should start.
std::optional<CommandLineAnswer> answerWithoutWindow(int argc, const char* const* argv);

// The file the program opens at start: the first argument, or the one after
// "--" (arguments as they are once Qt has taken its own); "" for none.
// *unknown gets an option no one took.
std::string fileToOpen(int argc, const char* const* argv, std::string* unknown);

} // namespace velmora
