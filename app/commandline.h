// The program's own command-line options. "velmora --help" and
// "velmora --version" answer on standard output without opening a window, so
// they work without a display; any other first argument is a file to open.
#pragma once

#include <optional>
#include <string>

namespace velmora {

// The text to print for an information option given as the first argument
// (arguments as main() has them), or nothing when the program should start.
std::optional<std::string> informationRequested(int argc, const char* const* argv);

} // namespace velmora
