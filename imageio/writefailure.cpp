#include "imageio/writefailure.h"

#include "outputfile/outputfile.h"

#include <cstring>

namespace velmora::imageio {

std::string fileError(const jpeg::OutputFile& file) {
    if (const jpeg::DestinationWords* words = jpeg::findDestinationWords(file.refusal()))
        return words->english;
    return std::strerror(file.error());
}

bool fail(std::string* error, const std::string& why) {
    if (error)
        *error = why;
    return false;
}

} // namespace velmora::imageio
