// Internal to the engine: which instruction set's pixel loops run.
#pragma once

#include "engine/enlarge.h"
#include "engine/enlarge_kernel.h"

#include <cstddef>

namespace velmora::detail {

// One instruction set's pixel loops: the double loops and the integer loops,
// each with the scratch bytes a band of that many source columns needs.
struct Kernel {
    void (*run)(const BandJob&);
    std::size_t (*scratchBytes)(int);
    void (*runDyadic)(const BandJob&);
    std::size_t (*dyadicScratchBytes)(int);
};

// The loops asked for; Automatic, or a set this processor lacks, gives the
// best one it supports.
Kernel pickKernel(EnlargeKernel wanted);

} // namespace velmora::detail
