#pragma once

#include <cstdint>

namespace sondrel {

struct ImdctTables;

/// Filter history of one channel of the polyphase synthesis: the last 16 matrixed vectors V
/// (64 values each) in a ring, the newest at base.
struct SynthesisChannel {
    alignas(32) float ring[1024] = {};
    int base = 0;
};

/// Constant tables of the synthesis. (Plain arrays: the kernels built for wider instruction
/// sets use no inline function that other units share.)
struct SynthesisTables {
    alignas(32) float window[512] = {}; ///< D[i] of the standard
    /// 0.5 / cos(pi (2k + 1) / 4N) for N = 16, 8, 4, 2, 1 in that order: the factors of the
    /// butterfly 32-point DCT, one group of N per stage.
    float dctFactors[31] = {};
};

/// The decoder's hot loops for one instruction set. Every set computes the same formulas; the
/// results differ only by float rounding (a fused multiply-add rounds once).
struct MpegKernels {
    const char* name; ///< "portable", "sse2" or "avx2"

    /// Filters `slots` consecutive slots of one channel. in[sb * slotStride + t] is subband sb
    /// at slot t; slotStride is a multiple of 8 and every row is readable up to slotStride
    /// (lanes past `slots` are computed and thrown away). Writes 32 samples per slot, slot after
    /// slot, to out: clipped to 16 bits and truncated toward zero.
    void (*synthesize)(SynthesisChannel& channel, const SynthesisTables& tables, const float* in,
                       int slotStride, int slots, int16_t* out);

    /// Long-block hybrid filter of subbands [0, end) (end a multiple of 8, at most 32) of one
    /// layer III granule and channel: the inverse MDCT of spectrum[sb * 18 ...], windowed by
    /// window[36], overlapped with overlap[i * 32 + sb] (which keeps the second half for the
    /// next granule), every other sample of odd subbands negated, written to
    /// out[sb * outStride + i], i < 18.
    void (*imdctLong)(const float* spectrum, int end, const float* window,
                      const ImdctTables& tables, float* overlap, float* out, int outStride);
};

/// The kernels this process uses, chosen once: the widest set the processor runs, unless the
/// environment variable SONDREL_SIMD names another one ("portable", "sse2", "avx2") that it
/// runs. Thread-safe.
const MpegKernels& mpegKernels();

/// The kernels of one set by name, or nullptr when this build or processor lacks them.
const MpegKernels* mpegKernelsNamed(const char* name);

} // namespace sondrel
