// Internal to the engine: the pixel loops of the whole-image enlargement.
//
// The driver (enlarge.cpp) works out once where every destination column and row
// samples the source, cuts the destination into vertical bands, splits each band's
// rows among the threads and hands each piece to Run_Band. Run_Band exists once per instruction
// set; the driver picks the best one the processor supports. Every version computes the same bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace velmora::detail {

// Where one destination row samples the source; the same for every column.
struct RowSample {
    const std::uint32_t* upper = nullptr; // source row floor(sy), or a row of white outside
    const std::uint32_t* lower = nullptr; // the row below it (the same row when whole)
    double rest = 1;                      // 1 - fraction
    double fraction = 0;                  // 0 when whole
    bool whole = true;                    // no blend down the column
    std::uint16_t weight = 0;             // fraction * 256, for the integer loops only
};

// One vertical band of the destination, some or all of its rows.
struct BandJob {
    int sourceWidth = 0;
    // Per band column: the source column floor(sx) (sourceWidth for anything at or
    // beyond the right edge), the weights (1 and 0 where whole), and all bits set
    // where the column needs no blend. The tables go on for kTablePad entries past
    // the band's last column; the pixel loops read but never use them.
    const std::int32_t* slot = nullptr;
    const double* rest = nullptr;
    const double* fraction = nullptr;
    const std::uint64_t* wholeMask = nullptr;
    // For the integer loops only: fraction * 256 in each of four 16-bit lanes,
    // and 0xFF000000 where the column is blended.
    const std::uint64_t* weight = nullptr;
    const std::uint32_t* highMask = nullptr;
    // Where every row's and column's fraction * 256 is a multiple of 4: the
    // column's byte pair (64 - F / 4, F / 4) in each of four 16-bit lanes. Null
    // otherwise.
    const std::uint64_t* coarseWeight = nullptr;
    int columns = 0;
    const RowSample* rows = nullptr; // the first row of this job
    int rowCount = 0;
    std::uint32_t* dst = nullptr; // the job's top-left pixel
    std::ptrdiff_t dstStride = 0; // in pixels
    // For the double loops only: where set, the result goes here instead of
    // dst, the low `channels` bytes (1 or 3) of each pixel, from the job's
    // top-left pixel on, rows dstByteStride bytes apart.
    unsigned char* dstBytes = nullptr;
    std::ptrdiff_t dstByteStride = 0;
    int channels = 0;
    std::uint32_t blendedHigh = 0;
    void* scratch = nullptr; // Scratch_Bytes(...) bytes, aligned to kScratchAlign
};

inline constexpr std::size_t kScratchAlign = 64;
inline constexpr int kTablePad = 16;

// Scratch memory aligned to kScratchAlign.
struct AlignedFree {
    void operator()(void* p) const { ::operator delete (p, std::align_val_t{kScratchAlign}); }
};
using Scratch = std::unique_ptr<void, AlignedFree>;
inline Scratch newScratch(std::size_t bytes) {
    return Scratch(::operator new (bytes, std::align_val_t{kScratchAlign}));
}

// Scratch bytes a band needs that reads `slots` consecutive source columns
// (including the white column(s) right of the image).
std::size_t scratchBytesBaseline(int slots);
std::size_t scratchBytesAvx2(int slots);
std::size_t scratchBytesAvx512(int slots);

// The same for the integer loops, which only run when every column's and every
// row's fraction is a whole multiple of 1/256, the ratio is at least 1 and the
// rounding mode is to nearest.
std::size_t dyadicScratchBytesBaseline(int slots);
std::size_t dyadicScratchBytesAvx2(int slots);
std::size_t dyadicScratchBytesAvx512(int slots);
void runDyadicBandBaseline(const BandJob& job);
void runDyadicBandAvx2(const BandJob& job);
void runDyadicBandAvx512(const BandJob& job);

void runBandBaseline(const BandJob& job);
void runBandAvx2(const BandJob& job);
void runBandAvx512(const BandJob& job);

} // namespace velmora::detail
