#include "mpeg_kernels.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#if defined(SONDREL_HAVE_AVX2_KERNELS)
#include <cpuid.h>
#endif

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

// Whether the processor and the operating system run AVX2 and FMA code: the CPUID feature bits
// and the OS saving the YMM registers. Asked only when kernels are first chosen: the compiler's
// own processor detection would run at library load, before any file is opened, and CPUID is
// slow under a hypervisor.
bool runsAvx2() {
#if defined(SONDREL_HAVE_AVX2_KERNELS)
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    const bool fma = (ecx & bit_FMA) != 0;
    const bool osxsave = (ecx & bit_OSXSAVE) != 0;
    const bool avx = (ecx & bit_AVX) != 0;
    if (!fma || !osxsave || !avx) {
        return false;
    }
    unsigned xcr0Low = 0;
    unsigned xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    if ((xcr0Low & 0x6) != 0x6) {
        return false; // XMM and YMM state not enabled by the OS
    }
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    return (ebx & bit_AVX2) != 0;
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
    static const bool avx2Runs = runsAvx2();
    if (std::strcmp(name, "avx2") == 0 && avx2Runs) {
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
