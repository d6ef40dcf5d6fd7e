// The batch tool's JPEG output: the enlargement computed and compressed a
// strip of rows at a time on every core, written straight into the file.
#pragma once

#include "engine/sampling.h"

#include <QString>

#include <functional>

namespace velmora {

// Writes the width x height enlargement of source at ratio r as the JPEG file
// path, the same file the program's JPEG save writes for that picture
// (quality 100, 4:4:4, accurate DCT). Written under a temporary name beside
// path and renamed at the end: a failure leaves no file and keeps the one it
// was to replace. progress gets the rows written so far, from the top.
// Returns 0, or a conversion status (VELMORA_E_*) with error set to words.
int Write_Enlarged_Jpeg(const SourceImage& source, double r, int width, int height,
                        const QString& path, const std::function<void(int rows)>& progress,
                        QString* error);

// What went wrong, in words, for a conversion status; osError (an errno value)
// tells a full disk from other write failures.
QString Jpeg_Status_Words(int status, int osError = 0);

} // namespace velmora
