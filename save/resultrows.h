// The rows of the picture a recipe makes, any strip of them on demand: what
// the bitmap writer and the JPEG encoder are fed from.
#pragma once

#include "engine/enlargement.h"
#include "save/recipe.h"

#include <cstddef>
#include <cstdint>

namespace velmora {

class ResultRows {
  public:
    // Keeps the recipe's source (shared).
    // The size is recipeSize's; an invalid one gives no rows.
    explicit ResultRows(const Recipe& recipe);

    int width() const { return width_; }
    int height() const { return height_; }

    // Writes rows first .. first + count - 1 into pixels, stride pixels apart,
    // as 32-bit words 0xAARRGGBB: exactly the rows of the whole enlargement as
    // the window computes it (blended pixels opaque), or of the source at 1:1.
    // The work is done on the calling thread. Safe to call from several threads
    // at once. False when the engine refused or ran out of memory (the rows
    // are then undefined).
    bool fill(int first, int count, std::uint32_t* pixels, std::ptrdiff_t stride) const;

    // The picture itself when the rows are the source's at 1:1, held as
    // 32-bit words; null when they are made by the engine.
    const imageio::Picture* wholePicture() const { return ratio_ == 0 ? &source_ : nullptr; }

  private:
    imageio::Picture source_;
    double ratio_ = 0;
    Enlargement enlargement_; // of source_, planned once for every strip (unused at 1:1)
    int width_ = 0;
    int height_ = 0;
};

} // namespace velmora
