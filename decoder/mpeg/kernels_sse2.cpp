// The decoder's kernels on 4-lane SSE2 vectors (every x86-64 processor has them).
#if defined(__SSE2__)
#define SONDREL_VEC_SSE2
#include "simd_vec.h"

#define SONDREL_KERNELS_NAMESPACE sse2
#define SONDREL_KERNELS_NAME "sse2"
#include "mpeg_kernels.inc"
#endif
