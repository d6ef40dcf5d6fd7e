#include "frames.h"

#include <QColor>

namespace artgen {

namespace {

constexpr QRgb kOutline = 0x003C74;
constexpr QRgb kDisabledOutline = 0xC9C7BA;
// The dialog background around the raised frames: light at the top, a little
// darker and warmer at the bottom.
constexpr QRgb kRingTop = 0xFAFAF6;
constexpr QRgb kRingBottom = 0xE0DCC9;
// The flat background around the sunken and the disabled frame.
constexpr QRgb kRingFlat = 0xECE9D8;
// Share of the outline in the two pixels that round each corner.
constexpr double kCornerBlend = 0.4;

QRgb mix(QRgb a, QRgb b, double t) {
    auto channel = [t](int x, int y) { return static_cast<int>(x + (y - x) * t + 0.5); };
    return qRgb(channel(qRed(a), qRed(b)), channel(qGreen(a), qGreen(b)),
                channel(qBlue(a), qBlue(b)));
}

// Colour between `top` and `bottom` for row y of the picture.
QRgb shade(QRgb top, QRgb bottom, int y) {
    return mix(top, bottom, static_cast<double>(y) / (kFrameHeight - 1));
}

class Canvas {
  public:
    Canvas() : image_(kFrameWidth, kFrameHeight, QImage::Format_RGB888) {}

    void set(int x, int y, QRgb c) { image_.setPixel(x, y, c | 0xFF000000u); }
    QRgb at(int x, int y) const { return image_.pixel(x, y) & 0xFFFFFFu; }

    void fill(int x0, int y0, int x1, int y1, QRgb c) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                set(x, y, c);
    }
    void row(int y, int x0, int x1, QRgb c) { fill(x0, y, x1, y, c); }
    void column(int x, int y0, int y1, QRgb c) { fill(x, y0, x, y1, c); }

    // The background the outline stands on, over the whole picture; the face is
    // drawn over it afterwards, so what stays is the ring outside the outline
    // and the corner pixels the rounding leaves out.
    void background(QRgb top, QRgb bottom) {
        for (int y = 0; y < kFrameHeight; ++y)
            row(y, 0, kFrameWidth - 1, shade(top, bottom, y));
    }

    // The outline `inset` pixels inside the picture edge. Each corner is rounded
    // over two pixels: the corner pixel itself keeps the background, its two
    // neighbours on the edge are a blend, and the outline turns through the
    // pixel diagonally inside.
    void outline(int inset, QRgb c) {
        const int l = inset, t = inset, r = kFrameWidth - 1 - inset, b = kFrameHeight - 1 - inset;
        row(t, l + 2, r - 2, c);
        row(b, l + 2, r - 2, c);
        column(l, t + 2, b - 2, c);
        column(r, t + 2, b - 2, c);
        const struct {
            int x, y, dx, dy;
        } corners[] = {{l, t, 1, 1}, {r, t, -1, 1}, {l, b, 1, -1}, {r, b, -1, -1}};
        for (const auto& k : corners) {
            set(k.x + k.dx, k.y + k.dy, c);
            set(k.x + k.dx, k.y, mix(at(k.x + k.dx, k.y - k.dy), c, kCornerBlend));
            set(k.x, k.y + k.dy, mix(at(k.x - k.dx, k.y + k.dy), c, kCornerBlend));
        }
    }

    QImage take() { return image_; }

  private:
    QImage image_;
};

// Interior of the raised frames (outline on ring 1): x 2..61, y 2..22.
constexpr int kIn0X = 2, kIn1X = kFrameWidth - 3, kIn0Y = 2, kIn1Y = kFrameHeight - 3;

QImage drawNormal() {
    Canvas c;
    c.background(kRingTop, kRingBottom);
    c.fill(kIn0X, kIn0Y, kIn1X, kIn1Y, 0xF3F3EE);
    // Light from the top left: a white inner top row and left edge, a slightly
    // darker right edge, and two darker rows above the bottom outline.
    c.row(kIn0Y, kIn0X, kIn1X, 0xFFFFFF);
    c.column(kIn0X, kIn0Y, kIn1Y, 0xFFFFFF);
    c.column(kIn0X + 1, kIn0Y + 1, kIn1Y, 0xFAFAF7);
    c.column(kIn1X - 1, kIn0Y + 1, kIn1Y, 0xEFEEE8);
    c.column(kIn1X, kIn0Y, kIn1Y, 0xE8E7E0);
    c.row(kIn1Y - 1, kIn0X, kIn1X, 0xE2DFD6);
    c.row(kIn1Y, kIn0X, kIn1X, 0xD6D0C5);
    c.outline(1, kOutline);
    return c.take();
}

// A two-pixel band inside the outline: two top rows, two columns on each side
// shading from `sideTop` to `sideBottom`, two bottom rows.
QImage banded(QRgb top0, QRgb top1, QRgb sideTop, QRgb sideBottom, QRgb bottom0, QRgb bottom1) {
    Canvas c;
    c.background(kRingTop, kRingBottom);
    c.fill(kIn0X, kIn0Y, kIn1X, kIn1Y, 0xF3F3EE);
    // The sides show between the top and the bottom rows: rows 4 to 20.
    const int sideFrom = kIn0Y + 2, sideTo = kIn1Y - 2;
    for (int y = sideFrom; y <= sideTo; ++y) {
        const QRgb side =
            mix(sideTop, sideBottom, static_cast<double>(y - sideFrom) / (sideTo - sideFrom));
        for (int x : {kIn0X, kIn0X + 1, kIn1X - 1, kIn1X})
            c.set(x, y, side);
    }
    c.row(kIn0Y, kIn0X, kIn1X, top0);
    c.row(kIn0Y + 1, kIn0X, kIn1X, top1);
    c.row(kIn1Y - 1, kIn0X, kIn1X, bottom0);
    c.row(kIn1Y, kIn0X, kIn1X, bottom1);
    c.outline(1, kOutline);
    return c.take();
}

QImage drawHighLight() {
    return banded(0xFFF0CF, 0xFDD889, 0xFEDF9A, 0xF9B435, 0xF8B330, 0xE59700);
}

QImage drawSelected() {
    return banded(0xCEE7FF, 0xCEE7FF, 0xB7D0F4, 0x8BADE4, 0x6982EE, 0x6982EE);
}

QImage drawPressed() {
    Canvas c;
    c.background(kRingFlat, kRingFlat);
    // Inside the outline that lies on ring 2: x 3..60, y 3..21.
    const int x0 = 3, x1 = kFrameWidth - 4, y0 = 3, y1 = kFrameHeight - 4;
    c.fill(x0, y0, x1, y1, 0xE2E1D9);
    // Sunken: shadow along the inner top and left edge, light above the bottom.
    c.row(y0 + 1, x0 + 1, x1, 0xD7D4CB);
    c.column(x0 + 1, y0 + 1, y1, 0xD7D4CB);
    c.row(y0, x0, x1, 0xD1CCC1);
    c.column(x0, y0, y1, 0xD1CCC1);
    c.row(y1 - 1, x0 + 2, x1, 0xEAE9E3);
    c.row(y1, x0 + 1, x1, 0xF2F1EE);
    c.outline(2, kOutline);
    return c.take();
}

QImage drawDisable() {
    Canvas c;
    c.background(kRingFlat, kRingFlat);
    c.fill(kIn0X, kIn0Y, kIn1X, kIn1Y, 0xF5F4EA);
    c.outline(1, kDisabledOutline);
    return c.take();
}

} // namespace

std::vector<NamedImage> drawFrames() {
    const QImage highLight = drawHighLight();
    return {
        {QStringLiteral("normal.bmp"), drawNormal()},
        {QStringLiteral("highlight.bmp"), highLight},
        // Hover with the focus looks exactly like hover without it.
        {QStringLiteral("highlightselect.bmp"), highLight},
        {QStringLiteral("selected.bmp"), drawSelected()},
        {QStringLiteral("pressed.bmp"), drawPressed()},
        {QStringLiteral("disable.bmp"), drawDisable()},
    };
}

} // namespace artgen
