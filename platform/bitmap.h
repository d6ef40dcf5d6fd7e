// Writing an image as a Windows bitmap file.
#pragma once

#include <QImage>
#include <QString>

namespace velmora::platform {

// Writes image (any format; converted row by row) as an uncompressed 24-bit
// bottom-up bitmap. The file is written under a temporary name in its folder
// and renamed at the end, so a failure never leaves a truncated file and never
// destroys the file it was to replace. An image whose file would exceed 4 GiB
// is refused.
bool WriteBitmap(const QImage& image, const QString& path, QString* error = nullptr);

} // namespace velmora::platform
