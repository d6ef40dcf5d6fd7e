// What the tests of the main window and of its picture view compare Display
// with: the enlargement as the per-pixel routines give it, the whole picture
// Display shows, and what it shows on the screen.
#pragma once

#include "app/pictureview.h"
#include "engine/sampling.h"

#include <QImage>
#include <QRect>
#include <QWidget>

namespace velmora {

// The part `part` of the enlargement of source at ratio r, in its own layout.
inline QImage Reference(const QImage& source, double r, const QRect& part) {
    const SourceImage view{reinterpret_cast<const std::uint32_t*>(source.constBits()),
                           source.width(), source.height(), source.bytesPerLine() / 4};
    QImage out(part.size(), QImage::Format_RGB32);
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            out.setPixel(
                x, y, 0xFF000000u | Sample_Bilinear((part.x() + x) / r, (part.y() + y) / r, view));
    return out;
}

// The whole picture Display shows, computed where needed.
inline QImage Whole(PictureView* view) {
    return view->content(QRect(QPoint(), view->contentSize()));
}

// What a widget shows on the screen now, as 32-bit pixels.
inline QImage Shown(QWidget* view) {
    return view->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace velmora
