// The rows of a PNG picture made into its compressed data a strip at a time,
// on any thread: each strip's rows are filtered and deflated on their own, and
// the strips' data joined in order make the picture's one zlib stream.
//
// How strips become one stream
//   Each strip is a raw deflate stream that ends on a byte boundary (a sync
//   flush), the picture's last strip with the final block instead, so that
//   the strips' data placed one after another are one deflate stream. The
//   writer (pngwriter.h) puts the zlib header before the first strip and the
//   Adler-32 of the whole filtered data, combined from the strips' own, after
//   the last. A strip starts with an empty window: it costs a little of the
//   compression of its first rows, nothing of the file's correctness.
//
// Filters
//   Each row gets the filter whose output has the smallest sum of absolute
//   values (its bytes taken as signed), the heuristic that libpng and most
//   writers use. The filters look at the row above, which a strip's first row
//   is given by the caller.
//
// Compression
//   Deflate with a 32 KiB window, matching only runs of one byte (zlib's
//   run-length strategy): the filtered rows of a photo, above all of an
//   enlarged one, are mostly runs of small values, which this finds at twice
//   the speed of zlib's fastest level and packs about as tightly as its
//   default one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmora::imageio {

// PNG's limit on a side.
inline constexpr long long kMaxPngSide = 0x7FFFFFFFLL;

// The filtered bytes of a width x height 8-bit RGB picture: each row's three
// bytes a pixel after its filter type byte.
long long pngFilteredBytes(int width, int height);

// One strip of the picture, compressed.
struct PngStrip {
    // Raw deflate data: the strip's part of the picture's stream.
    std::vector<unsigned char> deflated;
    // The Adler-32 of the strip's filtered bytes, and how many there are.
    std::uint32_t adler = 1;
    long long filteredBytes = 0;
    int rows = 0;
    // Whether this is the picture's last strip, ending its stream.
    bool last = false;
};

class PngStripCompressor {
  public:
    // For rows of width pixels.
    explicit PngStripCompressor(int width);
    ~PngStripCompressor();
    PngStripCompressor(const PngStripCompressor&) = delete;
    PngStripCompressor& operator=(const PngStripCompressor&) = delete;

    // Filters and deflates count rows of 32-bit pixels 0xAARRGGBB (the alpha
    // byte is not written), stride pixels apart, into strip; `above` is the
    // row above the first, null for the picture's first row; last: the strip
    // ends the picture. False when zlib fails (memory runs out): the strip is
    // then of no use. The strip's vector keeps its capacity between calls.
    bool compress(const std::uint32_t* above, const std::uint32_t* rows, std::ptrdiff_t stride,
                  int count, bool last, PngStrip* strip);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace velmora::imageio
