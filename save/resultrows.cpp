#include "save/resultrows.h"

#include <cstring>

namespace velmora {

namespace {

// The window's enlargement makes blended pixels opaque; so does every save.
constexpr std::uint32_t kBlendedHigh = 0xFF000000u;

} // namespace

ResultRows::ResultRows(const Recipe& recipe)
    : source_(recipe.source), ratio_(recipe.ratio),
      enlargement_(source_.view(), ratio_, kBlendedHigh) {
    const imageio::Size size = recipeSize(recipe);
    if (size.isValid()) {
        width_ = size.width();
        height_ = size.height();
    }
}

bool ResultRows::fill(int first, int count, std::uint32_t* pixels, std::ptrdiff_t stride) const {
    if (first < 0 || count < 0 || first > height_ - count)
        return false;
    if (ratio_ == 0) {
        const std::size_t rowBytes = static_cast<std::size_t>(width_) * sizeof(std::uint32_t);
        for (int i = 0; i < count; ++i)
            std::memcpy(pixels + stride * i, source_.row(first + i), rowBytes);
        return true;
    }
    return enlargement_.fill({0, first, width_, count}, PixelView::words(pixels, stride)) ==
           EnlargeStatus::Done;
}

} // namespace velmora
