#include "app/zoom.h"

#include "engine/reduce.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// The largest power of two at or below x (x at most 1): 1, 1/2, 1/4, ...
double powerOfTwoAtOrBelow(double x) {
    double p = 1;
    while (p > x && p > 1e-9)
        p /= 2;
    return p;
}

} // namespace

QSize shownSize(const QSize& content, const Zoom& zoom) {
    if (zoom.magnify > 1)
        return content * zoom.magnify;
    if (zoom.divisor > 1)
        return QSize(reducedExtent(content.width(), zoom.divisor),
                     reducedExtent(content.height(), zoom.divisor));
    return content;
}

double fitDivisor(const QSize& content, const QSize& area) {
    if (content.isEmpty() || area.isEmpty())
        return 1;
    const double across = static_cast<double>(content.width()) / area.width();
    const double down = static_cast<double>(content.height()) / area.height();
    const double d = std::max(across, down);
    if (d <= 1)
        return 1;
    // The smallest divisor whose reduced picture fits; a rounding that leaves
    // one pixel over is taken up by a hair more.
    double fit = d;
    while (reducedExtent(content.width(), fit) > area.width() ||
           reducedExtent(content.height(), fit) > area.height())
        fit = std::nextafter(fit, 2 * fit) * (1 + 1e-9);
    return fit;
}

std::optional<Zoom> zoomedIn(const Zoom& zoom) {
    if (zoom.magnify >= Zoom::kMostMagnified)
        return std::nullopt;
    if (zoom.magnify > 1 || zoom.divisor <= 1)
        return Zoom{1, zoom.magnify * 2};
    // Below 1:1: the next power of two above the present scale.
    const double next = powerOfTwoAtOrBelow(1 / zoom.divisor) * 2;
    return Zoom{next >= 1 ? 1 : 1 / next, 1};
}

std::optional<Zoom> zoomedOut(const Zoom& zoom, double fit) {
    if (zoom.magnify > 1)
        return Zoom{1, zoom.magnify / 2};
    // Halves down to the largest power of two at which the whole result fits.
    const double smallest = powerOfTwoAtOrBelow(1 / fit);
    double next = powerOfTwoAtOrBelow(1 / zoom.divisor);
    if (next >= 1 / zoom.divisor)
        next /= 2;
    if (next < smallest)
        return std::nullopt;
    return Zoom{1 / next, 1};
}

QRect contentUnder(const QRect& shown, const Zoom& zoom, const QSize& content) {
    if (shown.isEmpty())
        return {};
    if (zoom.magnify > 1)
        return QRect(QPoint(shown.left() / zoom.magnify, shown.top() / zoom.magnify),
                     QPoint(shown.right() / zoom.magnify, shown.bottom() / zoom.magnify));
    const auto start = [&zoom](long long u) {
        return static_cast<int>(std::floor(static_cast<double>(u) * zoom.divisor));
    };
    return QRect(QPoint(start(shown.left()), start(shown.top())),
                 QPoint(std::min(content.width(), start(shown.right() + 1)) - 1,
                        std::min(content.height(), start(shown.bottom() + 1)) - 1));
}

QPoint clampedOffset(const QPointF& wanted, const QSize& shown, const QSize& viewSize) {
    const QPoint last(std::max(0, shown.width() - viewSize.width()),
                      std::max(0, shown.height() - viewSize.height()));
    // Whole pixels towards the origin, so that a point a fraction of a pixel
    // in stays under the pointer.
    const auto whole = [](double v) {
        return static_cast<int>(std::clamp(std::floor(v), -1e9, 1e9));
    };
    return QPoint(std::clamp(whole(wanted.x()), 0, last.x()),
                  std::clamp(whole(wanted.y()), 0, last.y()));
}

QPoint anchoredOffset(const QPointF& point, const QPoint& at, const Zoom& zoom, const QSize& shown,
                      const QSize& viewSize) {
    return clampedOffset(point * zoom.scale() - QPointF(at), shown, viewSize);
}

QString zoomText(double scale) {
    // Whole percents as they are, others to a tenth: "100%", "12.5%", "2.7%".
    const double tenths = std::round(scale * 1000) / 10;
    return QString::number(tenths, 'f', tenths == std::floor(tenths) ? 0 : 1) + QLatin1Char('%');
}

} // namespace velmora
