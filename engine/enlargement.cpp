// The tables of an enlargement made once (weights.h), and rectangles of it
// computed strip by strip and band by band (plan.h) with the pixel loops of
// the processor (kernelchoice.h), on the calling thread.
#include "engine/enlargement.h"

#include "engine/enlarge_kernel.h"
#include "engine/kernelchoice.h"
#include "engine/plan.h"
#include "engine/weights.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace velmora {

// Where every column and row of the result samples the source.
struct Enlargement::Tables {
    Tables(const SourceImage& source, double r, std::uint32_t high, EnlargeKernel wanted,
           const EnlargeGeometry& g)
        : ratio(r),
          // A source without pixels in one direction has none at all: every
          // read is outside.
          sourceWidth(source.width == 0 || source.height == 0 ? 0 : source.width),
          blendedHigh(high & 0xFF000000u), kernel(detail::pickKernel(wanted)),
          columns(detail::columnTables(0, g.width, r, sourceWidth)),
          whiteRow(static_cast<std::size_t>(sourceWidth) + 1, 0xFFFFFFFFu),
          rows(detail::rowSamples(source, sourceWidth == 0 ? 0 : source.height, whiteRow.data(), r,
                                  0, g.height)) {}

    EnlargeStatus fill(const Rect& area, const PixelView& into) const;

    const double ratio;
    const int sourceWidth;
    const std::uint32_t blendedHigh;
    const detail::Kernel kernel;
    const detail::ColumnTables columns;
    const std::vector<std::uint32_t> whiteRow; // read by the rows outside the source
    const std::vector<detail::RowSample> rows;
};

Enlargement::Enlargement(const SourceImage& source, double r, std::uint32_t blendedHigh,
                         EnlargeKernel kernel) {
    const bool sourceEmpty = source.width == 0 || source.height == 0;
    if (!(r > 0) || !std::isfinite(r) || source.width > INT_MAX - 2 ||
        !detail::addressable(source.width, source.height, source.stride) ||
        (!sourceEmpty && !source.pixels))
        return;
    const EnlargeGeometry g = enlargeGeometry(source.width, source.height, r);
    if (!g.valid)
        return;
    status_ = EnlargeStatus::Done;
    if (g.empty())
        return;
    try {
        tables_ = std::make_shared<const Tables>(source, r, blendedHigh, kernel, g);
        width_ = g.width;
        height_ = g.height;
    } catch (const std::bad_alloc&) {
        status_ = EnlargeStatus::OutOfMemory;
    }
}

EnlargeStatus Enlargement::fill(const Rect& area, const PixelView& into) const noexcept {
    if (status_ != EnlargeStatus::Done)
        return status_;
    const int bpp = into.bytesPerPixel;
    if (area.left < 0 || area.top < 0 || area.width < 0 || area.height < 0 ||
        area.left > width_ - area.width || area.top > height_ - area.height ||
        (bpp != 1 && bpp != 3 && bpp != 4) ||
        !detail::addressable(static_cast<long long>(area.width) * bpp, area.height, into.stride, 1))
        return EnlargeStatus::Refused;
    if (area.width == 0 || area.height == 0)
        return EnlargeStatus::Done;
    if (!into.bytes)
        return EnlargeStatus::Refused;
    try {
        return tables_->fill(area, into);
    } catch (const std::bad_alloc&) {
        return EnlargeStatus::OutOfMemory;
    }
}

EnlargeStatus Enlargement::Tables::fill(const Rect& area, const PixelView& into) const {
    const int bpp = into.bytesPerPixel;
    const detail::RowSample* areaRows = rows.data() + area.top;
    detail::Plan plan;
    detail::cutBands(columns.slot.data() + area.left, area.width, area.width, plan);
    // The integer loops write words only; the double loops give the same pixels.
    const bool integer = bpp == 4 && detail::integerLoopsExact(columns, area.left, area.width,
                                                               areaRows, area.height, ratio);
    const bool coarse =
        integer && detail::bytePairsExact(columns, area.left, area.width, areaRows, area.height);
    // Words the loops cannot store where they lie (not aligned as words, or
    // rows not a whole number of words apart) are made in a strip first.
    const bool viaStrip =
        bpp == 4 && (reinterpret_cast<std::uintptr_t>(into.bytes) % alignof(std::uint32_t) != 0 ||
                     into.stride % static_cast<std::ptrdiff_t>(sizeof(std::uint32_t)) != 0);
    const std::size_t scratchBytes =
        ((integer ? kernel.dyadicScratchBytes : kernel.scratchBytes)(plan.maxSlots) +
         detail::kScratchAlign - 1) /
        detail::kScratchAlign * detail::kScratchAlign;
    const std::size_t stripBytes =
        viaStrip ? static_cast<std::size_t>(area.width) * detail::kStripRows * 4 : 0;
    const detail::Scratch scratch = detail::newScratch(scratchBytes + stripBytes);
    auto* strip =
        reinterpret_cast<std::uint32_t*>(static_cast<unsigned char*>(scratch.get()) + scratchBytes);
    void (*const run)(const detail::BandJob&) = integer ? kernel.runDyadic : kernel.run;
    // Strip by strip, each across every band, as enlarge() goes.
    for (int top = 0; top < area.height; top += detail::kStripRows) {
        const int count = std::min(detail::kStripRows, area.height - top);
        unsigned char* const out = into.bytes + static_cast<std::ptrdiff_t>(top) * into.stride;
        for (std::size_t band = 0; band < plan.bandStart.size(); ++band) {
            const int x = plan.bandStart[band];
            detail::BandJob job;
            job.sourceWidth = sourceWidth;
            detail::pointColumns(job, columns, area.left + x, coarse);
            job.columns = plan.bandEnd[band] - x;
            job.rows = areaRows + top;
            job.rowCount = count;
            if (viaStrip) {
                job.dst = strip + x;
                job.dstStride = area.width;
            } else if (bpp == 4) {
                job.dst = reinterpret_cast<std::uint32_t*>(out) + x;
                job.dstStride = into.stride / static_cast<std::ptrdiff_t>(sizeof(std::uint32_t));
            } else {
                job.dstBytes = out + static_cast<std::ptrdiff_t>(x) * bpp;
                job.dstByteStride = into.stride;
                job.channels = bpp;
            }
            job.blendedHigh = blendedHigh;
            job.scratch = scratch.get();
            run(job);
        }
        if (viaStrip)
            for (int y = 0; y < count; ++y)
                std::memcpy(out + static_cast<std::ptrdiff_t>(y) * into.stride,
                            strip + static_cast<std::size_t>(y) * area.width,
                            static_cast<std::size_t>(area.width) * 4);
    }
    return EnlargeStatus::Done;
}

} // namespace velmora
