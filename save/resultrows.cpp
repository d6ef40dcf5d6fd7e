#include "save/resultrows.h"

#include "engine/enlarge.h"

#include <cstring>

namespace velmora {

namespace {

// The window's enlargement makes blended pixels opaque; so does every save.
constexpr std::uint32_t kBlendedHigh = 0xFF000000u;

bool isWholeWords(const QImage& image) {
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32;
}

} // namespace

ResultRows::ResultRows(const Recipe& recipe)
    : source_(isWholeWords(recipe.source) ? recipe.source
                                          : recipe.source.convertToFormat(QImage::Format_RGB32)),
      ratio_(recipe.ratio) {
    const QSize size = recipeSize(recipe);
    if (size.isValid()) {
        width_ = size.width();
        height_ = size.height();
    }
}

bool ResultRows::fill(int first, int count, std::uint32_t* pixels, std::ptrdiff_t stride,
                      int threads) const {
    if (first < 0 || count < 0 || first > height_ - count)
        return false;
    if (ratio_ == 0) {
        const std::size_t rowBytes = static_cast<std::size_t>(width_) * sizeof(std::uint32_t);
        for (int i = 0; i < count; ++i)
            std::memcpy(pixels + stride * i, source_.constScanLine(first + i), rowBytes);
        return true;
    }
    const SourceImage view{reinterpret_cast<const std::uint32_t*>(source_.constBits()),
                           source_.width(), source_.height(), source_.bytesPerLine() / 4};
    EnlargeOptions options;
    options.threads = threads;
    options.blendedHigh = kBlendedHigh;
    options.firstRow = first;
    return enlarge(view, ratio_, DestImage{pixels, width_, count, stride}, options) ==
           EnlargeStatus::Done;
}

} // namespace velmora
