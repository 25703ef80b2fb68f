#include "mpeg_kernels.h"

#include <cstdlib>
#include <initializer_list>
#include <cstring>

namespace sondrel {

namespace portable {
extern const MpegKernels kKernels;
}
#if defined(SONDREL_HAVE_SSE2_KERNELS)
namespace sse2 {
extern const MpegKernels kKernels;
}
#endif
#if defined(SONDREL_HAVE_AVX2_KERNELS)
namespace avx2 {
extern const MpegKernels kKernels;
}
#endif

namespace {

bool runsAvx2() {
#if defined(SONDREL_HAVE_AVX2_KERNELS)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

const MpegKernels& choose() {
    if (const char* forced = std::getenv("SONDREL_SIMD"); forced != nullptr) {
        if (const MpegKernels* named = mpegKernelsNamed(forced)) {
            return *named;
        }
    }
    for (const char* name : {"avx2", "sse2"}) {
        if (const MpegKernels* named = mpegKernelsNamed(name)) {
            return *named;
        }
    }
    return portable::kKernels;
}

} // namespace

const MpegKernels* mpegKernelsNamed(const char* name) {
    if (std::strcmp(name, "portable") == 0) {
        return &portable::kKernels;
    }
#if defined(SONDREL_HAVE_SSE2_KERNELS)
    if (std::strcmp(name, "sse2") == 0) {
        return &sse2::kKernels;
    }
#endif
#if defined(SONDREL_HAVE_AVX2_KERNELS)
    if (std::strcmp(name, "avx2") == 0 && runsAvx2()) {
        return &avx2::kKernels;
    }
#endif
    return nullptr;
}

const MpegKernels& mpegKernels() {
    static const MpegKernels& chosen = choose();
    return chosen;
}

} // namespace sondrel
