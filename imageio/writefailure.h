// How the picture writers (bitmapwriter.h, pngwriter.h) say why a file could
// not be written.
#pragma once

#include <string>

namespace velmora::jpeg {
class OutputFile;
}

namespace velmora::imageio {

// Why the file could not be written: the kind of destination refused, or the
// system's error, in English.
std::string fileError(const jpeg::OutputFile& file);

// Puts why into error, when one is asked for; always false.
bool fail(std::string* error, const std::string& why);

} // namespace velmora::imageio
