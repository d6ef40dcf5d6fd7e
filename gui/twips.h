// Twips and pixels. Window and control layouts are designed in twips (1/1440
// inch); this platform draws them at 96 dots per inch, 15 twips to a pixel.
//
// Each conversion to pixels says how it rounds, and each caller keeps the one
// its layout was measured with: the dialogs' and the main window's control
// layouts truncate, the button control's face and the dialog placement take
// the nearest pixel. Whole twips never fall halfway between two pixels (15 is
// odd), so the nearest pixel needs no rule for ties.
#pragma once

#include <QRect>

namespace velmora {

inline constexpr int kTwipsPerPixel = 15;

constexpr int pixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

// Whole pixels, the fraction cut off toward zero (-14 twips give 0).
constexpr int twipsToPixelsTruncated(int twips) {
    return twips / kTwipsPerPixel;
}

// The nearest whole pixel (7 twips give 0, 8 give 1, -8 give -1).
constexpr int twipsToPixelsNearest(int twips) {
    return twips >= 0 ? (2 * twips + kTwipsPerPixel) / (2 * kTwipsPerPixel)
                      : -twipsToPixelsNearest(-twips);
}

// A rectangle's left, top, width and height, each converted on its own.
constexpr QRect twipsToPixelsTruncated(const QRect& twips) {
    return QRect(twipsToPixelsTruncated(twips.x()), twipsToPixelsTruncated(twips.y()),
                 twipsToPixelsTruncated(twips.width()), twipsToPixelsTruncated(twips.height()));
}
constexpr QRect twipsToPixelsNearest(const QRect& twips) {
    return QRect(twipsToPixelsNearest(twips.x()), twipsToPixelsNearest(twips.y()),
                 twipsToPixelsNearest(twips.width()), twipsToPixelsNearest(twips.height()));
}

} // namespace velmora
