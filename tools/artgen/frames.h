// The six 64 x 25 frame pictures of the button control. Only the outer four
// pixels of each (background ring, outline, coloured band) ever reach the
// screen; the centre is drawn anyway so the pictures look whole on their own.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace artgen {

struct NamedImage {
    QString fileName;
    QImage image;
};

inline constexpr int kFrameWidth = 64;
inline constexpr int kFrameHeight = 25;

// normal.bmp, highlight.bmp, highlightselect.bmp, selected.bmp, pressed.bmp,
// disable.bmp, in that order.
std::vector<NamedImage> drawFrames();

} // namespace artgen
