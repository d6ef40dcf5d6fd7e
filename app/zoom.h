// The arithmetic of the view's zoom: the steps, fit, and the conversion
// between content pixels (the whole result's) and shown pixels (the result's
// at the zoom).
//
// At 1:1 and above each result pixel is a square of `magnify` shown pixels a
// side; below 1:1 shown column u covers result columns floor(u * divisor) up
// to floor((u + 1) * divisor), cut at the result (engine/reduce.h). One of the
// two is 1. The steps go by halves from the smallest that still fits up to the
// most magnified.
#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace velmora {

struct Zoom {
    // The most a picture is magnified: each result pixel then 8 x 8 pixels.
    static constexpr int kMostMagnified = 8;

    double divisor = 1;
    int magnify = 1;

    // Shown pixels per result pixel: 1 at 1:1, 0.5 halved, 8 at the most.
    double scale() const { return static_cast<double>(magnify) / divisor; }
    bool operator==(const Zoom&) const = default;
};

// The result's size at a zoom.
QSize shownSize(const QSize& content, const Zoom& zoom);

// The divisor that fits the whole content in area (1 when it fits at 1:1).
double fitDivisor(const QSize& content, const QSize& area);

// The next step in; none at the most magnified.
std::optional<Zoom> zoomedIn(const Zoom& zoom);
// The next step out, no smaller than the largest power of two at which the
// content fits (fit: its fitDivisor); none past it.
std::optional<Zoom> zoomedOut(const Zoom& zoom, double fit);

// The content pixels under the shown rectangle (inside the shown result).
QRect contentUnder(const QRect& shown, const Zoom& zoom, const QSize& content);

// The offset of a view of viewSize, moved as near to wanted as the shown
// result's edges let it.
QPoint clampedOffset(const QPointF& wanted, const QSize& shown, const QSize& viewSize);

// The offset that puts content point `point` (in content pixels) under view
// point `at` at a zoom whose shown result is `shown`, within its edges.
QPoint anchoredOffset(const QPointF& point, const QPoint& at, const Zoom& zoom, const QSize& shown,
                      const QSize& viewSize);

// The zoom as the map names it: "100%", "25%", "800%", "2.7%".
QString zoomText(double scale);

} // namespace velmora
