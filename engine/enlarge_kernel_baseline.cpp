// The enlargement's pixel loops for any x86-64 processor (SSE2, the baseline of
// the architecture); see enlarge_kernel.inc.
#define VELMORA_KERNEL_LANES 2
#define VELMORA_KERNEL_NAME runBandBaseline
#define VELMORA_KERNEL_SCRATCH scratchBytesBaseline
#include "engine/enlarge_kernel.inc"
#define VELMORA_DYADIC_NAME runDyadicBandBaseline
#define VELMORA_DYADIC_SCRATCH dyadicScratchBytesBaseline
#include "engine/enlarge_dyadic.inc"
