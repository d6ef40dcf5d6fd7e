#include "imageio/picture.h"

#include "platform/memory.h"

#include <cstdlib>
#include <limits>

namespace velmora::imageio {

namespace {

// Below this size the ordinary allocator is as good.
constexpr std::size_t kMappedFrom = std::size_t(8) << 20;

} // namespace

Picture Picture::allocate(int width, int height) {
    if (width <= 0 || height <= 0)
        return {};
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    const std::size_t bytes = stride * static_cast<std::size_t>(height);
    if (bytes / stride != static_cast<std::size_t>(height) || stride > 0x7FFFFFFF)
        return {};
    if (bytes < kMappedFrom) {
        void* memory = std::malloc(bytes);
        if (memory == nullptr)
            return {};
        return wrap(static_cast<std::uint32_t*>(memory), width, height, width,
                    std::shared_ptr<void>(memory, std::free));
    }
    const platform::HugeMapping mapping = platform::mapHugePages(bytes);
    if (!mapping.address)
        return {};
    const std::shared_ptr<void> owner(mapping.address,
                                      [mapping](void*) { platform::unmapHugePages(mapping); });
    return wrap(static_cast<std::uint32_t*>(mapping.address), width, height, width, owner);
}

Picture Picture::wrap(std::uint32_t* pixels, int width, int height, std::ptrdiff_t stride,
                      std::shared_ptr<void> owner) {
    Picture picture;
    if (pixels == nullptr || width <= 0 || height <= 0)
        return picture;
    picture.owner_ = std::move(owner);
    picture.pixels_ = pixels;
    picture.width_ = width;
    picture.height_ = height;
    picture.stride_ = stride;
    return picture;
}

} // namespace velmora::imageio
