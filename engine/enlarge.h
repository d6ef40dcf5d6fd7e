// Whole-image anti-aliased enlargement.
//
// Contract
// - Output pixel (x, y) is exactly Sample_Bilinear(x / r, y / r) of the source,
//   with x / r and y / r divided in double precision, for every pixel of the
//   destination. Bits 24-31 of a blended result are `blendedHigh`; a pixel that
//   needs no blend is the source pixel as stored.
// - The destination is r * W - 1 by r * H - 1 pixels: the product is taken in
//   double precision, passed through single precision and truncated, so
//   8.2 * 30 - 1 = 244.99999999999997 becomes 245. A size below 1 means an empty
//   result.
// - The result is the same on every machine, with every instruction set and any
//   number of threads. Rounding follows the thread's floating-point rounding
//   mode exactly as the per-pixel routines do (ties to even by default).
// - Speed: positions and weights per destination column and row are computed
//   once; each row's vertical blends are computed once per source column; the
//   destination is cut into strips of rows (or vertical bands, when asked for)
//   shared by the threads. On Linux the destination memory is advised as huge
//   pages (a hint; contents unchanged).
#pragma once

#include "engine/sampling.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace velmora {

struct DestImage {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // in pixels
};

struct EnlargeGeometry {
    bool valid = false;            // false: ratio not positive and finite, a size beyond int range,
                                   // or width * height * 4 bytes beyond the address range
    int width = 0;                 // destination width in pixels (0: empty)
    int height = 0;                // destination height in pixels (0: empty)
    long long computedColumns = 0; // floor(r * W) + 1, the columns the loop visits
    long long computedRows = 0;    // floor(r * H) + 1

    bool empty() const { return width <= 0 || height <= 0; }
};

// The destination size for a W x H source at ratio r.
EnlargeGeometry enlargeGeometry(int sourceWidth, int sourceHeight, double r);

// The instruction set of the pixel loops. Automatic picks the best one the
// processor supports; the others exist so that tests and benchmarks can compare
// them. All of them give the same pixels.
enum class EnlargeKernel { Automatic, Baseline, Avx2, Avx512 };

// Whether this processor can run the given pixel loops.
bool enlargeKernelAvailable(EnlargeKernel kernel);

// The progress callback's answer: go on with the work, or stop it.
enum class EnlargeStep { GoOn, Stop };

struct EnlargeOptions {
    // 0: one per core the process may run on (but only as many as the size is
    // worth); more are clamped to parallel::workerLimit().
    int threads = 0;
    std::uint32_t blendedHigh = 0; // bits 24-31 of blended pixels (0xFF000000 for opaque images);
                                   // its bits 0-23 are ignored
    // Called with the number of leftmost destination columns that are complete,
    // growing from left to right. It may be called from worker threads, never
    // twice at once, and finally with dst.width unless it answered Stop before.
    // Its answer Stop ends the enlargement early: no piece of work starts after
    // it (threads finish the piece they are in), nothing more is reported and
    // enlarge() returns Stopped. A Stop in answer to dst.width changes nothing.
    // The callback must not throw: enlarge() lets no exception out, so one from
    // the callback ends the program.
    std::function<EnlargeStep(int columnsDone)> progress;
    EnlargeKernel kernel =
        EnlargeKernel::Automatic; // an unavailable choice falls back to Automatic
    // Width of the vertical bands the work is cut into, and so the step in which
    // progress grows. 0 lets the engine choose what is fastest: strips of rows
    // across the whole width, so that progress is only reported once, at the end.
    // A window that shows the result growing asks for narrow bands.
    int bandColumns = 0;
    // dst holds the result's rows firstRow to firstRow + dst.height - 1 and
    // columns firstColumn to firstColumn + dst.width - 1, so that a large result
    // can be made a strip of rows or any rectangle at a time. Pixel for pixel
    // the same as that part of the whole result.
    int firstRow = 0;
    int firstColumn = 0;
    // When set, the result is handed over instead of written to dst.pixels
    // (which may be null; dst.stride is ignored): each thread makes strips of
    // rows across dst.width in a buffer of its own and calls rowSink with the
    // strip's words, dst.width apart, and the strip's first row and row count
    // within dst. Strips come from several threads at once, each once, in any
    // order; the words are valid during the call only. This suits a caller
    // that turns the result into another form at once: it never needs memory
    // for the whole. bandColumns is ignored. rowSink must not throw.
    std::function<void(const std::uint32_t* words, int firstRow, int rowCount)> rowSink;
    // With rowSink, optionally: the memory the sink writes the strips into,
    // row y of dst at sinkMemory + y * sinkStride, sinkRowBytes bytes of it.
    // Fresh memory is then faulted in as dst would be (huge pages asked for,
    // one thread touching the pages ahead of the others), and a strip goes to
    // the sink only once the memory of its rows is in. The engine never
    // writes it; the sink does.
    unsigned char* sinkMemory = nullptr;
    std::size_t sinkRowBytes = 0;
    std::ptrdiff_t sinkStride = 0;
    // When set (never with rowSink), the result goes here instead of dst.pixels
    // (which may be null; dst.stride is ignored): row y of dst at
    // byteDest + y * byteStride, the low byteChannels bytes (1 or 3) of each
    // pixel side by side. bandColumns is ignored.
    unsigned char* byteDest = nullptr;
    std::ptrdiff_t byteStride = 0;
    int byteChannels = 0;
};

// What an enlargement came to.
enum class [[nodiscard]] EnlargeStatus{
    // Every pixel of dst is written.
    Done,
    // The progress callback answered Stop before the end. The leftmost
    // columnsDone columns of the last report hold the result in every row; every
    // other pixel of dst is undefined (written or not).
    Stopped,
    // The arguments are unusable: nothing is written and no progress reported.
    Refused,
    // The tables or scratch memory could not be allocated. They are all
    // allocated before the first pixel is written, so nothing is written and no
    // progress reported.
    OutOfMemory,
};

// Fills every pixel of dst. dst is normally the size enlargeGeometry gives; any
// other size gets the same rule pixel by pixel (a smaller one is a crop of the
// same result). Nothing is written outside dst's width x height pixels, whatever
// the status.
// Refused when r is not a positive finite number, a view is unusable (negative
// size, stride below the width, no pixels for a non-empty size, or offsets
// beyond the address range), or the first row or column is negative or puts the
// last one beyond int range.
// A source of 0 x 0 is usable: every read is outside, so the result is white.
// An empty destination is complete at once: progress reports dst.width and
// Done returns.
// No exception leaves enlarge(): failures are statuses, as in a C interface.
EnlargeStatus enlarge(const SourceImage& source, double r, const DestImage& dst,
                      const EnlargeOptions& options = {}) noexcept;

} // namespace velmora
