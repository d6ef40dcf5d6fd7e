#include "platform/surface.h"

#include "platform/bitmap.h"

#include <QPaintEvent>
#include <QPainter>

namespace velmora::platform {

namespace {

// Colour values keep red in the low byte; QImage::Format_RGB32 keeps blue there.
inline std::uint32_t swapRedBlue(std::uint32_t v) {
    return (v & 0xFF00FF00u) | ((v & 0xFFu) << 16) | ((v >> 16) & 0xFFu);
}

} // namespace

Surface::Surface(QWidget* parent) : QWidget(parent), background_(Qt::white) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

Surface* Surface::Place(QWidget* parent, const QString& name, const QRect& geometry,
                        const QColor& background) {
    auto* surface = new Surface(parent);
    surface->setObjectName(name);
    surface->setGeometry(geometry);
    surface->setBackground(background);
    surface->Cls();
    return surface;
}

void Surface::setBackground(const QColor& colour) {
    if (background_ == colour)
        return;
    background_ = colour;
    Cls();
}

void Surface::setPicture(const QImage& picture) {
    picture_ = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    if (autoSize_ && !picture_.isNull())
        resize(picture_.size());
    Cls();
}

void Surface::showPicture(const QImage& picture) {
    picture_ = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    image_ = picture_;
    revealed_ = -1;
    resize(image_.size()); // finds the retained image at the new size: nothing to copy
    update();
}

void Surface::paintCleared(QImage& target, const QRect& area) const {
    QPainter p(&target);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(area, background_);
    if (!picture_.isNull())
        p.drawImage(area.topLeft(), picture_, area);
}

void Surface::Cls() {
    revealed_ = -1;
    const QSize s = size().expandedTo(QSize(0, 0));
    if (picture_.size() == s) {
        // The picture (opaque, 32 bits) covers the whole surface: it is the
        // retained image itself, shared until the first write copies it.
        image_ = picture_;
        update();
        return;
    }
    if (image_.size() != s || image_.format() != QImage::Format_RGB32)
        image_ = QImage(s, QImage::Format_RGB32);
    if (!image_.isNull())
        paintCleared(image_, image_.rect());
    update();
}

std::uint32_t Surface::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return 0xFFFFFFFFu;
    const auto* line = reinterpret_cast<const std::uint32_t*>(image_.constScanLine(y));
    return swapRedBlue(line[x]) & 0x00FFFFFFu;
}

void Surface::SetPixel(int x, int y, std::uint32_t colour) {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return;
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
    line[x] = 0xFF000000u | swapRedBlue(colour);
}

void Surface::beginReveal(QImage image) {
    // The image comes first, so the resize below finds it at the new size and
    // has nothing to copy or clear.
    image_ = std::move(image);
    revealed_ = 0;
    resize(image_.size());
    update();
}

void Surface::setRevealed(int columns) {
    if (revealed_ < 0)
        return;
    if (columns >= image_.width()) {
        const int from = revealed_;
        revealed_ = -1;
        update(QRect(from, 0, width() - from, height()));
        return;
    }
    if (columns <= revealed_)
        return;
    // Only the newly finished columns are repainted.
    update(QRect(revealed_, 0, columns - revealed_, height()));
    revealed_ = columns;
}

void Surface::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect area = event->rect();
    const QRect imageArea = area.intersected(image_.rect());
    if (revealed_ < 0) {
        p.drawImage(imageArea.topLeft(), image_, imageArea);
    } else {
        const QRect done = imageArea.intersected(QRect(0, 0, revealed_, image_.height()));
        if (!done.isEmpty())
            p.drawImage(done.topLeft(), image_, done);
        const QRect rest = area.intersected(QRect(revealed_, 0, width() - revealed_, height()));
        if (!rest.isEmpty()) {
            p.fillRect(rest, background_);
            if (!picture_.isNull())
                p.drawImage(rest.topLeft(), picture_, rest);
        }
    }
    // Outside the retained image (only while a resize is pending) the background shows.
    const QRegion outside = QRegion(area) - QRegion(image_.rect());
    for (const QRect& r : outside)
        p.fillRect(r, background_);
}

void Surface::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (image_.size() == size())
        return;
    // The retained image follows the control's size and keeps what it can of its
    // content; newly exposed parts show the cleared surface.
    QImage grown(size(), QImage::Format_RGB32);
    if (!grown.isNull()) {
        paintCleared(grown, grown.rect());
        if (!image_.isNull()) {
            QPainter p(&grown);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(0, 0, image_);
        }
    }
    image_ = std::move(grown);
    revealed_ = -1;
}

bool Surface::saveBitmap(const QString& path) const {
    return WriteBitmap(image_, path);
}

} // namespace velmora::platform
