// Display: the picture the main window shows, either the opened image or that
// image enlarged by a ratio, at a zoom. The enlarged result is never held
// whole: the view keeps the opened image and the ratio, and computes the part
// in view, tile by tile, with the engine, on worker threads (app/tilerenderer.h):
// a paint shows the tiles that are ready, and the opened picture scaled where
// one is not yet, and asks for it.
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
// pixels of the result at the present zoom (app/zoom.h). The widget shows the
// shown picture from offset() on, and is as large as it or the area it is
// fitted into, whichever is smaller.
#pragma once

#include "app/tilerenderer.h"
#include "app/zoom.h"
#include "engine/enlarge.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <list>
#include <optional>

namespace velmora {

class OverviewMap;

class PictureView : public QWidget {
    Q_OBJECT
  public:
    using EnlargeFunction = TileRenderer::EnlargeFunction;

    // The most a picture is magnified: each result pixel then 8 x 8 pixels.
    static constexpr int kMostMagnified = Zoom::kMostMagnified;

    explicit PictureView(QWidget* parent = nullptr);
    ~PictureView() override;

    // A new view on parent with its object name, place and background, showing
    // no picture at that size.
    static PictureView* place(QWidget* parent, const QString& name, const QRect& geometry,
                              const QColor& background);

    void setBackground(const QColor& colour);
    QColor background() const { return background_; }
    // The engine the tiles are computed with; empty: Enlargement::fill. Like the
    // engine, it must not throw: tiles are computed on worker threads.
    void setEnlarge(EnlargeFunction enlarge) { renderer_.setEnlarge(std::move(enlarge)); }

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
    // painting each column as soon as it is done; this thread waits for the
    // workers meanwhile. False when the engine failed; the part not computed
    // then keeps showing the picture at 1:1.
    bool reveal();

    // The picture shown at 1:1 or enlarged (null before any).
    const QImage& picture() const { return renderer_.picture(); }
    // The ratio of the enlargement shown; 0 at 1:1.
    double ratio() const { return renderer_.ratio(); }
    QSize contentSize() const { return content_; }

    // --- Zoom ---------------------------------------------------------------
    // Shown pixels per result pixel: 1 at 1:1, 0.5 halved, 8 at the most.
    double scale() const { return zoom_.scale(); }
    // The result's size at the present zoom.
    QSize shownSize() const { return velmora::shownSize(content_, zoom_); }
    // Whether the zoom is "fit".
    bool fitted() const { return fitted_; }
    // The zoom as the map names it: "100%", "25%", "800%", "2.7%".
    QString zoomText() const { return velmora::zoomText(scale()); }
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
    QRect contentInView() const { return contentUnder(viewRect(), zoom_, content_); }
    // Gives the widget the shown picture's size, at most `area`, now and
    // whenever the content or the zoom changes.
    void fitInto(const QSize& area);

    // While false (a menu command runs), keys, the wheel and the mouse do
    // nothing to the view.
    void setInputEnabled(bool on) { inputEnabled_ = on; }

    // Whether the view shows the exact picture: every tile in view is ready
    // (after a move or a zoom they follow as soon as events are processed).
    bool exact() const;
    // Waits for the tiles asked for and keeps them (tests and benchmarks).
    void settle() { renderer_.settle(); }

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
    int keptTiles() const { return renderer_.keptTiles(); }

    // What the view shows and has computed, to be put back after a failed run.
    struct State {
        QImage picture;
        double ratio = 0;
        QSize content;
        QPoint offset;
        double divisor = 1;
        int magnify = 1;
        bool fitted = false;
        std::list<TileRenderer::ZoomTiles> zooms;
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
    // The part of the shown picture in view.
    QRect viewRect() const;
    // Whether anything but the background is shown.
    bool showsPicture() const { return !(picture().isNull() && ratio() <= 0); }
    // The indexes of the tiles the view paints from (the columns revealed
    // so far while revealing); empty when it paints the picture as it is.
    QRect tilesInView() const;
    void drawCleared(QPainter& p, const QRect& area) const;
    // Draws the opened picture scaled over area (shown coordinates), as fast
    // as Qt draws it: what stands for tiles not ready.
    void drawScaled(QPainter& p, const QRect& area) const;
    // Draws the tiles of a zoom over area; where a tile is not kept, the
    // picture scaled, or else the background. True when one was not kept.
    bool drawTiles(QPainter& p, const QRect& area, const Zoom& zoom, bool scaled) const;
    void updateCursor();
    void startOver(const QSize& content);
    // Sets the zoom, keeping the content point under `at` (widget pixels) there.
    void setZoom(const Zoom& zoom, bool fitted, const QPoint& at);
    // Where a key that moves the view takes it (before the edges stop it);
    // none for another key.
    std::optional<QPoint> keyTarget(int key, Qt::KeyboardModifiers mods) const;
    // Shows the map for a while.
    void showMap();
    void updateMap();

    TileRenderer renderer_;
    QSize content_;
    QSize area_{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX}; // the most the widget may cover
    QPoint offset_;
    QColor background_;
    Zoom zoom_;
    bool fitted_ = false;
    int revealedTo_ = -1; // while revealing: shown columns from here show the picture at 1:1
    bool dragging_ = false;
    bool inputEnabled_ = true;
    QPoint dragStart_;
    QPoint offsetAtDragStart_;
    OverviewMap* map_ = nullptr;
    QTimer mapTimer_;
};

} // namespace velmora
