#include "gui/pictureimage.h"

#include <memory>

namespace velmora::gui {

QImage imageOfPicture(const imageio::Picture& picture) {
    if (picture.isNull())
        return QImage();
    return QImage(
        reinterpret_cast<uchar*>(picture.pixels()), picture.width(), picture.height(),
        static_cast<qsizetype>(picture.stride() * 4), QImage::Format_RGB32,
        [](void* held) { delete static_cast<imageio::Picture*>(held); },
        new imageio::Picture(picture));
}

imageio::Picture pictureOfImage(const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return {};
    const auto held = std::make_shared<QImage>(image.format() == QImage::Format_RGB32
                                                   ? image
                                                   : image.convertToFormat(QImage::Format_RGB32));
    // constBits() leaves the shared pixels shared: the picture only reads them.
    auto* pixels = reinterpret_cast<std::uint32_t*>(const_cast<uchar*>(held->constBits()));
    return imageio::Picture::wrap(pixels, held->width(), held->height(), held->bytesPerLine() / 4,
                                  held);
}

} // namespace velmora::gui
