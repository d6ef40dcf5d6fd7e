#include "app/tilecache.h"

#include <algorithm>
#include <vector>

namespace velmora {

namespace {

// How many tiles `index` lies outside `view`, counting the larger direction.
int distance(const QRect& view, const QPoint& index) {
    const int dx = std::max({view.left() - index.x(), index.x() - view.right(), 0});
    const int dy = std::max({view.top() - index.y(), index.y() - view.bottom(), 0});
    return std::max(dx, dy);
}

} // namespace

QRect TileCache::tilesOver(const QRect& area) {
    if (area.isEmpty())
        return {};
    return QRect(QPoint(area.left() / kTileSize, area.top() / kTileSize),
                 QPoint(area.right() / kTileSize, area.bottom() / kTileSize));
}

void TileCache::trim(const QRect& view, int budget) {
    if (count() <= budget)
        return;
    std::vector<std::pair<int, QPoint>> far;
    far.reserve(tiles_.size());
    for (auto it = tiles_.cbegin(); it != tiles_.cend(); ++it)
        if (const int d = distance(view, it.key()); d > 0)
            far.emplace_back(d, it.key());
    std::sort(far.begin(), far.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [d, index] : far) {
        if (count() <= budget)
            break;
        tiles_.remove(index);
    }
}

} // namespace velmora
