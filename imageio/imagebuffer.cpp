#include "imageio/imagebuffer.h"

#include <cstdint>

#include <sys/mman.h>

namespace velmora::imageio {

namespace {

// Below this size the ordinary allocator is as good.
constexpr std::size_t kMappedFrom = std::size_t(8) << 20;
constexpr std::size_t kHugePage = std::size_t(2) << 20;

struct Mapping {
    void* address;
    std::size_t length;
};

void unmap(void* info) {
    auto* m = static_cast<Mapping*>(info);
    ::munmap(m->address, m->length);
    delete m;
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
    const std::size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* address =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address == MAP_FAILED)
        return QImage();
    ::madvise(address, length, MADV_HUGEPAGE);
    return QImage(static_cast<uchar*>(address), width, height, static_cast<qsizetype>(stride),
                  QImage::Format_RGB32, unmap, new Mapping{address, length});
}

} // namespace velmora::imageio
