// The enlargement's pixel loops for the Avx512 instruction set; see enlarge_kernel.inc.
// This file is compiled with its own target flags (engine/CMakeLists.txt) and is
// only entered after the driver has checked that the processor supports them.
#define VELMORA_KERNEL_LANES 8
#define VELMORA_KERNEL_NAME runBandAvx512
#define VELMORA_KERNEL_SCRATCH scratchBytesAvx512
#include "engine/enlarge_kernel.inc"
#define VELMORA_DYADIC_NAME runDyadicBandAvx512
#define VELMORA_DYADIC_SCRATCH dyadicScratchBytesAvx512
#include "engine/enlarge_dyadic.inc"
