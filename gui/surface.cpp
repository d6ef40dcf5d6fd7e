#include "gui/surface.h"

#include "gui/colourvalue.h"
#include "gui/filenames.h"
#include "gui/pictureimage.h"
#include "imageio/bitmapwriter.h"

#include <QPaintEvent>
#include <QPainter>

namespace velmora::gui {

Surface::Surface(QWidget* parent) : QWidget(parent), background_(Qt::white) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

Surface* Surface::place(QWidget* parent, const QString& name, const QRect& geometry,
                        const QColor& background) {
    auto* surface = new Surface(parent);
    surface->setObjectName(name);
    surface->setGeometry(geometry);
    surface->setBackground(background);
    surface->clear();
    return surface;
}

void Surface::setBackground(const QColor& colour) {
    if (background_ == colour)
        return;
    background_ = colour;
    clear();
}

void Surface::setPicture(const QImage& picture) {
    picture_ = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    if (autoSize_ && !picture_.isNull())
        resize(picture_.size());
    clear();
}

void Surface::paintCleared(QImage& target, const QRect& area) const {
    QPainter p(&target);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(area, background_);
    if (!picture_.isNull())
        p.drawImage(area.topLeft(), picture_, area);
}

void Surface::clear() {
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

void Surface::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect area = event->rect();
    const QRect imageArea = area.intersected(image_.rect());
    p.drawImage(imageArea.topLeft(), image_, imageArea);
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
}

bool Surface::saveBitmap(const QString& path) const {
    return imageio::writeBitmap(pictureOfImage(image_), pathBytes(path));
}

} // namespace velmora::gui
