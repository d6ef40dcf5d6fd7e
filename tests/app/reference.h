// What the window's tests compare Display with: the enlargement as the
// per-pixel routines give it, and the whole picture Display shows.
#pragma once

#include "app/pictureview.h"
#include "engine/sampling.h"

#include <QImage>
#include <QRect>

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

// What the view shows on the screen, without the map that sits over it for a
// while after it moves.
inline QImage Shown(QWidget* view) {
    QImage out(view->size(), QImage::Format_RGB32);
    view->render(&out, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return out;
}

// The whole picture Display shows, computed where needed.
inline QImage Whole(PictureView* view) {
    return view->content(QRect(QPoint(), view->contentSize()));
}

} // namespace velmora
