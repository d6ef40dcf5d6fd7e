// Drawing the button's face into its retained image: the vertical two-colour
// gradient, then the border of a frame picture stretched around it.
//
// Geometry is worked out in twips, as the control's layout is, and turned into
// the nearest pixels; only the gradient is computed in pixels.
#pragma once

#include "gui/twips.h"

#include <QColor>
#include <QImage>
#include <QRect>

#include <array>

namespace velmora {

// The two face colours: white and a light lavender grey. The normal shading has
// kFaceLight at the top edge, the hover shading has them the other way round.
inline constexpr QRgb kFaceLight = 0xFFFFFFFF;
inline constexpr QRgb kFaceShade = 0xFFC6C5D7;

// Fills the whole image with the vertical gradient: the first row has the top
// colour, the last row the bottom colour, the rows between are interpolated
// with 16-bit channels and truncated to 8 bits.
void PaintGradient(QImage& surface, bool hoverShading);

// One piece of the frame border: where it comes from in the 64 x 25 picture and
// where it goes on the button, both in twips.
struct FrameSlice {
    QRect source;
    QRect target;
};
inline constexpr int kSliceCount = 8;

// The eight border slices for a button of widthTwips x heightTwips, in drawing
// order: top-left corner, top edge, top-right corner, right edge, bottom-right
// corner, bottom edge, bottom-left corner, left edge. Corners keep their own
// size; edges are stretched along their length only. The centre of the picture
// is never used.
std::array<FrameSlice, kSliceCount> frameSlices(int widthTwips, int heightTwips);

// Draws the eight slices of `frame` onto `surface` (whose size is the
// button's), without smoothing. A slice whose target has no area (a button too
// small for its corners) is left out rather than drawn mirrored.
void paintFrameSlices(QImage& surface, const QImage& frame);

// Top of the caption label in twips for a button heightTwips high and a label
// labelHeightTwips high: centred, 20 twips above the middle.
constexpr double captionTopTwips(int heightTwips, int labelHeightTwips) {
    return (heightTwips - labelHeightTwips - 20) / 2.0;
}

} // namespace velmora
