// The enlargement's pixel loops for any x86-64 processor (SSE2, the baseline of
// the architecture); see enlarge_kernel.inc.
#define VELMORA_KERNEL_LANES 2
#define VELMORA_KERNEL_NAME Run_Band_Baseline
#define VELMORA_KERNEL_SCRATCH Scratch_Bytes_Baseline
#include "engine/enlarge_kernel.inc"
#define VELMORA_DYADIC_NAME Run_Dyadic_Band_Baseline
#define VELMORA_DYADIC_SCRATCH Dyadic_Scratch_Bytes_Baseline
#include "engine/enlarge_dyadic.inc"
