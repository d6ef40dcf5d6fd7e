#include "save/recipe.h"

#include "engine/enlarge.h"

namespace velmora {

QSize recipeSize(const Recipe& recipe) {
    if (recipe.ratio == 0)
        return recipe.source.size().isEmpty() ? QSize(0, 0) : recipe.source.size();
    const EnlargeGeometry g =
        enlargeGeometry(recipe.source.width(), recipe.source.height(), recipe.ratio);
    if (!g.valid)
        return QSize();
    // An empty result is saved as the window shows it: a picture of no size.
    return g.empty() ? QSize(0, 0) : QSize(g.width, g.height);
}

} // namespace velmora
