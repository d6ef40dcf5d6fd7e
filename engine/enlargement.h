// The result of one picture enlarged by one ratio, any rectangle of it on
// demand.
//
// The positions and weights of every result column and row are worked out
// once, when the object is made; fill() then computes the pixels of the
// rectangle asked for into the caller's memory, on the calling thread (the
// object starts no thread). Pixel for pixel they are those enlarge() gives for
// the whole picture. Callers that want the work spread over several threads
// cut it into rectangles themselves (parallel.h) and fill each on its own
// thread: fill() is const and safe to call from several threads at once.
#pragma once

#include "engine/enlarge.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmora {

// A rectangle of the result: columns left .. left + width - 1, rows top ..
// top + height - 1.
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The caller's memory a rectangle goes into: its row y at bytes + y * stride,
// bytesPerPixel bytes a pixel, side by side. Four bytes are the result's 32-bit
// word in the machine's order; one or three bytes, the low bytes of that word.
struct PixelView {
    unsigned char* bytes = nullptr;
    std::ptrdiff_t stride = 0; // in bytes
    int bytesPerPixel = 4;

    // 32-bit words, stride words apart.
    static PixelView words(std::uint32_t* pixels, std::ptrdiff_t stride) {
        return {reinterpret_cast<unsigned char*>(pixels),
                stride * static_cast<std::ptrdiff_t>(sizeof(std::uint32_t)), 4};
    }
};

class Enlargement {
  public:
    // The enlargement of source by r; bits 24-31 of blended pixels are
    // blendedHigh's (its bits 0-23 are ignored). The source's pixels are read
    // by every fill(): they must stay as they are while the object is used.
    // kernel as in EnlargeOptions (an unavailable one falls back to Automatic).
    Enlargement(const SourceImage& source, double r, std::uint32_t blendedHigh,
                EnlargeKernel kernel = EnlargeKernel::Automatic);

    // Done when the object can fill rectangles. Refused when r is not a
    // positive finite number, the source view is unusable, or the result's
    // size is beyond enlargeGeometry's limits; OutOfMemory when the tables could
    // not be allocated. fill() then returns the same.
    EnlargeStatus status() const { return status_; }
    // The result's size (enlargeGeometry's); 0 x 0 unless status() is Done.
    int width() const { return width_; }
    int height() const { return height_; }

    // Writes the result's pixels in area into `into` (row 0 of the view is the
    // area's top row, column 0 its left column), on the calling thread.
    // Refused, with nothing written, when the area does not lie within the
    // result, bytesPerPixel is not 1, 3 or 4, or the view is unusable (no
    // memory for a non-empty area, a stride below a row, offsets beyond the
    // address range). OutOfMemory, with nothing written, when the scratch
    // memory could not be allocated. An empty area is Done at once. Nothing is
    // written outside the area's pixels.
    EnlargeStatus fill(const Rect& area, const PixelView& into) const noexcept;

  private:
    struct Tables;

    std::shared_ptr<const Tables> tables_;
    EnlargeStatus status_ = EnlargeStatus::Refused;
    int width_ = 0;
    int height_ = 0;
};

} // namespace velmora
