// The computed parts of an enlarged result, in square tiles, kept while they
// stay near the view so that moving back and forth does not compute them
// again. What is kept stays within a budget: the tiles farthest from the view
// go first.
#pragma once

#include <QHash>
#include <QImage>
#include <QPoint>
#include <QRect>

namespace velmora {

class TileCache {
  public:
    // The side of a tile in pixels; tiles at the result's right and bottom edges
    // are cut to the result.
    static constexpr int kTileSize = 128;

    // The tiles that cover a rectangle of the result, as tile indexes.
    static QRect tilesOver(const QRect& area);

    void clear() { tiles_.clear(); }
    // The tile at a tile index, or a null image when it is not kept.
    QImage find(const QPoint& index) const { return tiles_.value(index); }
    void insert(const QPoint& index, const QImage& tile) { tiles_.insert(index, tile); }
    int count() const { return static_cast<int>(tiles_.size()); }

    // Drops the tiles farthest from `view` (tile indexes) until at most
    // `budget` tiles are kept; the tiles in view are never dropped.
    void trim(const QRect& view, int budget);

  private:
    QHash<QPoint, QImage> tiles_;
};

} // namespace velmora
