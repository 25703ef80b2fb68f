// The decoder's kernels on 8-lane AVX2 vectors with fused multiply-add. This unit alone is built
// with -mavx2 -mfma; it is only called once the processor has been found to run them.
#if defined(__AVX2__) && defined(__FMA__)
#define SONDREL_VEC_AVX2
#include "simd_vec.h"

#define SONDREL_KERNELS_NAMESPACE avx2
#define SONDREL_KERNELS_NAME "avx2"
#include "mpeg_kernels.inc"
#endif
