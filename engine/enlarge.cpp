// The driver of the whole-image enlargement: checks the views, builds the
// tables (weights.h), plans the pieces (plan.h), picks the pixel loops
// (kernelchoice.h) and runs the pieces on the threads, touching fresh memory
// first (firsttouch.h).
#include "engine/enlarge.h"

#include "engine/enlarge_kernel.h"
#include "engine/firsttouch.h"
#include "engine/kernelchoice.h"
#include "engine/plan.h"
#include "engine/weights.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace velmora {

namespace {

using detail::addressable;
using detail::BandProgress;
using detail::ColumnTables;
using detail::FirstTouch;
using detail::Plan;
using detail::RowSample;
using detail::Scratch;

// Everything the threads share while they fill the destination.
struct Work {
    const ColumnTables& columns;
    const std::vector<RowSample>& rows;
    const Plan& plan;
    const DestImage& dst;
    int sourceWidth;
    std::uint32_t blendedHigh;
    bool coarse; // the integer loops may blend byte pairs
    void (*run)(const detail::BandJob&);
    std::size_t scratchBytes;
    BandProgress& progress;
    FirstTouch* firstTouch; // set when the work goes in strips into dst or the sink's memory
    const EnlargeOptions& options;
    std::atomic<std::size_t> next{0};
};

// A thread's memory: the pixel loops' scratch, and the strip it hands to the
// row sink when there is one.
struct ThreadMemory {
    void* scratch;
    std::uint32_t* strip;
};

// One piece of work: rows part * partRows on of one band, into dst or, for the
// row sink, into the thread's strip.
void runPiece(Work& work, std::size_t band, long long part, const ThreadMemory& memory) {
    const Plan& plan = work.plan;
    const int top = static_cast<int>(part * plan.partRows);
    const int bottom = static_cast<int>(std::min<long long>(work.dst.height, top + plan.partRows));
    const int x = plan.bandStart[band];
    const EnlargeOptions& options = work.options;
    if (band == 0 && !options.rowSink) {
        if (work.firstTouch)
            work.firstTouch->waitForRows(top, bottom);
        else
            detail::touchRows(work.dst, top, bottom, plan.bandEnd[0]);
    }
    detail::BandJob job;
    job.sourceWidth = work.sourceWidth;
    detail::pointColumns(job, work.columns, x, work.coarse);
    job.columns = plan.bandEnd[band] - x;
    job.rows = work.rows.data() + top;
    job.rowCount = bottom - top;
    if (options.rowSink) {
        job.dst = memory.strip + x;
        job.dstStride = work.dst.width;
    } else if (options.byteDest) {
        job.dstBytes = options.byteDest + static_cast<std::ptrdiff_t>(top) * options.byteStride +
                       static_cast<std::ptrdiff_t>(x) * options.byteChannels;
        job.dstByteStride = options.byteStride;
        job.channels = options.byteChannels;
    } else {
        job.dst = work.dst.pixels + static_cast<std::ptrdiff_t>(top) * work.dst.stride + x;
        job.dstStride = work.dst.stride;
    }
    job.blendedHigh = work.blendedHigh;
    job.scratch = memory.scratch;
    work.run(job);
    work.progress.finished(band);
}

// Takes the next piece unless none is left or the callback asked to stop: a
// strip across every band (handed to the row sink once complete), or one run
// of rows of one band, band by band from the left. False when it took none.
bool runNextPiece(Work& work, const ThreadMemory& memory) {
    const Plan& plan = work.plan;
    if (work.progress.stopped())
        return false;
    const std::size_t piece = work.next.fetch_add(1, std::memory_order_relaxed);
    if (piece >= plan.pieces())
        return false;
    if (plan.stripsFirst) {
        for (std::size_t band = 0; band < plan.bandStart.size() && !work.progress.stopped(); ++band)
            runPiece(work, band, static_cast<long long>(piece), memory);
        if (work.options.rowSink && !work.progress.stopped()) {
            const int top = static_cast<int>(piece) * plan.partRows;
            const int count = std::min(plan.partRows, work.dst.height - top);
            if (work.firstTouch)
                work.firstTouch->waitForRows(top, top + count);
            work.options.rowSink(memory.strip, top, count);
        }
    } else {
        runPiece(work, piece / plan.rowParts, static_cast<long long>(piece % plan.rowParts),
                 memory);
    }
    return true;
}

// Runs the pieces on plan.threads threads, this one included.
void runThreads(Work& work) {
    // The strip, when there is one, follows the scratch in the same block.
    const std::size_t scratchBytes = (work.scratchBytes + detail::kScratchAlign - 1) /
                                     detail::kScratchAlign * detail::kScratchAlign;
    const std::size_t stripBytes =
        work.options.rowSink ? static_cast<std::size_t>(work.dst.width) * work.plan.partRows * 4
                             : 0;
    std::vector<Scratch> scratch;
    std::vector<ThreadMemory> memory;
    for (int t = 0; t < work.plan.threads; ++t) {
        scratch.push_back(detail::newScratch(scratchBytes + stripBytes));
        auto* block = static_cast<unsigned char*>(scratch.back().get());
        memory.push_back({block, reinterpret_cast<std::uint32_t*>(block + scratchBytes)});
    }
    detail::runOnThreads(work.plan.threads, work.firstTouch,
                         [&](int t) { return runNextPiece(work, memory[t]); });
}

// Whether the request can be carried out: a positive finite ratio, usable views
// and a place in the result that int indexes reach.
bool usable(const SourceImage& source, double r, const DestImage& dst,
            const EnlargeOptions& options) {
    if (!(r > 0) || !std::isfinite(r))
        return false;
    if (options.firstRow < 0 || dst.height > INT_MAX - options.firstRow ||
        options.firstColumn < 0 || dst.width > INT_MAX - options.firstColumn)
        return false;
    // The pixel loops index source columns up to width + 1 in int.
    // A row sink gets strips dst.width apart instead of dst's own rows.
    if (options.byteDest && options.rowSink)
        return false;
    const bool bytes = options.byteDest != nullptr;
    const std::ptrdiff_t dstStride = options.rowSink || bytes ? dst.width : dst.stride;
    if (source.width > INT_MAX - 2 || !addressable(source.width, source.height, source.stride) ||
        !addressable(dst.width, dst.height, dstStride))
        return false;
    if (bytes && ((options.byteChannels != 1 && options.byteChannels != 3) ||
                  !addressable(dst.width * static_cast<long long>(options.byteChannels), dst.height,
                               options.byteStride, 1)))
        return false;
    const bool sourceEmpty = source.width == 0 || source.height == 0;
    if (!sourceEmpty && !source.pixels)
        return false;
    return dst.width == 0 || dst.height == 0 || dst.pixels || options.rowSink || bytes;
}

// Readies the memory the result goes to: dst's, or the row sink's where the
// options name it, asked for huge pages; and the first touch of its pages
// ahead of the strips, where strips go into it.
std::optional<FirstTouch> prepareMemory(const DestImage& dst, const Plan& plan,
                                        const EnlargeOptions& options) {
    if (options.rowSink) {
        if (!options.sinkMemory)
            return std::nullopt;
        const detail::RowBytes sink{options.sinkMemory, options.sinkRowBytes, options.sinkStride,
                                    dst.height};
        detail::preferHugePages(sink);
        return std::optional<FirstTouch>(std::in_place, sink);
    }
    if (options.byteDest) {
        const detail::RowBytes bytes{options.byteDest,
                                     static_cast<std::size_t>(dst.width) * options.byteChannels,
                                     options.byteStride, dst.height};
        detail::preferHugePages(bytes);
        return std::optional<FirstTouch>(std::in_place, bytes);
    }
    detail::preferHugePages(dst);
    if (!plan.stripsFirst)
        return std::nullopt;
    return std::optional<FirstTouch>(std::in_place, detail::rowBytesOf(dst));
}

// Fills dst, or its leftmost columns when the callback asks to stop. The
// tables and scratch memory are all allocated before the first pixel is
// written, so that a bad_alloc leaves dst as it was.
EnlargeStatus fill(const SourceImage& source, double r, const DestImage& dst,
                   const EnlargeOptions& options) {
    // A source without pixels in one direction has none at all: every read is
    // outside.
    const bool sourceEmpty = source.width == 0 || source.height == 0;
    const int sourceWidth = sourceEmpty ? 0 : source.width;
    const int sourceHeight = sourceEmpty ? 0 : source.height;
    const ColumnTables columns =
        detail::columnTables(options.firstColumn, dst.width, r, sourceWidth);
    const std::vector<std::uint32_t> whiteRow(static_cast<std::size_t>(sourceWidth) + 1,
                                              0xFFFFFFFFu);
    const std::vector<RowSample> rows =
        detail::rowSamples(source, sourceHeight, whiteRow.data(), r, options.firstRow, dst.height);
    const Plan plan = detail::planWork(columns.slot, dst, options);
    std::optional<FirstTouch> firstTouch = prepareMemory(dst, plan, options);
    BandProgress progress(options.progress, plan.bandEnd, plan.rowParts);
    const detail::Kernel kernel = detail::pickKernel(options.kernel);
    // The integer loops write words only; the double loops give the same pixels.
    const bool integer = !options.byteDest && detail::integerLoopsExact(columns, 0, dst.width,
                                                                        rows.data(), dst.height, r);
    Work work{columns,
              rows,
              plan,
              dst,
              sourceWidth,
              options.blendedHigh & 0xFF000000u,
              integer && detail::bytePairsExact(columns, 0, dst.width, rows.data(), dst.height),
              integer ? kernel.runDyadic : kernel.run,
              (integer ? kernel.dyadicScratchBytes : kernel.scratchBytes)(plan.maxSlots),
              progress,
              firstTouch ? &*firstTouch : nullptr,
              options};
    runThreads(work);
    return progress.stopped() ? EnlargeStatus::Stopped : EnlargeStatus::Done;
}

} // namespace

EnlargeStatus enlarge(const SourceImage& source, double r, const DestImage& dst,
                      const EnlargeOptions& options) noexcept {
    if (!usable(source, r, dst, options))
        return EnlargeStatus::Refused;
    if (dst.width == 0 || dst.height == 0) {
        // The report of the whole width: nothing is left that a Stop could end.
        if (options.progress)
            static_cast<void>(options.progress(dst.width));
        return EnlargeStatus::Done;
    }
    try {
        return fill(source, r, dst, options);
    } catch (const std::bad_alloc&) {
        return EnlargeStatus::OutOfMemory;
    }
}

} // namespace velmora
