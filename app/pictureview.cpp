#include "app/pictureview.h"

#include "gui/colourvalue.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora {

namespace {

// Tiles kept beyond those in view: about three more views' worth, and never
// fewer than a few, so that a small window keeps its neighbours too.
constexpr int kViewsKept = 4;
constexpr int kMinTilesKept = 32;
// Pixels moved by one step of the wheel, per line it scrolls.
constexpr int kPixelsPerWheelLine = 20;

} // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent), background_(Qt::white) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

PictureView* PictureView::place(QWidget* parent, const QString& name, const QRect& geometry,
                                const QColor& background) {
    auto* view = new PictureView(parent);
    view->setObjectName(name);
    view->setGeometry(geometry);
    view->setBackground(background);
    view->showPicture(QImage());
    return view;
}

void PictureView::setBackground(const QColor& colour) {
    background_ = colour;
    update();
}

void PictureView::startOver(const QSize& content) {
    tiles_.clear();
    revealedTo_ = -1;
    content_ = content;
    offset_ = QPoint();
    resize(content_.boundedTo(area_));
    updateCursor();
    update();
}

void PictureView::showPicture(const QImage& picture) {
    picture_ = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    ratio_ = 0;
    startOver(picture_.isNull() ? size() : picture_.size());
}

bool PictureView::showEnlarged(const QImage& picture, double r) {
    const EnlargeGeometry g = enlargeGeometry(picture.width(), picture.height(), r);
    if (!g.valid)
        return false;
    picture_ = picture.convertToFormat(QImage::Format_RGB32);
    ratio_ = r;
    startOver(QSize(g.width, g.height));
    revealedTo_ = 0;
    return true;
}

bool PictureView::reveal() {
    const QRect view = viewRect();
    if (ratio_ <= 0 || view.isEmpty()) {
        revealedTo_ = -1;
        return true;
    }
    const QRect tiles = TileCache::tilesOver(view);
    revealedTo_ = view.left();
    for (int tx = tiles.left(); tx <= tiles.right(); ++tx) {
        if (!computeTiles(QRect(tx, tiles.top(), 1, tiles.height())))
            return false;
        const int before = revealedTo_;
        revealedTo_ = std::min(content_.width(), (tx + 1) * TileCache::kTileSize);
        // Only the newly computed columns are painted, at once.
        repaint(QRect(before - offset_.x(), 0, revealedTo_ - before, height()));
    }
    revealedTo_ = -1;
    return true;
}

PictureView::State PictureView::state() const {
    return {picture_, ratio_, content_, offset_, tiles_};
}

void PictureView::restore(const State& state) {
    picture_ = state.picture;
    ratio_ = state.ratio;
    startOver(state.content);
    tiles_ = state.tiles;
    scrollTo(state.offset);
}

QRect PictureView::viewRect() const {
    return QRect(offset_, size()).intersected(QRect(QPoint(), content_));
}

QRect PictureView::tileRect(const QPoint& index) const {
    return QRect(index * TileCache::kTileSize, QSize(TileCache::kTileSize, TileCache::kTileSize))
        .intersected(QRect(QPoint(), content_));
}

QImage PictureView::computeTile(const QPoint& index) const {
    const QRect area = tileRect(index);
    QImage computed(area.size(), QImage::Format_RGB32);
    if (computed.isNull())
        return {};
    const SourceImage source{reinterpret_cast<const std::uint32_t*>(picture_.constBits()),
                             picture_.width(), picture_.height(), picture_.bytesPerLine() / 4};
    const DestImage dest{reinterpret_cast<std::uint32_t*>(computed.bits()), computed.width(),
                         computed.height(), computed.bytesPerLine() / 4};
    EnlargeOptions options;
    options.blendedHigh = 0xFF000000u;
    options.firstColumn = area.left();
    options.firstRow = area.top();
    options.threads = 1; // tiles are computed side by side instead
    const EnlargeStatus status = (enlarge_ ? enlarge_ : enlarge)(source, ratio_, dest, options);
    return status == EnlargeStatus::Done ? computed : QImage();
}

bool PictureView::computeTiles(const QRect& indexes) {
    std::vector<QPoint> missing;
    for (int ty = indexes.top(); ty <= indexes.bottom(); ++ty)
        for (int tx = indexes.left(); tx <= indexes.right(); ++tx)
            if (tiles_.find(QPoint(tx, ty)).isNull())
                missing.emplace_back(tx, ty);
    if (missing.empty())
        return true;
    std::vector<QImage> made(missing.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k; (k = next.fetch_add(1)) < missing.size();)
            made[k] = computeTile(missing[k]);
    };
    // Each tile is small; the tiles of one paint share the cores (one, when the
    // system cannot tell how many).
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t helpers = std::min(missing.size(), cores) - 1;
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < helpers; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads; the tiles get done all the same
        }
    }
    work();
    for (std::thread& thread : threads)
        thread.join();
    bool complete = true;
    for (std::size_t k = 0; k < missing.size(); ++k) {
        complete = complete && !made[k].isNull();
        if (!made[k].isNull())
            tiles_.insert(missing[k], made[k]);
    }
    return complete;
}

void PictureView::drawCleared(QPainter& p, const QRect& area) const {
    p.fillRect(area, background_);
    const QRect picture = area.intersected(picture_.rect());
    if (!picture.isEmpty())
        p.drawImage(picture.topLeft(), picture_, picture);
}

void PictureView::drawTiles(QPainter& p, const QRect& area) {
    const QRect tiles = TileCache::tilesOver(area);
    computeTiles(tiles);
    for (int ty = tiles.top(); ty <= tiles.bottom(); ++ty)
        for (int tx = tiles.left(); tx <= tiles.right(); ++tx) {
            const QPoint index(tx, ty);
            const QRect part = tileRect(index).intersected(area);
            const QImage computed = tiles_.find(index);
            if (computed.isNull())
                p.fillRect(part, background_);
            else
                p.drawImage(part.topLeft(), computed, part.translated(-tileRect(index).topLeft()));
        }
}

void PictureView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    // Content coordinates from here on.
    p.translate(-offset_);
    const QRect area = event->rect().translated(offset_);
    const QRect inside = area.intersected(QRect(QPoint(), content_));
    for (const QRect& outside : QRegion(area) - QRegion(inside))
        p.fillRect(outside, background_);
    if (inside.isEmpty())
        return;
    if (ratio_ <= 0) {
        drawCleared(p, inside);
        return;
    }
    const int computedTo = revealedTo_ < 0 ? content_.width() : revealedTo_;
    const QRect done = inside.intersected(QRect(0, 0, computedTo, content_.height()));
    if (!done.isEmpty())
        drawTiles(p, done);
    const QRect rest =
        inside.intersected(QRect(computedTo, 0, content_.width() - computedTo, content_.height()));
    if (!rest.isEmpty())
        drawCleared(p, rest);
    const QRect inView = TileCache::tilesOver(viewRect());
    tiles_.trim(inView, std::max(kMinTilesKept, kViewsKept * inView.width() * inView.height()));
}

QImage PictureView::content(const QRect& rect) {
    QImage out(rect.size(), QImage::Format_RGB32);
    if (out.isNull())
        return out;
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.translate(-rect.topLeft());
    const QRect inside = rect.intersected(QRect(QPoint(), content_));
    p.fillRect(rect, background_);
    if (inside.isEmpty())
        return out;
    if (ratio_ <= 0)
        drawCleared(p, inside);
    else
        drawTiles(p, inside);
    return out;
}

std::uint32_t PictureView::GetPixel(int x, int y) {
    if (!QRect(QPoint(), content_).contains(x, y))
        return 0xFFFFFFFFu;
    return gui::swapRedBlue(content(QRect(x, y, 1, 1)).pixel(0, 0)) & 0x00FFFFFFu;
}

void PictureView::scrollTo(const QPoint& wanted) {
    const QPoint last(std::max(0, content_.width() - width()),
                      std::max(0, content_.height() - height()));
    const QPoint clamped(std::clamp(wanted.x(), 0, last.x()), std::clamp(wanted.y(), 0, last.y()));
    const QPoint moved = offset_ - clamped;
    if (moved.isNull())
        return;
    offset_ = clamped;
    // What stays in view is moved on the screen; only what comes into view is painted.
    scroll(moved.x(), moved.y());
}

void PictureView::fitInto(const QSize& area) {
    area_ = area;
    resize(content_.boundedTo(area_));
    scrollTo(offset_);
    updateCursor();
}

void PictureView::updateCursor() {
    const bool movable = content_.width() > width() || content_.height() > height();
    if (dragging_)
        setCursor(Qt::ClosedHandCursor);
    else if (movable)
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    dragging_ = true;
    dragStart_ = event->globalPosition().toPoint();
    offsetAtDragStart_ = offset_;
    updateCursor();
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_)
        return QWidget::mouseMoveEvent(event);
    // The content under the pointer stays under it.
    scrollTo(offsetAtDragStart_ - (event->globalPosition().toPoint() - dragStart_));
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_)
        return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    updateCursor();
}

void PictureView::wheelEvent(QWheelEvent* event) {
    // A touchpad reports pixels; a wheel reports steps of 120 eighths of a degree.
    QPoint delta = event->pixelDelta();
    if (delta.isNull())
        delta = event->angleDelta() * QApplication::wheelScrollLines() * kPixelsPerWheelLine / 120;
    if (event->modifiers() & Qt::ShiftModifier)
        delta = QPoint(delta.x() != 0 ? delta.x() : delta.y(), 0);
    if (delta.isNull())
        return QWidget::wheelEvent(event);
    scrollTo(offset_ - delta);
    event->accept();
}

} // namespace velmora
