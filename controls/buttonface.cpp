#include "controls/buttonface.h"

#include <QPainter>

namespace velmora {

void PaintGradient(QImage& surface, bool hoverShading) {
    const QRgb top = hoverShading ? kFaceShade : kFaceLight;
    const QRgb bottom = hoverShading ? kFaceLight : kFaceShade;
    const int h = surface.height();
    const int span = std::max(h - 1, 1);
    // Channels are carried as 16-bit values (8-bit colour in the high byte)
    // like the platform's gradient fill, and the high byte is what lands.
    auto channel = [span](int from, int to, int y) {
        const int a = from << 8, b = to << 8;
        return (a + (b - a) * y / span) >> 8;
    };
    for (int y = 0; y < h; ++y) {
        const QRgb c =
            qRgb(channel(qRed(top), qRed(bottom), y), channel(qGreen(top), qGreen(bottom), y),
                 channel(qBlue(top), qBlue(bottom), y));
        auto* line = reinterpret_cast<QRgb*>(surface.scanLine(y));
        std::fill(line, line + surface.width(), c);
    }
}

std::array<FrameSlice, kSliceCount> frameSlices(int W, int H) {
    // Source rectangles refer to the 960 x 375 twip (64 x 25 pixel) picture.
    // The odd 1-twip offsets are kept as the layout has them; at the nearest
    // pixel they fall on pixel 0.
    return {{
        {{0, 0, 60, 60}, {1, 1, 60, 60}},                // top-left corner
        {{60, 1, 840, 60}, {60, 1, W - 120, 60}},        // top edge
        {{900, 1, 60, 60}, {W - 60, 1, 60, 60}},         // top-right corner
        {{900, 60, 60, 255}, {W - 60, 60, 60, H - 120}}, // right edge
        {{900, 315, 60, 60}, {W - 60, H - 60, 60, 60}},  // bottom-right corner
        {{60, 315, 840, 60}, {60, H - 60, W - 120, 60}}, // bottom edge
        {{0, 315, 60, 60}, {1, H - 60, 60, 60}},         // bottom-left corner
        {{1, 60, 60, 255}, {1, 60, 60, H - 120}},        // left edge
    }};
}

void paintFrameSlices(QImage& surface, const QImage& frame) {
    QPainter p(&surface);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (const FrameSlice& slice :
         frameSlices(pixelsToTwips(surface.width()), pixelsToTwips(surface.height()))) {
        const QRect target = twipsToPixelsNearest(slice.target);
        if (target.width() <= 0 || target.height() <= 0)
            continue;
        p.drawImage(target, frame, twipsToPixelsNearest(slice.source));
    }
}

} // namespace velmora
