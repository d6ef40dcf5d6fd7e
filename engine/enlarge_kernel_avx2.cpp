// The enlargement's pixel loops for the Avx2 instruction set; see enlarge_kernel.inc.
// This file is compiled with its own target flags (engine/CMakeLists.txt) and is
// only entered after the driver has checked that the processor supports them.
#define VELMORA_KERNEL_LANES 4
#define VELMORA_KERNEL_NAME runBandAvx2
#define VELMORA_KERNEL_SCRATCH scratchBytesAvx2
#include "engine/enlarge_kernel.inc"
#define VELMORA_DYADIC_NAME runDyadicBandAvx2
#define VELMORA_DYADIC_SCRATCH dyadicScratchBytesAvx2
#include "engine/enlarge_dyadic.inc"
