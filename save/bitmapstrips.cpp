#include "save/bitmapstrips.h"

#include "imageio/bitmapwriter.h"
#include "parallel/orderedring.h"
#include "parallel/parallel.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace velmora {

namespace {

// Rows made and written at a time: a strip of a 6400-pixel-wide result is
// 1.6 MB, small enough to stay in the cache between being made and written.
constexpr int kStripRows = 64;
// The writer converts and writes faster than one core enlarges, slower than
// a few: more workers than this would only hold more strips in memory.
constexpr int kMaxWorkers = 4;
// Strips that may be made ahead per worker: one being made, one waiting.
constexpr int kSlotsPerWorker = 2;

struct Strip {
    std::vector<std::uint32_t> pixels;
    int first = 0;
    int rows = 0;
    bool ok = true;
};

// One core writes, the others enlarge; with one core the writing thread
// enlarges each strip itself (no worker).
int workerCount() {
    return std::min(parallel::workerCount() - 1, kMaxWorkers);
}

// Strip n counts from the bottom, the order the file stores the rows in. A
// strip that cannot be made is handed on as not ok, for the writer to stop at.
void make(const ResultRows& rows, int n, Strip& strip) {
    const int top = rows.height() - n * kStripRows;
    strip.first = std::max(0, top - kStripRows);
    strip.rows = top - strip.first;
    try {
        strip.pixels.resize(static_cast<std::size_t>(rows.width()) * kStripRows);
        strip.ok = rows.fill(strip.first, strip.rows, strip.pixels.data(), rows.width());
    } catch (...) {
        strip.ok = false;
    }
}

} // namespace

SaveResult writeBitmapStrips(const ResultRows& rows, const std::string& path,
                             RowProgress& progress) {
    std::string error;
    imageio::BitmapWriter writer;
    if (!writer.open(path, rows.width(), rows.height(), &error))
        return {SaveStatus::Failed, error, 0, writer.osError()};
    const int strips = (rows.height() + kStripRows - 1) / kStripRows;
    const int workers = std::min(workerCount(), strips);
    parallel::OrderedRing<Strip> ring(strips, static_cast<std::size_t>(std::max(workers, 1)) *
                                                  kSlotsPerWorker);
    ring.start(workers, [&rows] {
        return [&rows](int n, Strip& strip) {
            make(rows, n, strip);
            return true;
        };
    });
    for (int n = 0; n < strips; ++n) {
        if (progress.stopped())
            return {SaveStatus::Cancelled, std::string()};
        const Strip* strip = ring.await(n);
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

} // namespace velmora
