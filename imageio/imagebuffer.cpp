#include "imageio/imagebuffer.h"

#include "platform/memory.h"

namespace velmora::imageio {

namespace {

// Below this size the ordinary allocator is as good.
constexpr std::size_t kMappedFrom = std::size_t(8) << 20;

void unmap(void* info) {
    auto* mapping = static_cast<platform::HugeMapping*>(info);
    platform::unmapHugePages(*mapping);
    delete mapping;
}

} // namespace

QImage allocateImage(int width, int height) {
    if (width <= 0 || height <= 0)
        return QImage();
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    const std::size_t bytes = stride * static_cast<std::size_t>(height);
    if (bytes / stride != static_cast<std::size_t>(height) || stride > 0x7FFFFFFF)
        return QImage();
    if (bytes < kMappedFrom)
        return QImage(width, height, QImage::Format_RGB32);
    const platform::HugeMapping mapping = platform::mapHugePages(bytes);
    if (!mapping.address)
        return QImage();
    return QImage(static_cast<uchar*>(mapping.address), width, height,
                  static_cast<qsizetype>(stride), QImage::Format_RGB32, unmap,
                  new platform::HugeMapping(mapping));
}

} // namespace velmora::imageio
