#include "save/recipe.h"

#include "engine/enlarge.h"

namespace velmora {

imageio::Size recipeSize(const Recipe& recipe) {
    if (recipe.ratio == 0)
        return recipe.source.size().isEmpty() ? imageio::Size(0, 0) : recipe.source.size();
    const EnlargeGeometry g =
        enlargeGeometry(recipe.source.width(), recipe.source.height(), recipe.ratio);
    if (!g.valid)
        return imageio::Size();
    // An empty result is saved as the window shows it: a picture of no size.
    return g.empty() ? imageio::Size(0, 0) : imageio::Size(g.width, g.height);
}

} // namespace velmora
