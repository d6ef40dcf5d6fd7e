// Display: the picture the main window shows from its top-left corner, either
// the opened image at 1:1 or that image enlarged by a ratio. The enlarged
// result is never held whole: the view keeps the opened image and the ratio,
// and computes the part in view, tile by tile, with the engine, exactly as the
// whole enlargement gives those pixels. Dragging with the left button and the
// mouse wheel (with Shift: sideways) move the part in view.
//
// Coordinates named "content" are pixels of the whole picture (the result);
// the widget shows the part of it from offset() on, and is as large as the
// content or the area it is fitted into, whichever is smaller.
#pragma once

#include "app/tilecache.h"
#include "engine/enlarge.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace velmora {

class PictureView : public QWidget {
    Q_OBJECT
  public:
    using EnlargeFunction = std::function<EnlargeStatus(const SourceImage&, double,
                                                        const DestImage&, const EnlargeOptions&)>;

    explicit PictureView(QWidget* parent = nullptr);

    // A new view on parent with its object name, place and background, showing
    // no picture at that size.
    static PictureView* place(QWidget* parent, const QString& name, const QRect& geometry,
                              const QColor& background);

    void setBackground(const QColor& colour);
    QColor background() const { return background_; }
    // The engine the tiles are computed with; empty: velmora::enlarge. Like the
    // engine, it answers with a status and throws nothing.
    void setEnlarge(EnlargeFunction enlarge) { enlarge_ = std::move(enlarge); }

    // Shows picture at 1:1, the content taking its size; a null picture shows
    // the background at the view's present size. The view goes back to the
    // top-left corner.
    void showPicture(const QImage& picture);
    // Shows the enlargement of picture by r: the content takes the result's size
    // and the view goes back to the top-left corner. Nothing is computed yet:
    // until reveal() the part in view shows the picture at 1:1 over the
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

    // The content's pixel at the view's top-left corner.
    QPoint offset() const { return offset_; }
    // Moves the part in view, within the content's edges.
    void scrollTo(const QPoint& offset);
    // Gives the widget the content's size, at most `area`, now and whenever the
    // content changes.
    void fitInto(const QSize& area);

    // The content's pixels in `rect`, as the view shows them (computed where
    // needed), in QImage::Format_RGB32; the background outside the content.
    QImage content(const QRect& rect);
    // The colour value (red in bits 0-7) of the content at (x, y); 0xFFFFFFFF
    // outside it.
    std::uint32_t GetPixel(int x, int y);
    // Tiles of the result kept now.
    int keptTiles() const { return tiles_.count(); }

    // What the view shows and has computed, to be put back after a failed run.
    struct State {
        QImage picture;
        double ratio = 0;
        QSize content;
        QPoint offset;
        TileCache tiles;
    };
    State state() const;
    void restore(const State& state);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    QRect viewRect() const;
    QRect tileRect(const QPoint& index) const;
    // The tile at index as the engine computes it; null when the engine failed.
    QImage computeTile(const QPoint& index) const;
    // Computes the tiles at these indexes that are not kept, side by side on
    // every core, and keeps them. False when the engine failed for any.
    bool computeTiles(const QRect& indexes);
    void drawCleared(QPainter& p, const QRect& area) const;
    void drawTiles(QPainter& p, const QRect& area);
    void updateCursor();
    void startOver(const QSize& content);

    EnlargeFunction enlarge_;
    QImage picture_;
    double ratio_ = 0;
    QSize content_;
    QSize area_{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX}; // the most the widget may cover
    QPoint offset_;
    QColor background_;
    TileCache tiles_;
    int revealedTo_ = -1; // while revealing: content columns from here show the picture at 1:1
    bool dragging_ = false;
    QPoint dragStart_;
    QPoint offsetAtDragStart_;
};

} // namespace velmora
