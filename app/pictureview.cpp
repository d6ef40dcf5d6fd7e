#include "app/pictureview.h"

#include "app/overviewmap.h"
#include "gui/colourvalue.h"
#include "parallel/parallel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <optional>

namespace velmora {

namespace {

// Pixels moved by one step of the wheel, per line it scrolls.
constexpr int kPixelsPerWheelLine = 20;
// The arrows move the view by this part of the window.
constexpr int kArrowStepParts = 10;
// How long the map stays after the view last moved.
constexpr int kMapLingerMs = 1000;

} // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent), background_(Qt::white) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    map_ = new OverviewMap(this);
    map_->hide();
    mapTimer_.setSingleShot(true);
    mapTimer_.setInterval(kMapLingerMs);
    connect(&mapTimer_, &QTimer::timeout, map_, &QWidget::hide);
    // Tiles that arrive are painted with the next paint.
    connect(&renderer_, &TileRenderer::tilesReady, this, qOverload<>(&QWidget::update));
}

// The renderer, a member, waits for its workers before anything they read goes.
PictureView::~PictureView() = default;

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
    revealedTo_ = -1;
    content_ = content;
    offset_ = QPoint();
    zoom_ = Zoom{};
    fitted_ = false;
    map_->setPicture(QImage());
    map_->hide();
    resize(shownSize().boundedTo(area_));
    updateCursor();
    update();
}

void PictureView::showPicture(const QImage& picture) {
    const QImage shown =
        picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    renderer_.setPicture(shown, 0, shown.size());
    startOver(shown.isNull() ? size() : shown.size());
}

bool PictureView::showEnlarged(const QImage& picture, double r) {
    const EnlargeGeometry g = enlargeGeometry(picture.width(), picture.height(), r);
    if (!g.valid)
        return false;
    renderer_.setPicture(picture.convertToFormat(QImage::Format_RGB32), r,
                         QSize(g.width, g.height));
    startOver(QSize(g.width, g.height));
    revealedTo_ = 0;
    return true;
}

bool PictureView::reveal() {
    const QRect view = viewRect();
    if (ratio() <= 0 || view.isEmpty()) {
        revealedTo_ = -1;
        return true;
    }
    const QRect tiles = TileCache::tilesOver(view);
    revealedTo_ = view.left();
    for (int tx = tiles.left(); tx <= tiles.right(); ++tx) {
        if (!renderer_.compute(QRect(tx, tiles.top(), 1, tiles.height()), zoom_))
            return false;
        const int before = revealedTo_;
        revealedTo_ = std::min(shownSize().width(), (tx + 1) * TileCache::kTileSize);
        // Only the newly computed columns are painted, at once.
        repaint(QRect(before - offset_.x(), 0, revealedTo_ - before, height()));
    }
    revealedTo_ = -1;
    return true;
}

PictureView::State PictureView::state() const {
    return {picture(),     ratio(),       content_, offset_,
            zoom_.divisor, zoom_.magnify, fitted_,  renderer_.zooms()};
}

void PictureView::restore(const State& state) {
    renderer_.setPicture(state.picture, state.ratio, state.content, state.zooms);
    startOver(state.content);
    zoom_ = Zoom{state.divisor, state.magnify};
    fitted_ = state.fitted;
    resize(shownSize().boundedTo(area_));
    scrollTo(state.offset);
}

// --- Zoom -------------------------------------------------------------------

void PictureView::setZoom(const Zoom& zoom, bool fitted, const QPoint& at) {
    // The content point under `at`, in content pixels.
    const QPointF point = (QPointF(offset_) + QPointF(at)) / scale();
    if (!(zoom == zoom_))
        renderer_.keepFirst(zoom);
    zoom_ = zoom;
    fitted_ = fitted;
    resize(shownSize().boundedTo(area_));
    offset_ = anchoredOffset(point, at, zoom_, shownSize(), size());
    updateCursor();
    showMap();
    // The tiles start at once; the first paint shows the picture scaled.
    renderer_.request(tilesInView(), zoom_);
    update();
}

void PictureView::zoomToFit() {
    setZoom(Zoom{fitDivisor(content_, area_), 1}, true, QPoint());
    offset_ = QPoint();
    update();
    updateMap();
}

void PictureView::zoomToOneToOne(const QPoint& at) {
    setZoom(Zoom{}, false, at);
}

void PictureView::zoomIn(const QPoint& at) {
    if (const std::optional<Zoom> in = zoomedIn(zoom_))
        setZoom(*in, false, at);
}

void PictureView::zoomOut(const QPoint& at) {
    if (const std::optional<Zoom> out = zoomedOut(zoom_, fitDivisor(content_, area_)))
        setZoom(*out, false, at);
}

// --- Where the view is --------------------------------------------------------

QRect PictureView::viewRect() const {
    return QRect(offset_, size()).intersected(QRect(QPoint(), shownSize()));
}

QRect PictureView::tilesInView() const {
    if (!showsPicture() || (ratio() <= 0 && zoom_ == Zoom{}))
        return {};
    QRect shown = viewRect();
    if (revealedTo_ >= 0)
        shown &= QRect(0, 0, revealedTo_, shownSize().height());
    return TileCache::tilesOver(shown);
}

bool PictureView::exact() const {
    return renderer_.settled(tilesInView(), zoom_);
}

void PictureView::scrollTo(const QPoint& wanted) {
    const QPoint clamped = clampedOffset(wanted, shownSize(), size());
    const QPoint moved = offset_ - clamped;
    if (moved.isNull())
        return;
    offset_ = clamped;
    // The tiles coming into view start before the paint that shows them.
    renderer_.request(tilesInView(), zoom_);
    // What stays in view is moved on the screen; only what comes into view is
    // painted. The map, a child, stays where it stands: the copy of it that
    // moved with the pixels is painted over.
    scroll(moved.x(), moved.y(), rect());
    if (map_->isVisible())
        update(map_->geometry().translated(moved));
    showMap();
}

void PictureView::fitInto(const QSize& area) {
    area_ = area;
    // A fitted view stays fitted to the new area.
    if (fitted_ && !content_.isEmpty()) {
        zoom_ = Zoom{fitDivisor(content_, area_), 1};
        renderer_.keepFirst(zoom_);
    }
    resize(shownSize().boundedTo(area_));
    scrollTo(offset_);
    updateCursor();
    updateMap();
}

void PictureView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    map_->place(rect());
}

// --- The map ------------------------------------------------------------------

void PictureView::showMap() {
    updateMap();
    if (map_->isHidden() && !viewRect().contains(QRect(QPoint(), shownSize())))
        map_->show();
    mapTimer_.start();
}

void PictureView::updateMap() {
    // The whole result in view: no map.
    if (viewRect().contains(QRect(QPoint(), shownSize())) || content_.isEmpty() ||
        !showsPicture()) {
        map_->hide();
        return;
    }
    // The whole result is made small once for each picture shown.
    if (map_->picture().isNull())
        map_->setPicture(OverviewMap::thumbnail(picture(), ratio(), content_));
    map_->setView(contentInView(), content_, zoomText());
}

// --- Painting -------------------------------------------------------------------

void PictureView::drawCleared(QPainter& p, const QRect& area) const {
    p.fillRect(area, background_);
    const QRect shown = area.intersected(picture().rect());
    if (!shown.isEmpty())
        p.drawImage(shown.topLeft(), picture(), shown);
}

void PictureView::drawScaled(QPainter& p, const QRect& area) const {
    const QSize shown = shownSize();
    const QImage& source =
        shown.width() < picture().width() ? renderer_.standIn() : renderer_.picture();
    if (source.isNull() || shown.isEmpty()) {
        p.fillRect(area, background_);
        return;
    }
    // Only the part of the picture under area is read, pixel by nearest pixel.
    const double across = static_cast<double>(source.width()) / shown.width();
    const double down = static_cast<double>(source.height()) / shown.height();
    const QRectF from(area.x() * across, area.y() * down, area.width() * across,
                      area.height() * down);
    p.drawImage(QRectF(area), source, from);
}

bool PictureView::drawTiles(QPainter& p, const QRect& area, const Zoom& zoom, bool scaled) const {
    bool missing = false;
    const QRect indexes = TileCache::tilesOver(area);
    for (int ty = indexes.top(); ty <= indexes.bottom(); ++ty)
        for (int tx = indexes.left(); tx <= indexes.right(); ++tx) {
            const QPoint index(tx, ty);
            const QRect tile = renderer_.tileRect(index, zoom);
            const QRect part = tile.intersected(area);
            const QImage kept = renderer_.find(index, zoom);
            if (kept.isNull()) {
                if (scaled)
                    drawScaled(p, part);
                else
                    p.fillRect(part, background_);
                missing = true;
            } else {
                p.drawImage(part.topLeft(), kept, part.translated(-tile.topLeft()));
            }
        }
    return missing;
}

void PictureView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    // Shown coordinates from here on.
    p.translate(-offset_);
    const QRect area = event->rect().translated(offset_);
    const QSize shown = shownSize();
    const QRect inside = area.intersected(QRect(QPoint(), shown));
    for (const QRect& outside : QRegion(area) - QRegion(inside))
        p.fillRect(outside, background_);
    if (inside.isEmpty())
        return;
    if (!showsPicture()) {
        p.fillRect(inside, background_);
        return;
    }
    if (ratio() <= 0 && zoom_ == Zoom{}) {
        drawCleared(p, inside);
        return;
    }
    const int computedTo = revealedTo_ < 0 ? shown.width() : revealedTo_;
    const QRect done = inside.intersected(QRect(0, 0, computedTo, shown.height()));
    // Tiles not ready are asked for; they are painted when they arrive.
    if (!done.isEmpty() && drawTiles(p, done, zoom_, true))
        renderer_.request(tilesInView(), zoom_);
    const QRect rest =
        inside.intersected(QRect(computedTo, 0, shown.width() - computedTo, shown.height()));
    if (!rest.isEmpty())
        drawCleared(p, rest);
    renderer_.trim(TileCache::tilesOver(viewRect()), zoom_);
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
    // The result's own pixels, whatever the zoom: its tiles at 1:1. A tile the
    // engine failed for shows the background.
    if (ratio() <= 0) {
        drawCleared(p, inside);
        return out;
    }
    renderer_.compute(TileCache::tilesOver(inside), Zoom{});
    drawTiles(p, inside, Zoom{}, false);
    return out;
}

std::uint32_t PictureView::GetPixel(int x, int y) {
    if (!QRect(QPoint(), content_).contains(x, y))
        return 0xFFFFFFFFu;
    return gui::swapRedBlue(content(QRect(x, y, 1, 1)).pixel(0, 0)) & 0x00FFFFFFu;
}

// --- Input ------------------------------------------------------------------------

void PictureView::updateCursor() {
    const QSize shown = shownSize();
    const bool movable = shown.width() > width() || shown.height() > height();
    if (dragging_)
        setCursor(Qt::ClosedHandCursor);
    else if (movable)
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !inputEnabled_)
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

void PictureView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !inputEnabled_ || content_.isEmpty())
        return QWidget::mouseDoubleClickEvent(event);
    const QPoint at = event->position().toPoint();
    if (fitted_ || scale() < 1)
        zoomToOneToOne(at);
    else
        zoomToFit();
}

void PictureView::wheelEvent(QWheelEvent* event) {
    if (!inputEnabled_)
        return event->ignore();
    if (event->modifiers() & Qt::ControlModifier) {
        // One notch a step; a touchpad's small turns add up in Qt's delta.
        const int notches = event->angleDelta().y() / 120;
        const QPoint at = event->position().toPoint();
        for (int i = 0; i < notches; ++i)
            zoomIn(at);
        for (int i = 0; i > notches; --i)
            zoomOut(at);
        event->accept();
        return;
    }
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

std::optional<QPoint> PictureView::keyTarget(int key, Qt::KeyboardModifiers mods) const {
    const QSize shown = shownSize();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;
    const int across = std::max(1, width() / kArrowStepParts);
    const int down = std::max(1, height() / kArrowStepParts);
    switch (key) {
    case Qt::Key_Left:
        return offset_ - QPoint(across, 0);
    case Qt::Key_Right:
        return offset_ + QPoint(across, 0);
    case Qt::Key_Up:
        return offset_ - QPoint(0, down);
    case Qt::Key_Down:
        return offset_ + QPoint(0, down);
    case Qt::Key_PageUp:
        return offset_ - (shift ? QPoint(width(), 0) : QPoint(0, height()));
    case Qt::Key_PageDown:
        return offset_ + (shift ? QPoint(width(), 0) : QPoint(0, height()));
    case Qt::Key_Home:
        return ctrl ? QPoint(0, 0) : QPoint(0, offset_.y());
    case Qt::Key_End:
        return ctrl ? QPoint(shown.width(), shown.height()) : QPoint(shown.width(), offset_.y());
    default:
        return std::nullopt;
    }
}

void PictureView::keyPressEvent(QKeyEvent* event) {
    if (!inputEnabled_ || content_.isEmpty() || !showsPicture())
        return QWidget::keyPressEvent(event);
    const QPoint centre(width() / 2, height() / 2);
    if (const std::optional<QPoint> target = keyTarget(event->key(), event->modifiers())) {
        scrollTo(*target);
    } else if (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Equal) {
        zoomIn(centre);
    } else if (event->key() == Qt::Key_Minus) {
        zoomOut(centre);
    } else if (event->key() == Qt::Key_0) {
        zoomToFit();
    } else if (event->key() == Qt::Key_1) {
        zoomToOneToOne(centre);
    } else {
        return QWidget::keyPressEvent(event);
    }
    event->accept();
}

} // namespace velmora
