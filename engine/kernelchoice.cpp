#include "engine/kernelchoice.h"

namespace velmora {

bool Enlarge_Kernel_Available(EnlargeKernel kernel) {
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

Kernel Pick_Kernel(EnlargeKernel wanted) {
    if (wanted == EnlargeKernel::Automatic || !Enlarge_Kernel_Available(wanted)) {
        wanted = Enlarge_Kernel_Available(EnlargeKernel::Avx512) ? EnlargeKernel::Avx512
                 : Enlarge_Kernel_Available(EnlargeKernel::Avx2) ? EnlargeKernel::Avx2
                                                                 : EnlargeKernel::Baseline;
    }
    switch (wanted) {
    case EnlargeKernel::Avx512:
        return {Run_Band_Avx512, Scratch_Bytes_Avx512, Run_Dyadic_Band_Avx512,
                Dyadic_Scratch_Bytes_Avx512};
    case EnlargeKernel::Avx2:
        return {Run_Band_Avx2, Scratch_Bytes_Avx2, Run_Dyadic_Band_Avx2, Dyadic_Scratch_Bytes_Avx2};
    default:
        return {Run_Band_Baseline, Scratch_Bytes_Baseline, Run_Dyadic_Band_Baseline,
                Dyadic_Scratch_Bytes_Baseline};
    }
}

} // namespace detail

} // namespace velmora
