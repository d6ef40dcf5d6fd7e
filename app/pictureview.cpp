#include "app/pictureview.h"

#include "app/overviewmap.h"
#include "engine/reduce.h"
#include "gui/colourvalue.h"
#include "parallel/parallel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora {

namespace {

// Tiles kept beyond those in view: about three more views' worth, and never
// fewer than a few, so that a small window keeps its neighbours too.
constexpr int kViewsKept = 4;
constexpr int kMinTilesKept = 32;
// Zooms whose tiles are kept: going back and forth between two or three is
// common (fit and 1:1, say).
constexpr std::size_t kZoomsKept = 3;
// Pixels moved by one step of the wheel, per line it scrolls.
constexpr int kPixelsPerWheelLine = 20;
// The arrows move the view by this part of the window.
constexpr int kArrowStepParts = 10;
// How long the map stays after the view last moved.
constexpr int kMapLingerMs = 1000;

// Jobs 0 .. count - 1 run side by side: helper threads start them, and the
// thread that finishes takes part in what is left, then waits for the rest.
using parallel::SideBySide;

// The blocks of a line of tiles, or null when they were not made.
const ReducedAxis* axis(const std::map<int, ReducedAxis>& axes, int index) {
    const auto found = axes.find(index);
    return found == axes.end() ? nullptr : &found->second;
}

std::size_t cores() {
    return static_cast<std::size_t>(parallel::workerCount());
}

// The largest power of two at or below x (x at most 1): 1, 1/2, 1/4, ...
double powerOfTwoAtOrBelow(double x) {
    double p = 1;
    while (p > x && p > 1e-9)
        p /= 2;
    return p;
}

} // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent), background_(Qt::white) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    map_ = new OverviewMap(this);
    map_->hide();
    mapTimer_.setSingleShot(true);
    mapTimer_.setInterval(kMapLingerMs);
    connect(&mapTimer_, &QTimer::timeout, map_, &QWidget::hide);
}

// Tiles of one zoom being computed side by side, in runs along lines of tiles.
struct PictureView::TileJob {
    Zoom zoom;
    bool complete = true; // false when the blocks could not be had
    std::vector<QPoint> indexes;
    std::vector<std::pair<std::size_t, std::size_t>> runs; // first index, count
    std::vector<QImage> made;
    std::optional<SideBySide> jobs;
};

PictureView::~PictureView() {
    settleTiles();
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
    zooms_.clear();
    approximation_ = QImage();
    revealedTo_ = -1;
    content_ = content;
    offset_ = QPoint();
    divisor_ = 1;
    magnify_ = 1;
    fitted_ = false;
    map_->setPicture(QImage());
    map_->hide();
    resize(shownSize().boundedTo(area_));
    updateCursor();
    update();
}

void PictureView::showPicture(const QImage& picture) {
    settleTiles();
    picture_ = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    ratio_ = 0;
    startOver(picture_.isNull() ? size() : picture_.size());
}

bool PictureView::showEnlarged(const QImage& picture, double r) {
    settleTiles();
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
        if (!computeTiles(QRect(tx, tiles.top(), 1, tiles.height()), zoom()))
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
    return {picture_, ratio_, content_, offset_, divisor_, magnify_, fitted_, zooms_};
}

void PictureView::restore(const State& state) {
    settleTiles();
    picture_ = state.picture;
    ratio_ = state.ratio;
    startOver(state.content);
    divisor_ = state.divisor;
    magnify_ = state.magnify;
    fitted_ = state.fitted;
    zooms_ = state.zooms;
    resize(shownSize().boundedTo(area_));
    scrollTo(state.offset);
}

// --- Zoom -------------------------------------------------------------------

QSize PictureView::shownSize() const {
    return shownSize(zoom());
}

QString PictureView::zoomText() const {
    // Whole percents as they are, others to a tenth: "100%", "12.5%", "2.7%".
    const double tenths = std::round(scale() * 1000) / 10;
    return QString::number(tenths, 'f', tenths == std::floor(tenths) ? 0 : 1) + QLatin1Char('%');
}

double PictureView::fitDivisor() const {
    if (content_.isEmpty() || area_.isEmpty())
        return 1;
    const double across = static_cast<double>(content_.width()) / area_.width();
    const double down = static_cast<double>(content_.height()) / area_.height();
    const double d = std::max(across, down);
    if (d <= 1)
        return 1;
    // The smallest divisor whose reduced picture fits; a rounding that leaves
    // one pixel over is taken up by a hair more.
    double fit = d;
    while (reducedExtent(content_.width(), fit) > area_.width() ||
           reducedExtent(content_.height(), fit) > area_.height())
        fit = std::nextafter(fit, 2 * fit) * (1 + 1e-9);
    return fit;
}

void PictureView::keepPresentZoomFirst() {
    // The present zoom's tiles go first; a zoom not kept starts afresh.
    auto found = std::find_if(zooms_.begin(), zooms_.end(), [&](const ZoomTiles& z) {
        return z.divisor == divisor_ && z.magnify == magnify_;
    });
    if (found != zooms_.end())
        zooms_.splice(zooms_.begin(), zooms_, found);
    while (zooms_.size() > kZoomsKept)
        zooms_.pop_back();
}

void PictureView::setZoom(double divisor, int magnify, bool fitted, const QPoint& at) {
    settleTiles();
    // The content point under `at`, in content pixels.
    const double oldScale = scale();
    const QPointF point = (QPointF(offset_) + QPointF(at)) / oldScale;
    const bool same = divisor == divisor_ && magnify == magnify_;
    // What the view shows now, from the tiles it has: the first picture of the
    // new zoom is made from it, at once, while the exact one is computed.
    QImage before;
    const QRectF beforeContent(QPointF(offset_) / oldScale, QSizeF(size()) / oldScale);
    if (!same && divisor > 1 && isVisible() && revealedTo_ < 0 &&
        !(picture_.isNull() && ratio_ <= 0)) {
        before = QImage(size(), QImage::Format_RGB32);
        QPainter p(&before);
        p.translate(-offset_);
        paintArea(p, viewRect(), false);
    }
    divisor_ = divisor;
    magnify_ = magnify;
    fitted_ = fitted;
    if (!same)
        keepPresentZoomFirst();
    resize(shownSize().boundedTo(area_));
    const QPointF wanted = point * scale() - QPointF(at);
    const QPoint last(std::max(0, shownSize().width() - width()),
                      std::max(0, shownSize().height() - height()));
    offset_ = QPoint(std::clamp(static_cast<int>(std::floor(wanted.x())), 0, last.x()),
                     std::clamp(static_cast<int>(std::floor(wanted.y())), 0, last.y()));
    updateCursor();
    showMap();
    if (!before.isNull()) {
        approximate(before, beforeContent);
        if (!exact())
            startTiles(); // while the first picture is painted
    }
    update();
}

void PictureView::approximate(const QImage& before, const QRectF& beforeContent) {
    // Only a reduced zoom takes long to compute, and only where its tiles are
    // not kept.
    if (divisor_ <= 1)
        return;
    const QRect indexes = TileCache::tilesOver(viewRect());
    const TileCache& kept = tiles(zoom());
    bool allKept = true;
    for (int ty = indexes.top(); allKept && ty <= indexes.bottom(); ++ty)
        for (int tx = indexes.left(); allKept && tx <= indexes.right(); ++tx)
            allKept = !kept.find(QPoint(tx, ty)).isNull();
    if (allKept)
        return;
    approximation_ = before;
    const double s = scale();
    approximationAt_ =
        QRectF(beforeContent.topLeft() * s - QPointF(offset_), beforeContent.size() * s);
    // The exact picture follows as soon as the first one is on the screen.
    QTimer::singleShot(0, this, [this] {
        if (approximation_.isNull())
            return;
        approximation_ = QImage();
        update();
    });
}

void PictureView::zoomToFit() {
    setZoom(fitDivisor(), 1, true, QPoint());
    offset_ = QPoint();
    update();
    updateMap();
}

void PictureView::zoomToOneToOne(const QPoint& at) {
    setZoom(1, 1, false, at);
}

void PictureView::zoomIn(const QPoint& at) {
    if (magnify_ >= kMostMagnified)
        return;
    if (magnify_ > 1 || divisor_ <= 1) {
        setZoom(1, magnify_ * 2, false, at);
        return;
    }
    // Below 1:1: the next power of two above the present scale.
    double next = powerOfTwoAtOrBelow(1 / divisor_) * 2;
    setZoom(next >= 1 ? 1 : 1 / next, 1, false, at);
}

void PictureView::zoomOut(const QPoint& at) {
    if (magnify_ > 1) {
        setZoom(1, magnify_ / 2, false, at);
        return;
    }
    // Halves down to the largest power of two at which the whole result fits.
    const double smallest = powerOfTwoAtOrBelow(1 / fitDivisor());
    double next = powerOfTwoAtOrBelow(1 / divisor_);
    if (next >= 1 / divisor_)
        next /= 2;
    if (next < smallest)
        return;
    setZoom(1 / next, 1, false, at);
}

// --- Where the view is --------------------------------------------------------

QRect PictureView::viewRect() const {
    return QRect(offset_, size()).intersected(QRect(QPoint(), shownSize()));
}

QRect PictureView::contentInView() const {
    const QRect shown = viewRect();
    if (shown.isEmpty())
        return {};
    if (magnify_ > 1)
        return QRect(QPoint(shown.left() / magnify_, shown.top() / magnify_),
                     QPoint(shown.right() / magnify_, shown.bottom() / magnify_));
    const auto start = [this](long long u) {
        return static_cast<int>(std::floor(static_cast<double>(u) * divisor_));
    };
    return QRect(QPoint(start(shown.left()), start(shown.top())),
                 QPoint(std::min(content_.width(), start(shown.right() + 1)) - 1,
                        std::min(content_.height(), start(shown.bottom() + 1)) - 1));
}

void PictureView::scrollTo(const QPoint& wanted) {
    const QSize shown = shownSize();
    const QPoint last(std::max(0, shown.width() - width()), std::max(0, shown.height() - height()));
    const QPoint clamped(std::clamp(wanted.x(), 0, last.x()), std::clamp(wanted.y(), 0, last.y()));
    const QPoint moved = offset_ - clamped;
    if (moved.isNull())
        return;
    offset_ = clamped;
    // A first picture of a zoom stands where the view stood: moved, the view
    // paints exactly at once.
    if (!approximation_.isNull()) {
        approximation_ = QImage();
        update();
    }
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
    approximation_ = QImage();
    // A fitted view stays fitted to the new area.
    if (fitted_ && !content_.isEmpty())
        divisor_ = fitDivisor();
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
        (picture_.isNull() && ratio_ <= 0)) {
        map_->hide();
        return;
    }
    // The whole result is made small once for each picture shown.
    if (map_->picture().isNull())
        map_->setPicture(OverviewMap::thumbnail(picture_, ratio_, content_));
    map_->setView(contentInView(), content_, zoomText());
}

// --- Tiles ----------------------------------------------------------------------

PictureView::ZoomTiles& PictureView::zoomTiles(const Zoom& zoom) {
    const auto found = std::find_if(zooms_.begin(), zooms_.end(), [&](const ZoomTiles& z) {
        return z.divisor == zoom.divisor && z.magnify == zoom.magnify;
    });
    if (found != zooms_.end())
        return *found;
    // A zoom other than the present one goes last, the first to be dropped.
    const bool present = zoom.divisor == divisor_ && zoom.magnify == magnify_;
    zooms_.insert(present ? zooms_.begin() : zooms_.end(),
                  {zoom.divisor, zoom.magnify, {}, {}, {}});
    return present ? zooms_.front() : zooms_.back();
}

int PictureView::keptTiles() const {
    int n = 0;
    for (const ZoomTiles& z : zooms_)
        n += z.tiles.count();
    return n;
}

QSize PictureView::shownSize(const Zoom& zoom) const {
    if (zoom.magnify > 1)
        return content_ * zoom.magnify;
    if (zoom.divisor > 1)
        return QSize(reducedExtent(content_.width(), zoom.divisor),
                     reducedExtent(content_.height(), zoom.divisor));
    return content_;
}

QRect PictureView::tileRect(const QPoint& index, const Zoom& zoom) const {
    return QRect(index * TileCache::kTileSize, QSize(TileCache::kTileSize, TileCache::kTileSize))
        .intersected(QRect(QPoint(), shownSize(zoom)));
}

SourceImage PictureView::source() const {
    return {reinterpret_cast<const std::uint32_t*>(picture_.constBits()), picture_.width(),
            picture_.height(), picture_.bytesPerLine() / 4};
}

QImage PictureView::resultPart(const QRect& part) const {
    if (ratio_ <= 0)
        return picture_.copy(part);
    QImage result(part.size(), QImage::Format_RGB32);
    if (result.isNull())
        return {};
    EnlargeOptions options;
    options.blendedHigh = 0xFF000000u;
    options.firstColumn = part.left();
    options.firstRow = part.top();
    options.threads = 1; // tiles are computed side by side instead
    const DestImage into{reinterpret_cast<std::uint32_t*>(result.bits()), result.width(),
                         result.height(), result.bytesPerLine() / 4};
    if ((enlarge_ ? enlarge_ : enlarge)(source(), ratio_, into, options) != EnlargeStatus::Done)
        return {};
    return result;
}

QImage PictureView::computeTile(const QPoint& index, const Zoom& zoom) const {
    const QRect area = tileRect(index, zoom);
    // The result's pixels under the tile, then each one a square when magnified.
    const QRect under(QPoint(area.left() / zoom.magnify, area.top() / zoom.magnify),
                      QPoint(area.right() / zoom.magnify, area.bottom() / zoom.magnify));
    const QImage result = resultPart(under);
    if (result.isNull() || zoom.magnify == 1)
        return result;
    QImage computed(area.size(), QImage::Format_RGB32);
    if (computed.isNull())
        return {};
    for (int y = 0; y < area.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(
            result.constScanLine((area.top() + y) / zoom.magnify - under.top()));
        auto* to = reinterpret_cast<QRgb*>(computed.scanLine(y));
        for (int x = 0; x < area.width(); ++x)
            to[x] = from[(area.left() + x) / zoom.magnify - under.left()];
    }
    return computed;
}

bool PictureView::makeAxes(ZoomTiles& z, const std::vector<QPoint>& missing) const {
    // A few screens' worth of lines of tiles are kept; more are made again.
    constexpr std::size_t kAxesKept = 256;
    if (z.columnAxes.size() > kAxesKept)
        z.columnAxes.clear();
    if (z.rowAxes.size() > kAxesKept)
        z.rowAxes.clear();
    const QSize shown = shownSize({z.divisor, z.magnify});
    const double r = ratio_ > 0 ? ratio_ : 0;
    const auto make = [&](std::map<int, ReducedAxis>& axes, int index, int extent,
                          long long resultExtent, int sourceExtent) {
        if (axes.count(index))
            return true;
        const int first = index * TileCache::kTileSize;
        ReducedAxis made;
        if (!makeReducedAxis(first, std::min(TileCache::kTileSize, extent - first), z.divisor,
                             resultExtent, r, sourceExtent, &made))
            return false;
        axes.emplace(index, std::move(made));
        return true;
    };
    for (const QPoint& index : missing)
        if (!make(z.columnAxes, index.x(), shown.width(), content_.width(), picture_.width()) ||
            !make(z.rowAxes, index.y(), shown.height(), content_.height(), picture_.height()))
            return false;
    return true;
}

void PictureView::computeRun(const ZoomTiles& z, const QPoint* indexes, std::size_t count,
                             QImage* made) const {
    const Zoom zoom{z.divisor, z.magnify};
    if (zoom.divisor <= 1) {
        for (std::size_t k = 0; k < count; ++k)
            made[k] = computeTile(indexes[k], zoom);
        return;
    }
    // Below 1:1 each pixel is the average of its block, from the source; the
    // run at once, so that the source is read in long runs of its rows, which
    // memory delivers faster than a tile's short ones.
    std::vector<const ReducedAxis*> columnAxes;
    for (std::size_t k = 0; k < count; ++k)
        columnAxes.push_back(axis(z.columnAxes, indexes[k].x()));
    const ReducedAxis* rows = axis(z.rowAxes, indexes[0].y());
    ReducedAxis joined;
    const ReducedAxis* columns = count == 1                             ? columnAxes[0]
                                 : joinReducedAxes(columnAxes, &joined) ? &joined
                                                                        : nullptr;
    const QRect area = tileRect(indexes[0], zoom).united(tileRect(indexes[count - 1], zoom));
    QImage band(area.size(), QImage::Format_RGB32);
    const DestImage dest{reinterpret_cast<std::uint32_t*>(band.bits()), band.width(), band.height(),
                         band.bytesPerLine() / 4};
    if (band.isNull() || rows == nullptr || columns == nullptr ||
        reduce(source(), *columns, *rows, dest) != EnlargeStatus::Done)
        return;
    if (count == 1) {
        made[0] = band;
        return;
    }
    for (std::size_t k = 0; k < count; ++k)
        made[k] = band.copy(tileRect(indexes[k], zoom).translated(-area.topLeft()));
}

std::unique_ptr<PictureView::TileJob> PictureView::tileJob(const QRect& indexes, const Zoom& zoom) {
    auto job = std::make_unique<TileJob>();
    job->zoom = zoom;
    ZoomTiles& z = zoomTiles(zoom);
    for (int ty = indexes.top(); ty <= indexes.bottom(); ++ty)
        for (int tx = indexes.left(); tx <= indexes.right(); ++tx) {
            if (!z.tiles.find(QPoint(tx, ty)).isNull())
                continue;
            // A run goes on while the tiles follow one another on a line.
            const QPoint index(tx, ty);
            if (job->runs.empty() || job->indexes.back() != index - QPoint(1, 0))
                job->runs.emplace_back(job->indexes.size(), 0);
            ++job->runs.back().second;
            job->indexes.push_back(index);
        }
    if (job->indexes.empty())
        return nullptr;
    job->complete = zoom.divisor <= 1 || makeAxes(z, job->indexes);
    job->made.resize(job->indexes.size());
    // The blocks stay where they are until the job is kept: the zooms and
    // their blocks change only after settleTiles().
    TileJob* at = job.get();
    job->jobs.emplace(job->runs.size(), [this, at, &z](std::size_t k) {
        const auto [first, count] = at->runs[k];
        computeRun(z, &at->indexes[first], count, &at->made[first]);
    });
    return job;
}

bool PictureView::keep(TileJob& job) {
    job.jobs->finish();
    TileCache& kept = tiles(job.zoom);
    bool complete = job.complete;
    for (std::size_t k = 0; k < job.indexes.size(); ++k) {
        complete = complete && !job.made[k].isNull();
        if (!job.made[k].isNull())
            kept.insert(job.indexes[k], job.made[k]);
    }
    return complete;
}

void PictureView::startTiles() {
    tileJob_ = tileJob(TileCache::tilesOver(viewRect()), zoom());
    if (tileJob_)
        tileJob_->jobs->start(cores() - 1);
}

bool PictureView::settleTiles() {
    const std::unique_ptr<TileJob> job = std::move(tileJob_);
    return !job || keep(*job);
}

bool PictureView::computeTiles(const QRect& indexes, const Zoom& zoom) {
    const bool started = settleTiles();
    const std::unique_ptr<TileJob> job = tileJob(indexes, zoom);
    if (!job)
        return started;
    job->jobs->start(cores() - 1);
    return keep(*job) && started;
}

// --- Painting -------------------------------------------------------------------

void PictureView::drawCleared(QPainter& p, const QRect& area) const {
    p.fillRect(area, background_);
    const QRect picture = area.intersected(picture_.rect());
    if (!picture.isEmpty())
        p.drawImage(picture.topLeft(), picture_, picture);
}

void PictureView::drawTiles(QPainter& p, const QRect& area, const Zoom& zoom, bool compute) {
    const QRect indexes = TileCache::tilesOver(area);
    if (compute)
        computeTiles(indexes, zoom);
    const TileCache& kept = tiles(zoom);
    for (int ty = indexes.top(); ty <= indexes.bottom(); ++ty)
        for (int tx = indexes.left(); tx <= indexes.right(); ++tx) {
            const QPoint index(tx, ty);
            const QRect tile = tileRect(index, zoom);
            const QRect part = tile.intersected(area);
            const QImage computed = kept.find(index);
            if (computed.isNull())
                p.fillRect(part, background_);
            else
                p.drawImage(part.topLeft(), computed, part.translated(-tile.topLeft()));
        }
}

void PictureView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (!approximation_.isNull()) {
        // The first picture of a zoom: the whole result made small for the
        // map where the view before did not reach, and that view, moved and
        // stretched to where it now stands.
        p.fillRect(event->rect(), background_);
        const QImage& small = map_->picture();
        if (!approximationAt_.contains(QRectF(rect())) && !small.isNull())
            p.drawImage(QRectF(-QPointF(offset_), QSizeF(shownSize())), small);
        p.drawImage(approximationAt_, approximation_);
        return;
    }
    // Shown coordinates from here on.
    p.translate(-offset_);
    paintArea(p, event->rect().translated(offset_), true);
}

void PictureView::paintArea(QPainter& p, const QRect& area, bool compute) {
    const QSize shown = shownSize();
    const QRect inside = area.intersected(QRect(QPoint(), shown));
    for (const QRect& outside : QRegion(area) - QRegion(inside))
        p.fillRect(outside, background_);
    if (inside.isEmpty())
        return;
    const bool atOneToOne = divisor_ <= 1 && magnify_ == 1;
    if (picture_.isNull() && ratio_ <= 0) {
        p.fillRect(inside, background_);
        return;
    }
    if (ratio_ <= 0 && atOneToOne) {
        drawCleared(p, inside);
        return;
    }
    const int computedTo = revealedTo_ < 0 ? shown.width() : revealedTo_;
    const QRect done = inside.intersected(QRect(0, 0, computedTo, shown.height()));
    if (!done.isEmpty())
        drawTiles(p, done, zoom(), compute);
    if (!compute)
        return;
    const QRect rest =
        inside.intersected(QRect(computedTo, 0, shown.width() - computedTo, shown.height()));
    if (!rest.isEmpty())
        drawCleared(p, rest);
    const QRect inView = TileCache::tilesOver(viewRect());
    const int budget = std::max(kMinTilesKept, kViewsKept * inView.width() * inView.height());
    tiles(zoom()).trim(inView, budget);
    // Other zooms keep what they hold only within the same budget in all.
    int others = 0;
    for (auto it = std::next(zooms_.begin()); it != zooms_.end(); ++it) {
        it->tiles.trim(QRect(), std::max(0, budget - others));
        others += it->tiles.count();
    }
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
    // The result's own pixels, whatever the zoom: its tiles at 1:1.
    if (ratio_ <= 0)
        drawCleared(p, inside);
    else
        drawTiles(p, inside, Zoom{1, 1}, true);
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
    if (!inputEnabled_ || content_.isEmpty() || (picture_.isNull() && ratio_ <= 0))
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
