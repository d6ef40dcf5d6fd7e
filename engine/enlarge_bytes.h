// The enlargement of pictures held as bytes (gray, three or four channels a
// pixel), read and written where they lie, for ratios whose weights are whole
// multiples of 1/64 (2, 4, 8, 1.6, 3.2, 6.4, ...).
//
// Every byte is a channel and is enlarged on its own by the rule enlarge()
// applies to each channel of a word. So the result of a four-byte picture is
// what enlarge() gives for its colour with the alpha byte enlarged as a
// picture of its own, and that of a three-byte picture is the low three bytes
// of enlarge()'s result for the same pixels as words. Nothing is widened into
// words first and nothing narrowed afterwards: the loops pick each output
// byte's two neighbours out of a row of bytes.
#pragma once

#include "engine/enlarge.h"

#include <cstddef>
#include <optional>

namespace velmora {

struct ByteImage {
    const unsigned char* bytes = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // in bytes
    int channels = 3;          // bytes a pixel: 1 to 4
};

struct ByteDest {
    unsigned char* bytes = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // in bytes; the channels are the source's
};

// Fills dst with the result's rows options.firstRow on and columns
// options.firstColumn on, on parallel::workerCount(options.threads) threads; the
// other options are not used. Returns nullopt without writing anything where
// these loops cannot give the exact result here: the processor lacks AVX-512
// with byte permutes, the ratio is below 1, a weight is not a whole multiple
// of 1/64 or the rounding mode is not to nearest; the caller then enlarges
// through words. The views must be usable (enlarge() checks the same of
// words): a non-empty source with its pixels, positive sizes, strides of at
// least a row.
std::optional<EnlargeStatus> enlargeBytes(const ByteImage& source, double r, const ByteDest& dst,
                                          const EnlargeOptions& options) noexcept;

} // namespace velmora
