#include "engine/kernelchoice.h"

namespace velmora {

bool enlargeKernelAvailable(EnlargeKernel kernel) {
#if defined(__x86_64__) || defined(__i386__)
    // Asked once; the statics make the first call thread-safe.
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    static const bool avx512 = (__builtin_cpu_init(), __builtin_cpu_supports("avx512f") &&
                                                          __builtin_cpu_supports("avx512bw"));
    switch (kernel) {
    case EnlargeKernel::Avx2:
        return avx2;
    case EnlargeKernel::Avx512:
        return avx512;
    default:
        return true;
    }
#else
    return kernel == EnlargeKernel::Automatic || kernel == EnlargeKernel::Baseline;
#endif
}

namespace detail {

Kernel pickKernel(EnlargeKernel wanted) {
    if (wanted == EnlargeKernel::Automatic || !enlargeKernelAvailable(wanted)) {
        wanted = enlargeKernelAvailable(EnlargeKernel::Avx512) ? EnlargeKernel::Avx512
                 : enlargeKernelAvailable(EnlargeKernel::Avx2) ? EnlargeKernel::Avx2
                                                               : EnlargeKernel::Baseline;
    }
    switch (wanted) {
    case EnlargeKernel::Avx512:
        return {runBandAvx512, scratchBytesAvx512, runDyadicBandAvx512, dyadicScratchBytesAvx512};
    case EnlargeKernel::Avx2:
        return {runBandAvx2, scratchBytesAvx2, runDyadicBandAvx2, dyadicScratchBytesAvx2};
    default:
        return {runBandBaseline, scratchBytesBaseline, runDyadicBandBaseline,
                dyadicScratchBytesBaseline};
    }
}

} // namespace detail

} // namespace velmora
