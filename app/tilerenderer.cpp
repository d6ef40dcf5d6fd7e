#include "app/tilerenderer.h"

#include "engine/reduce.h"
#include "parallel/jobqueue.h"

#include <algorithm>
#include <optional>

namespace velmora {

namespace {

// Zooms whose tiles are kept: going back and forth between two or three is
// common (fit and 1:1, say).
constexpr std::size_t kZoomsKept = 3;
// Tiles kept beyond those in view: about three more views' worth, and never
// fewer than a few, so that a small window keeps its neighbours too.
constexpr int kViewsKept = 4;
constexpr int kMinTilesKept = 32;

} // namespace

// What the tiles of one picture are made of, shared by the work on them.
struct TileRenderer::Subject {
    QImage picture;
    double ratio = 0;
    QSize content;
    EnlargeFunction enlarge;
    // The picture's enlargement by ratio, planned once for every tile (none at
    // 1:1); it reads picture's pixels.
    std::optional<Enlargement> enlargement;
    unsigned generation = 0;

    SourceImage source() const {
        return {reinterpret_cast<const std::uint32_t*>(picture.constBits()), picture.width(),
                picture.height(), picture.bytesPerLine() / 4};
    }
    QRect tileRect(const QPoint& index, const Zoom& zoom) const {
        return QRect(index * TileCache::kTileSize,
                     QSize(TileCache::kTileSize, TileCache::kTileSize))
            .intersected(QRect(QPoint(), shownSize(content, zoom)));
    }
    // The result's pixels in part (content pixels); null when the engine failed.
    QImage resultPart(const QRect& part) const;
    // The tile at index at a zoom of 1:1 or more; null when the engine failed.
    QImage tile(const QPoint& index, const Zoom& zoom) const;
    // Below 1:1: the tiles of a run at once; a tile that failed stays null.
    void reducedRun(const Zoom& zoom, const std::vector<QPoint>& indexes,
                    std::vector<QImage>& made) const;
};

// Tiles side by side on a line of tiles, computed together.
struct TileRenderer::Run {
    Zoom zoom;
    std::vector<QPoint> indexes;
};

// A run done (or dropped: made empty).
struct TileRenderer::Made {
    unsigned generation = 0;
    Run run;
    std::vector<QImage> tiles;
};

QImage TileRenderer::Subject::resultPart(const QRect& part) const {
    if (ratio <= 0)
        return picture.copy(part);
    QImage result(part.size(), QImage::Format_RGB32);
    if (result.isNull())
        return {};
    // One tile on each worker: the tiles are computed side by side.
    const Rect area{part.left(), part.top(), part.width(), part.height()};
    const PixelView into{result.bits(), result.bytesPerLine(), 4};
    const EnlargeStatus status =
        enlarge ? enlarge(*enlargement, area, into) : enlargement->fill(area, into);
    if (status != EnlargeStatus::Done)
        return {};
    return result;
}

QImage TileRenderer::Subject::tile(const QPoint& index, const Zoom& zoom) const {
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

void TileRenderer::Subject::reducedRun(const Zoom& zoom, const std::vector<QPoint>& indexes,
                                       std::vector<QImage>& made) const {
    // Each pixel is the average of its block, from the source; the run at
    // once, so that the source is read in long runs of its rows, which memory
    // delivers faster than a tile's short ones.
    const QRect area = tileRect(indexes.front(), zoom).united(tileRect(indexes.back(), zoom));
    const double r = ratio > 0 ? ratio : 0;
    ReducedAxis columns, rows;
    if (!makeReducedAxis(area.left(), area.width(), zoom.divisor, content.width(), r,
                         picture.width(), &columns) ||
        !makeReducedAxis(area.top(), area.height(), zoom.divisor, content.height(), r,
                         picture.height(), &rows))
        return;
    QImage band(area.size(), QImage::Format_RGB32);
    const DestImage dest{reinterpret_cast<std::uint32_t*>(band.bits()), band.width(), band.height(),
                         band.bytesPerLine() / 4};
    if (band.isNull() || reduce(source(), columns, rows, dest) != EnlargeStatus::Done)
        return;
    if (indexes.size() == 1) {
        made[0] = band;
        return;
    }
    for (std::size_t k = 0; k < indexes.size(); ++k)
        made[k] = band.copy(tileRect(indexes[k], zoom).translated(-area.topLeft()));
}

TileRenderer::TileRenderer(QObject* parent)
    : QObject(parent), workers_(std::make_unique<parallel::JobQueue>(parallel::workerCount())) {
    setPicture(QImage(), 0, QSize());
}

TileRenderer::~TileRenderer() {
    workers_.reset(); // before what the work reads
}

void TileRenderer::setEnlarge(EnlargeFunction enlarge) {
    enlarge_ = std::move(enlarge);
    setPicture(picture_, ratio_, content_, std::move(zooms_));
}

void TileRenderer::setPicture(const QImage& picture, double ratio, const QSize& content,
                              std::list<ZoomTiles> zooms) {
    {
        // Work for the picture before is dropped from here on...
        const std::lock_guard lock(mutex_);
        ++generation_;
        wanted_ = QRect();
        standInMade_ = QImage();
    }
    // ... and what of it runs ends before its results are thrown away.
    workers_->waitIdle();
    collect();
    picture_ = picture;
    standIn_ = QImage();
    ratio_ = ratio;
    content_ = content;
    zooms_ = std::move(zooms);
    waiting_.clear();
    auto subject = std::make_shared<Subject>();
    subject->picture = picture;
    subject->ratio = ratio;
    subject->content = content;
    subject->enlarge = enlarge_;
    if (ratio > 0)
        subject->enlargement.emplace(subject->source(), ratio, 0xFF000000u);
    {
        const std::lock_guard lock(mutex_);
        subject->generation = generation_;
    }
    subject_ = std::move(subject);
    if (picture.width() > kStandInSide || picture.height() > kStandInSide)
        workers_->post([this, subject = subject_] { makeStandIn(subject); });
}

TileRenderer::ZoomTiles* TileRenderer::zoomTiles(const Zoom& zoom) {
    const auto found = std::find_if(zooms_.begin(), zooms_.end(),
                                    [&](const ZoomTiles& z) { return z.zoom == zoom; });
    return found == zooms_.end() ? nullptr : &*found;
}

TileRenderer::ZoomTiles& TileRenderer::makeZoomTiles(const Zoom& zoom) {
    if (ZoomTiles* found = zoomTiles(zoom))
        return *found;
    // A zoom other than the one kept first goes last, the first to be dropped.
    zooms_.push_back({zoom, {}});
    return zooms_.back();
}

void TileRenderer::keepFirst(const Zoom& zoom) {
    const auto found = std::find_if(zooms_.begin(), zooms_.end(),
                                    [&](const ZoomTiles& z) { return z.zoom == zoom; });
    if (found != zooms_.end())
        zooms_.splice(zooms_.begin(), zooms_, found);
    else
        zooms_.push_front({zoom, {}});
    while (zooms_.size() > kZoomsKept)
        zooms_.pop_back();
}

QImage TileRenderer::find(const QPoint& index, const Zoom& zoom) const {
    const auto found = std::find_if(zooms_.begin(), zooms_.end(),
                                    [&](const ZoomTiles& z) { return z.zoom == zoom; });
    return found == zooms_.end() ? QImage() : found->tiles.find(index);
}

bool TileRenderer::settled(const QRect& indexes, const Zoom& zoom) const {
    const auto w = waiting_.find({zoom.divisor, zoom.magnify});
    for (int ty = indexes.top(); ty <= indexes.bottom(); ++ty)
        for (int tx = indexes.left(); tx <= indexes.right(); ++tx)
            if (find(QPoint(tx, ty), zoom).isNull() &&
                (w == waiting_.end() || !w->second.failed.contains(QPoint(tx, ty))))
                return false;
    return true;
}

QRect TileRenderer::tileRect(const QPoint& index, const Zoom& zoom) const {
    return subject_->tileRect(index, zoom);
}

void TileRenderer::post(const QRect& indexes, const Zoom& zoom, bool retry) {
    ZoomTiles& z = makeZoomTiles(zoom);
    Waiting& w = waiting(zoom);
    {
        const std::lock_guard lock(mutex_);
        wantedZoom_ = zoom;
        wanted_ = indexes;
    }
    for (int ty = indexes.top(); ty <= indexes.bottom(); ++ty) {
        Run run{zoom, {}};
        const auto flush = [&] {
            if (!run.indexes.empty())
                workers_->post(
                    [this, subject = subject_, run = std::move(run)] { work(subject, run); });
            run = Run{zoom, {}};
        };
        for (int tx = indexes.left(); tx <= indexes.right(); ++tx) {
            const QPoint index(tx, ty);
            if (retry)
                w.failed.remove(index);
            // A run goes on while the tiles to compute follow one another.
            if (!z.tiles.find(index).isNull() || w.pending.contains(index) ||
                w.failed.contains(index)) {
                flush();
                continue;
            }
            w.pending.insert(index);
            run.indexes.push_back(index);
        }
        flush();
    }
}

void TileRenderer::work(const std::shared_ptr<const Subject>& subject, const Run& run) {
    Made made{subject->generation, run, {}};
    bool wanted;
    {
        const std::lock_guard lock(mutex_);
        wanted = subject->generation == generation_ && run.zoom == wantedZoom_ &&
                 QRect(run.indexes.front(), run.indexes.back()).intersects(wanted_);
    }
    if (wanted) {
        made.tiles.resize(run.indexes.size());
        if (run.zoom.divisor > 1)
            subject->reducedRun(run.zoom, run.indexes, made.tiles);
        else
            for (std::size_t k = 0; k < run.indexes.size(); ++k)
                made.tiles[k] = subject->tile(run.indexes[k], run.zoom);
    }
    const std::lock_guard lock(mutex_);
    made_.push_back(std::move(made));
    postCollect();
}

void TileRenderer::makeStandIn(const std::shared_ptr<const Subject>& subject) {
    {
        const std::lock_guard lock(mutex_);
        if (subject->generation != generation_)
            return;
    }
    const QImage small = subject->picture.scaled(QSize(kStandInSide, kStandInSide),
                                                 Qt::KeepAspectRatio, Qt::FastTransformation);
    const std::lock_guard lock(mutex_);
    if (subject->generation != generation_)
        return;
    standInMade_ = small;
    postCollect();
}

void TileRenderer::postCollect() {
    if (collectPosted_)
        return;
    collectPosted_ = true;
    QMetaObject::invokeMethod(this, &TileRenderer::collect, Qt::QueuedConnection);
}

void TileRenderer::collect() {
    std::vector<Made> made;
    unsigned generation;
    QImage standIn;
    {
        const std::lock_guard lock(mutex_);
        made.swap(made_);
        standIn.swap(standInMade_);
        collectPosted_ = false;
        generation = generation_;
    }
    bool any = !standIn.isNull();
    if (any)
        standIn_ = standIn;
    for (const Made& m : made) {
        if (m.generation != generation)
            continue; // a picture no longer shown
        any = true;
        Waiting& w = waiting(m.run.zoom);
        ZoomTiles* z = zoomTiles(m.run.zoom);
        for (std::size_t k = 0; k < m.run.indexes.size(); ++k) {
            const QPoint& index = m.run.indexes[k];
            w.pending.remove(index);
            if (m.tiles.empty())
                continue; // dropped: asked for again when it comes into view
            if (m.tiles[k].isNull())
                w.failed.insert(index);
            else if (z != nullptr)
                z->tiles.insert(index, m.tiles[k]);
        }
    }
    if (any)
        emit tilesReady();
}

void TileRenderer::request(const QRect& indexes, const Zoom& zoom) {
    if (!indexes.isEmpty())
        post(indexes, zoom, false);
}

bool TileRenderer::compute(const QRect& indexes, const Zoom& zoom) {
    if (indexes.isEmpty())
        return true;
    // A tile dropped by a worker before this asked for it is posted again in
    // the second round, when nothing else runs.
    for (const bool retry : {true, false}) {
        post(indexes, zoom, retry);
        workers_->waitIdle();
        collect();
    }
    const Waiting& w = waiting(zoom);
    for (const QPoint& failed : w.failed)
        if (indexes.contains(failed))
            return false;
    return settled(indexes, zoom);
}

void TileRenderer::settle() {
    workers_->waitIdle();
    collect();
}

void TileRenderer::trim(const QRect& inView, const Zoom& zoom) {
    const int budget = std::max(kMinTilesKept, kViewsKept * inView.width() * inView.height());
    int others = 0;
    for (ZoomTiles& z : zooms_) {
        // The present zoom keeps the budget around the view; the others what
        // is left of the same budget in all.
        if (z.zoom == zoom) {
            z.tiles.trim(inView, budget);
        } else {
            z.tiles.trim(QRect(), std::max(0, budget - others));
            others += z.tiles.count();
        }
    }
}

int TileRenderer::keptTiles() const {
    int n = 0;
    for (const ZoomTiles& z : zooms_)
        n += z.tiles.count();
    return n;
}

} // namespace velmora
