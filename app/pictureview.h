// Display: the picture the main window shows, either the opened image or that
// image enlarged by a ratio, at a zoom. The enlarged result is never held
// whole: the view keeps the opened image and the ratio, and computes the part
// in view, tile by tile, with the engine.
//
// Zoom: at 1:1 and above every pixel shown is exactly the result's pixel (each
// one a square block when magnified 2, 4 or 8 times); below 1:1 each pixel
// shown is the average of the block of result pixels it covers (engine/reduce.h),
// on a grid fixed to the result, so that nothing shimmers while the view moves.
// "Fit" shows the whole result inside the area the view may cover; the steps
// go by halves from the smallest that still fits up to 8 times.
//
// Moving: dragging with the left button, the wheel (with Shift: sideways), and
// the keys (arrows, Page Up/Down, Home/End, with Ctrl to the corners). Zooming:
// Ctrl+wheel about the pointer, + and - about the centre, 0 to fit, 1 for 1:1,
// a double click between fit and 1:1 about the point clicked. While it moves or
// zooms, a small map of the whole result shows where the view is.
//
// Coordinates named "content" are pixels of the whole result; "shown" are
// pixels of the result at the present zoom. The widget shows the shown
// picture from offset() on, and is as large as it or the area it is fitted
// into, whichever is smaller.
#pragma once

#include "app/tilecache.h"
#include "engine/enlarge.h"
#include "engine/reduce.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace velmora {

class OverviewMap;

class PictureView : public QWidget {
    Q_OBJECT
  public:
    using EnlargeFunction = std::function<EnlargeStatus(const SourceImage&, double,
                                                        const DestImage&, const EnlargeOptions&)>;

    // The most a picture is magnified: each result pixel then 8 x 8 pixels.
    static constexpr int kMostMagnified = 8;

    explicit PictureView(QWidget* parent = nullptr);
    ~PictureView() override;

    // A new view on parent with its object name, place and background, showing
    // no picture at that size.
    static PictureView* place(QWidget* parent, const QString& name, const QRect& geometry,
                              const QColor& background);

    void setBackground(const QColor& colour);
    QColor background() const { return background_; }
    // The engine the tiles are computed with; empty: velmora::enlarge. Like the
    // engine, it must not throw: tiles are computed on several threads.
    void setEnlarge(EnlargeFunction enlarge) { enlarge_ = std::move(enlarge); }

    // Shows picture at 1:1, the content taking its size; a null picture shows
    // the background at the view's present size. The view goes back to 1:1 and
    // the top-left corner.
    void showPicture(const QImage& picture);
    // Shows the enlargement of picture by r: the content takes the result's size
    // and the view goes back to 1:1 and the top-left corner. Nothing is computed
    // yet: until reveal() the part in view shows the picture at 1:1 over the
    // background. False, with nothing changed, when r gives no valid size.
    bool showEnlarged(const QImage& picture, double r);
    // Computes the part in view a column of tiles at a time from the left,
    // painting each column as soon as it is done. False when the engine failed;
    // the part not computed then keeps showing the picture at 1:1.
    bool reveal();

    // The picture shown at 1:1 or enlarged (null before any).
    const QImage& picture() const { return picture_; }
    // The ratio of the enlargement shown; 0 at 1:1.
    double ratio() const { return ratio_; }
    QSize contentSize() const { return content_; }

    // --- Zoom ---------------------------------------------------------------
    // Shown pixels per result pixel: 1 at 1:1, 0.5 halved, 8 at the most.
    double scale() const { return static_cast<double>(magnify_) / divisor_; }
    // The result's size at the present zoom.
    QSize shownSize() const;
    // Whether the zoom is "fit".
    bool fitted() const { return fitted_; }
    // The zoom as the map names it: "100%", "25%", "800%", "2.7%".
    QString zoomText() const;
    // Fit: the whole result inside the area (never magnified), top-left.
    void zoomToFit();
    // 1:1, 2x, ... with the content point under `at` (widget pixels) kept there.
    void zoomToOneToOne(const QPoint& at);
    void zoomIn(const QPoint& at);
    void zoomOut(const QPoint& at);

    // The shown pixel at the view's top-left corner.
    QPoint offset() const { return offset_; }
    // Moves the part in view, within the shown picture's edges.
    void scrollTo(const QPoint& offset);
    // The part of the result in view, in content pixels.
    QRect contentInView() const;
    // Gives the widget the shown picture's size, at most `area`, now and
    // whenever the content or the zoom changes.
    void fitInto(const QSize& area);

    // While false (a menu command runs), keys, the wheel and the mouse do
    // nothing to the view.
    void setInputEnabled(bool on) { inputEnabled_ = on; }

    // Whether the view shows the exact picture: after a zoom a first picture
    // made from the one before stands in until the exact one is computed, as
    // soon as events are processed.
    bool exact() const { return approximation_.isNull(); }

    // The map of the whole result, while it shows.
    OverviewMap* overviewMap() const { return map_; }

    // The content's pixels in `rect`, as the result has them (computed where
    // needed, whatever the zoom), in QImage::Format_RGB32; the background
    // outside the content.
    QImage content(const QRect& rect);
    // The colour value (red in bits 0-7) of the content at (x, y); 0xFFFFFFFF
    // outside it.
    std::uint32_t GetPixel(int x, int y);
    // Tiles of the shown picture kept now, over every zoom.
    int keptTiles() const;

    // The tiles of one zoom.
    struct ZoomTiles {
        double divisor = 1;
        int magnify = 1;
        TileCache tiles;
        // Below 1:1: the blocks of each column and row of tiles, made once.
        std::map<int, ReducedAxis> columnAxes, rowAxes;
    };

    // What the view shows and has computed, to be put back after a failed run.
    struct State {
        QImage picture;
        double ratio = 0;
        QSize content;
        QPoint offset;
        double divisor = 1;
        int magnify = 1;
        bool fitted = false;
        std::list<ZoomTiles> zooms;
    };
    State state() const;
    void restore(const State& state);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // A zoom: shown = content * magnify / divisor; one of the two is 1.
    struct Zoom {
        double divisor = 1;
        int magnify = 1;
    };
    Zoom zoom() const { return {divisor_, magnify_}; }
    QSize shownSize(const Zoom& zoom) const;
    QRect viewRect() const;
    QRect tileRect(const QPoint& index, const Zoom& zoom) const;
    // The tiles kept for a zoom (made when there are none).
    ZoomTiles& zoomTiles(const Zoom& zoom);
    TileCache& tiles(const Zoom& zoom) { return zoomTiles(zoom).tiles; }
    // The opened picture as the engine reads it.
    SourceImage source() const;
    // The result's pixels in part (content pixels); null when the engine failed.
    QImage resultPart(const QRect& part) const;
    // The tile at index at a zoom of 1:1 or more as the engine computes it;
    // null when the engine failed.
    QImage computeTile(const QPoint& index, const Zoom& zoom) const;
    // Computes the tiles of a zoom at these indexes that are not kept, side by
    // side on every core, and keeps them. False when the engine failed for any.
    bool computeTiles(const QRect& indexes, const Zoom& zoom);
    // Makes the blocks of the lines of tiles the missing tiles lie on.
    bool makeAxes(ZoomTiles& z, const std::vector<QPoint>& missing) const;
    // Computes `count` tiles side by side on a line of tiles into made (below
    // 1:1 at once, from the blocks made for them); a tile the engine failed
    // for stays null.
    void computeRun(const ZoomTiles& z, const QPoint* indexes, std::size_t count,
                    QImage* made) const;
    struct TileJob;
    // The work of computing the tiles of a zoom not kept among indexes, not
    // yet started; null when there are none. Its blocks are made first.
    std::unique_ptr<TileJob> tileJob(const QRect& indexes, const Zoom& zoom);
    // Keeps the tiles a finished job made; false when any failed.
    bool keep(TileJob& job);
    // Starts computing the tiles in view that are not kept on every core, while
    // this thread paints the first picture of a zoom.
    void startTiles();
    // Takes part in the tiles started, waits for them and keeps them. Called
    // before anything the started work reads (the picture, the zooms and their
    // blocks) changes, and before tiles are looked for.
    bool settleTiles();
    void drawCleared(QPainter& p, const QRect& area) const;
    // Draws the tiles over area, computing those not kept unless !compute
    // (then the background stands for them).
    void drawTiles(QPainter& p, const QRect& area, const Zoom& zoom, bool compute);
    // Paints the shown area (shown coordinates) as paintEvent does.
    void paintArea(QPainter& p, const QRect& area, bool compute);
    // The first picture of a new zoom, made at once from what the view showed
    // before (content area beforeContent) and the map's small picture.
    void approximate(const QImage& before, const QRectF& beforeContent);
    void updateCursor();
    void startOver(const QSize& content);
    // Puts the present zoom's tiles first and drops the zooms past those kept.
    void keepPresentZoomFirst();
    // Sets the zoom, keeping the content point under `at` (widget pixels) there.
    void setZoom(double divisor, int magnify, bool fitted, const QPoint& at);
    // The divisor that fits the whole content in the area (1 when it fits at 1:1).
    double fitDivisor() const;
    // Where a key that moves the view takes it (before the edges stop it);
    // none for another key.
    std::optional<QPoint> keyTarget(int key, Qt::KeyboardModifiers mods) const;
    // Shows the map for a while.
    void showMap();
    void updateMap();

    EnlargeFunction enlarge_;
    QImage picture_;
    double ratio_ = 0;
    QSize content_;
    QSize area_{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX}; // the most the widget may cover
    QPoint offset_;
    QColor background_;
    // Zoom: shown = content * magnify_ / divisor_; one of the two is 1.
    double divisor_ = 1;
    int magnify_ = 1;
    bool fitted_ = false;
    // The tiles of the present zoom first; a few zooms are kept.
    std::list<ZoomTiles> zooms_;
    int revealedTo_ = -1; // while revealing: shown columns from here show the picture at 1:1
    bool dragging_ = false;
    bool inputEnabled_ = true;
    QPoint dragStart_;
    QPoint offsetAtDragStart_;
    QImage approximation_;
    std::unique_ptr<TileJob> tileJob_; // the tiles started, if any
    QRectF approximationAt_;
    OverviewMap* map_ = nullptr;
    QTimer mapTimer_;
};

} // namespace velmora
