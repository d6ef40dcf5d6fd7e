#include "app/overviewmap.h"

#include "engine/reduce.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

constexpr int kMargin = 8;    // from the view's edges
constexpr int kPadding = 4;   // around the small result
constexpr int kTextRoom = 18; // below it, for the zoom
const QColor kPanel(32, 32, 32, 170);
const QColor kMarker(255, 210, 0);

} // namespace

OverviewMap::OverviewMap(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("OverviewMap"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

QImage OverviewMap::thumbnail(const QImage& picture, double ratio, const QSize& content) {
    if (content.isEmpty())
        return {};
    const double divisor = std::max({1.0, static_cast<double>(content.width()) / kWidth,
                                     static_cast<double>(content.height()) / kHeight});
    // A hair more, so that rounding never leaves a row or column over.
    const double d = divisor > 1 ? divisor * (1 + 1e-9) : 1;
    const int w = std::min(kWidth, reducedExtent(content.width(), d));
    const int h = std::min(kHeight, reducedExtent(content.height(), d));
    QImage small(w, h, QImage::Format_RGB32);
    if (small.isNull())
        return {};
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    const SourceImage view{reinterpret_cast<const std::uint32_t*>(source.constBits()),
                           source.width(), source.height(), source.bytesPerLine() / 4};
    const DestImage into{reinterpret_cast<std::uint32_t*>(small.bits()), w, h,
                         small.bytesPerLine() / 4};
    if (reduce(view, ratio > 0 ? ratio : 0, d, into, 0, 0) != EnlargeStatus::Done)
        return {};
    return small;
}

void OverviewMap::setPicture(const QImage& thumbnail) {
    picture_ = thumbnail;
    resize(picture_.width() + 2 * kPadding, picture_.height() + 2 * kPadding + kTextRoom);
    if (parentWidget())
        place(parentWidget()->rect());
    update();
}

void OverviewMap::setView(const QRect& inView, const QSize& content, const QString& zoom) {
    zoom_ = zoom;
    if (content.isEmpty() || picture_.isNull()) {
        marker_ = QRect();
    } else {
        const double sx = static_cast<double>(picture_.width()) / content.width();
        const double sy = static_cast<double>(picture_.height()) / content.height();
        const int left = static_cast<int>(std::floor(inView.left() * sx));
        const int top = static_cast<int>(std::floor(inView.top() * sy));
        const int right = static_cast<int>(std::ceil((inView.right() + 1) * sx)) - 1;
        const int bottom = static_cast<int>(std::ceil((inView.bottom() + 1) * sy)) - 1;
        marker_ = QRect(QPoint(left, top), QPoint(right, bottom)).intersected(picture_.rect());
    }
    update();
}

void OverviewMap::place(const QRect& area) {
    move(area.right() + 1 - kMargin - width(), area.bottom() + 1 - kMargin - height());
}

void OverviewMap::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kPanel);
    p.setOpacity(0.85);
    p.drawImage(kPadding, kPadding, picture_);
    p.setOpacity(1);
    if (!marker_.isEmpty()) {
        p.setPen(QPen(kMarker, 1));
        p.drawRect(marker_.translated(kPadding, kPadding).adjusted(0, 0, -1, -1));
    }
    p.setPen(Qt::white);
    p.drawText(QRect(0, height() - kTextRoom, width(), kTextRoom), Qt::AlignCenter, zoom_);
}

} // namespace velmora
