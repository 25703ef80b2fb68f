// The decoder's kernels in plain C++: the path every processor runs, and the reference the
// vectorised paths are tested against.
#include "simd_vec.h"

#define SONDREL_KERNELS_NAMESPACE portable
#define SONDREL_KERNELS_NAME "portable"
#include "mpeg_kernels.inc"
