// A decoded picture as the layers below the window hold it: 32-bit words
// 0xFFRRGGBB (blue in the low byte), rows `stride` words apart, and its size.
// The window wraps the same memory in a QImage without a copy
// (gui/pictureimage.h).
#pragma once

#include "engine/sampling.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmora::imageio {

// A picture's size in pixels; invalid (-1 x -1) when none is known.
class Size {
  public:
    constexpr Size() = default;
    constexpr Size(int width, int height) : width_(width), height_(height) {}
    constexpr int width() const { return width_; }
    constexpr int height() const { return height_; }
    // Both sides 0 or more.
    constexpr bool isValid() const { return width_ >= 0 && height_ >= 0; }
    // No pixels (or invalid).
    constexpr bool isEmpty() const { return width_ <= 0 || height_ <= 0; }
    constexpr Size transposed() const { return {height_, width_}; }
    constexpr bool operator==(const Size&) const = default;

  private:
    int width_ = -1;
    int height_ = -1;
};

class Picture {
  public:
    // The null picture: no pixels, 0 x 0.
    Picture() = default;

    // A width x height picture whose pixels are NOT initialised. A large one
    // lies on memory the system may give in huge pages, so that a fresh
    // picture of a hundred megabytes costs a few dozen page faults instead of
    // tens of thousands. Null when the memory cannot be had or a side is not
    // above 0.
    static Picture allocate(int width, int height);
    // A picture over memory that owner keeps alive as long as any copy of the
    // picture is held (a QImage's pixels, for example); stride in words.
    static Picture wrap(std::uint32_t* pixels, int width, int height, std::ptrdiff_t stride,
                        std::shared_ptr<void> owner);

    bool isNull() const { return pixels_ == nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    Size size() const { return {width_, height_}; }
    // Words from one row to the next.
    std::ptrdiff_t stride() const { return stride_; }

    // Copies share the pixels: a write through one shows in all.
    std::uint32_t* row(int y) const { return pixels_ + std::ptrdiff_t(y) * stride_; }
    std::uint32_t* pixels() const { return pixels_; }
    // The picture as the enlargement reads it.
    SourceImage view() const { return {pixels_, width_, height_, stride_}; }

  private:
    std::shared_ptr<void> owner_;
    std::uint32_t* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
};

} // namespace velmora::imageio
