#include "imageio/writefailure.h"

#include "outputfile/outputfile.h"

#include <cstring>

namespace velmora::imageio {

QString fileError(const jpeg::OutputFile& file) {
    if (const jpeg::DestinationWords* words = jpeg::findDestinationWords(file.refusal()))
        return QString::fromUtf8(words->english);
    return QString::fromLocal8Bit(std::strerror(file.error()));
}

bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

} // namespace velmora::imageio
