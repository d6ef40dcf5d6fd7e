// How the picture writers (bitmapwriter.h, pngwriter.h) say why a file could
// not be written.
#pragma once

#include <QString>

namespace velmora::jpeg {
class OutputFile;
}

namespace velmora::imageio {

// Why the file could not be written: the kind of destination refused, or the
// system's error, in English.
QString fileError(const jpeg::OutputFile& file);

// Puts why into error, when one is asked for; always false.
bool fail(QString* error, const QString& why);

} // namespace velmora::imageio
