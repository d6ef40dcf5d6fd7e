// Pictures between the layers below the window (imageio/picture.h: 32-bit
// words 0xFFRRGGBB) and Qt's images, both ways without a copy where the
// formats agree.
#pragma once

#include "imageio/picture.h"

#include <QImage>
#include <QSize>

namespace velmora::gui {

// A Format_RGB32 image over the picture's own pixels; the image keeps the
// picture alive. Null for a null picture.
QImage imageOfPicture(const imageio::Picture& picture);

// The picture of an image: its own pixels when it is Format_RGB32 (the
// picture keeps a copy of the image, which shares them), otherwise a copy
// converted to that format.
// Null for an image without pixels.
imageio::Picture pictureOfImage(const QImage& image);

inline imageio::Size sizeOf(const QSize& size) {
    return {size.width(), size.height()};
}
inline QSize qSize(const imageio::Size& size) {
    return {size.width(), size.height()};
}

} // namespace velmora::gui
