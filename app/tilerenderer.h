// The tiles of the picture the view shows, computed on worker threads of
// their own, never on the thread that asks for them.
//
// The view asks for the tiles in sight (request) and paints what is kept;
// when a run of tiles is done it is kept on the asking thread and tilesReady
// is emitted there. Work on tiles that have left the view, or for a zoom no
// longer asked for, is dropped before it starts. A new picture (setPicture)
// drops what is queued and waits for what runs, so that no tile of the
// picture before is ever kept. compute() does the same work and waits for it,
// for the callers that need the pixels at once (the reveal after an
// enlargement, the content asked for by the save and the tests).
#pragma once

#include "app/tilecache.h"
#include "app/zoom.h"
#include "engine/enlargement.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSet>
#include <QSize>

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace velmora::parallel {
class JobQueue;
}

namespace velmora {

class TileRenderer : public QObject {
    Q_OBJECT
  public:
    // Fills an area of the enlargement into memory, as Enlargement::fill does.
    using EnlargeFunction =
        std::function<EnlargeStatus(const Enlargement&, const Rect& area, const PixelView& into)>;

    // The tiles of one zoom.
    struct ZoomTiles {
        Zoom zoom;
        TileCache tiles;
    };

    explicit TileRenderer(QObject* parent = nullptr);
    // Waits for the work that runs; what is queued is dropped.
    ~TileRenderer() override;

    // The engine the tiles are computed with; empty: Enlargement::fill. It
    // must not throw: it runs on the worker threads.
    void setEnlarge(EnlargeFunction enlarge);

    // The picture the tiles are made of: picture enlarged by ratio into a
    // result of content's size (ratio 0: the picture itself). Drops the work
    // for the picture before, waits for what of it runs, and keeps the zooms
    // given (the tiles of this picture computed before).
    void setPicture(const QImage& picture, double ratio, const QSize& content,
                    std::list<ZoomTiles> zooms = {});
    const QImage& picture() const { return picture_; }
    double ratio() const { return ratio_; }
    // What a tile not ready is drawn from when the shown picture is smaller
    // than the opened one: the picture made at most kStandInSide pixels a side
    // on a worker (the picture itself until then, or when it is that small).
    // Reading a large picture at wide steps costs a memory access a pixel.
    const QImage& standIn() const { return standIn_.isNull() ? picture_ : standIn_; }
    static constexpr int kStandInSide = 2048;

    // Puts the zoom's tiles first and drops the zooms past the few kept.
    void keepFirst(const Zoom& zoom);
    const std::list<ZoomTiles>& zooms() const { return zooms_; }

    // The tile at index of a zoom, or a null image when it is not kept.
    QImage find(const QPoint& index, const Zoom& zoom) const;
    // Whether every tile among indexes is kept or has failed (nothing more
    // will come for them).
    bool settled(const QRect& indexes, const Zoom& zoom) const;
    // The part of the shown picture a tile covers, cut at its edges.
    QRect tileRect(const QPoint& index, const Zoom& zoom) const;

    // Starts computing the tiles among indexes that are neither kept nor being
    // computed; the work queued for tiles elsewhere is dropped.
    void request(const QRect& indexes, const Zoom& zoom);
    // Computes the tiles among indexes not kept and waits for them. False when
    // the engine failed for any.
    bool compute(const QRect& indexes, const Zoom& zoom);
    // Waits until the work asked for is done, and keeps its tiles.
    void settle();

    // Keeps at most a few views' worth of tiles around the view (indexes in
    // sight at zoom), over every zoom.
    void trim(const QRect& inView, const Zoom& zoom);
    int keptTiles() const;

  signals:
    // Tiles asked for were kept (or given up): the view paints again.
    void tilesReady();

  private:
    struct Subject;
    struct Run;
    struct Made;

    ZoomTiles* zoomTiles(const Zoom& zoom);
    ZoomTiles& makeZoomTiles(const Zoom& zoom);
    // Posts the runs of tiles among indexes not kept nor pending (nor failed,
    // unless retry) to the workers.
    void post(const QRect& indexes, const Zoom& zoom, bool retry);
    // Runs on a worker: computes a run unless it is no longer wanted.
    void work(const std::shared_ptr<const Subject>& subject, const Run& run);
    // Runs on a worker: makes the stand-in of the subject's picture.
    void makeStandIn(const std::shared_ptr<const Subject>& subject);
    // Has collect() called on the asking thread; mutex_ held.
    void postCollect();
    // Keeps the tiles the workers made; on the asking thread.
    void collect();

    QImage picture_, standIn_;
    double ratio_ = 0;
    QSize content_;
    EnlargeFunction enlarge_;
    std::shared_ptr<const Subject> subject_;
    // The present zoom's tiles first; a few zooms are kept.
    std::list<ZoomTiles> zooms_;
    // For each zoom: the tiles posted and not yet collected, and those the
    // engine failed for.
    struct Waiting {
        QSet<QPoint> pending, failed;
    };
    std::map<std::pair<double, int>, Waiting> waiting_;
    Waiting& waiting(const Zoom& zoom) { return waiting_[{zoom.divisor, zoom.magnify}]; }

    // Shared with the workers.
    std::mutex mutex_;
    unsigned generation_ = 0; // the picture's; work of another is dropped
    Zoom wantedZoom_;
    QRect wanted_; // tile indexes; a run wholly outside is dropped
    std::vector<Made> made_;
    QImage standInMade_; // of the picture of generation_
    bool collectPosted_ = false;

    std::unique_ptr<parallel::JobQueue> workers_; // last: stopped first
};

} // namespace velmora
