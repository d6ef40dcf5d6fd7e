#include "save/strips.h"

#include "imageio/bitmapwriter.h"
#include "imageio/pngwriter.h"
#include "parallel/orderedring.h"
#include "parallel/parallel.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace velmora {

namespace {

// Strips that may be made ahead per worker: one being made, one waiting.
constexpr int kSlotsPerWorker = 2;

// --- Bitmap ------------------------------------------------------------------

// Rows made and written at a time: a strip of a 6400-pixel-wide result is
// 1.6 MB, small enough to stay in the cache between being made and written.
constexpr int kBitmapStripRows = 64;
// The bitmap writer converts and writes faster than one core enlarges, slower than
// a few: more workers than this would only hold more strips in memory.
constexpr int kMaxWorkers = 4;

struct BitmapStrip {
    std::vector<std::uint32_t> pixels;
    int first = 0;
    int rows = 0;
    bool ok = true;
};

// One core writes, the others enlarge; with one core the writing thread
// enlarges each strip itself (no worker).
int bitmapWorkers() {
    return std::min(parallel::workerCount() - 1, kMaxWorkers);
}

// Strip n counts from the bottom, the order the file stores the rows in. A
// strip that cannot be made is handed on as not ok, for the writer to stop at.
void makeBitmapStrip(const ResultRows& rows, int n, BitmapStrip& strip) {
    const int top = rows.height() - n * kBitmapStripRows;
    strip.first = std::max(0, top - kBitmapStripRows);
    strip.rows = top - strip.first;
    try {
        strip.pixels.resize(static_cast<std::size_t>(rows.width()) * kBitmapStripRows);
        strip.ok = rows.fill(strip.first, strip.rows, strip.pixels.data(), rows.width());
    } catch (...) {
        strip.ok = false;
    }
}

} // namespace

SaveResult writeBitmapStrips(const ResultRows& rows, const jpeg::Destination& destination,
                             RowProgress& progress) {
    std::string error;
    imageio::BitmapWriter writer;
    if (!writer.open(destination, rows.width(), rows.height(), &error))
        return {SaveStatus::Failed, error, 0, writer.osError()};
    const int strips = (rows.height() + kBitmapStripRows - 1) / kBitmapStripRows;
    const int workers = std::min(bitmapWorkers(), strips);
    parallel::OrderedRing<BitmapStrip> ring(strips, static_cast<std::size_t>(std::max(workers, 1)) *
                                                        kSlotsPerWorker);
    ring.start(workers, [&rows] {
        return [&rows](int n, BitmapStrip& strip) {
            makeBitmapStrip(rows, n, strip);
            return true;
        };
    });
    for (int n = 0; n < strips; ++n) {
        if (progress.stopped())
            return {SaveStatus::Cancelled, std::string()};
        const BitmapStrip* strip = ring.await(n);
        if (!strip || !strip->ok)
            return {SaveStatus::NotComputed, std::string()};
        if (!writer.writeStrip(strip->pixels.data(), rows.width(), strip->rows, &error))
            return {SaveStatus::Failed, error, 0, writer.osError()};
        progress.add(strip->rows);
        ring.release(n);
    }
    if (!writer.commit(&error))
        return {SaveStatus::Failed, error, 0, writer.osError()};
    return {SaveStatus::Saved, std::string()};
}

// --- PNG ---------------------------------------------------------------------

namespace {

// Filtered bytes a strip holds: enough that its empty window at the start and
// the flush at its end cost nothing to speak of, few enough that a picture
// has many strips for the cores to share.
constexpr long long kStripBytes = 4LL << 20;

struct PngSlot {
    imageio::PngStrip png;
    // Saved, or why the strip could not be made.
    SaveStatus status = SaveStatus::Saved;
};

// What a worker keeps from strip to strip.
struct PngWorker {
    explicit PngWorker(int width) : compressor(width) {}
    imageio::PngStripCompressor compressor;
    std::vector<std::uint32_t> pixels;
};

// Every core compresses; the calling thread only writes. With one worker the
// calling thread compresses each strip itself.
int pngWorkers(int strips) {
    return std::min(parallel::workerCount(), std::max(strips, 1));
}

// Strip n's rows and, above them, the last row of the strip before, made
// again here for the filters to look at.
SaveStatus makePngStrip(const ResultRows& rows, int strips, int n, PngWorker& worker,
                        PngSlot& strip) {
    const int stripRows = pngStripRows(rows.width());
    const int first = n * stripRows;
    const int count = std::min(stripRows, rows.height() - first);
    const int from = n == 0 ? first : first - 1;
    const std::size_t width = static_cast<std::size_t>(rows.width());
    worker.pixels.resize(width * static_cast<std::size_t>(first + count - from));
    if (!rows.fill(from, first + count - from, worker.pixels.data(), rows.width()))
        return SaveStatus::NotComputed;
    const std::uint32_t* above = n == 0 ? nullptr : worker.pixels.data();
    const std::uint32_t* own =
        worker.pixels.data() + width * static_cast<std::size_t>(first - from);
    return worker.compressor.compress(above, own, rows.width(), count, n == strips - 1, &strip.png)
               ? SaveStatus::Saved
               : SaveStatus::Failed;
}

SaveResult stripFailure(SaveStatus status) {
    if (status == SaveStatus::Failed)
        return {SaveStatus::Failed, "not enough memory to compress the picture"};
    return {status, std::string()};
}

} // namespace

int pngStripRows(int width) {
    const long long rowBytes = imageio::pngFilteredBytes(width, 1);
    return static_cast<int>(std::max(1LL, kStripBytes / rowBytes));
}

namespace {

SaveResult writePng(const ResultRows& rows, const SourceMetadata& metadata,
                    const jpeg::Destination& destination, RowProgress& progress) {
    std::string error;
    imageio::PngWriter writer;
    if (!writer.open(destination, rows.width(), rows.height(), metadata, &error))
        return {SaveStatus::Failed, error, 0, writer.osError()};
    const int stripRows = pngStripRows(rows.width());
    const int strips = (rows.height() + stripRows - 1) / stripRows;
    const int workers = pngWorkers(strips);
    parallel::OrderedRing<PngSlot> ring(strips,
                                        workers > 1 ? std::size_t(workers) * kSlotsPerWorker : 1);
    ring.start(workers > 1 ? workers : 0, [&rows, &progress, strips] {
        return [&rows, &progress, strips,
                worker = std::make_shared<PngWorker>(rows.width())](int n, PngSlot& strip) {
            try {
                strip.status = progress.stopped() ? SaveStatus::Cancelled
                                                  : makePngStrip(rows, strips, n, *worker, strip);
            } catch (...) {
                strip.status = SaveStatus::Failed;
            }
            return true;
        };
    });
    for (int n = 0; n < strips; ++n) {
        if (progress.stopped())
            return {SaveStatus::Cancelled, std::string()};
        const PngSlot* strip = ring.await(n);
        if (!strip)
            return stripFailure(SaveStatus::Failed);
        if (strip->status != SaveStatus::Saved)
            return stripFailure(strip->status);
        if (!writer.writeStrip(strip->png, &error))
            return {SaveStatus::Failed, error, 0, writer.osError()};
        progress.add(strip->png.rows);
        ring.release(n);
    }
    if (!writer.commit(&error))
        return {SaveStatus::Failed, error, 0, writer.osError()};
    return {SaveStatus::Saved, std::string()};
}

} // namespace

SaveResult writePngStrips(const ResultRows& rows, const SourceMetadata& metadata,
                          const jpeg::Destination& destination, RowProgress& progress) {
    // The workers' memory is had before they start; without it nothing is
    // written, and the writer's temporary file is gone.
    try {
        return writePng(rows, metadata, destination, progress);
    } catch (const std::bad_alloc&) {
        return stripFailure(SaveStatus::Failed);
    }
}

} // namespace velmora
