#pragma once

#include <cstdint>

#include "mpeg_kernels.h"

namespace sondrel {

/// Polyphase synthesis filter bank: turns subband samples of one or two channels into 16-bit
/// PCM, 32 samples per slot and channel. Keeps per channel the last 16 matrixed vectors.
/// Runs the kernels mpegKernels() chose (or the ones given). One thread at a time.
class PolyphaseSynthesis {
  public:
    static constexpr int kChannels = 2;
    /// Most slots one call filters (a layer II frame).
    static constexpr int kMaxSlots = 36;

    PolyphaseSynthesis();
    explicit PolyphaseSynthesis(const MpegKernels& kernels);

    /// Clears the filter history of both channels.
    void clear();

    /// Filters `slots` (<= kMaxSlots) consecutive slots of `channels` channels. subbands[ch]
    /// holds 32 rows of slotStride floats: subbands[ch][sb * slotStride + t] is subband sb at
    /// slot t; slotStride is a multiple of 8, and each row is readable (and finite) up to it.
    /// Writes slots x 32 frames of interleaved samples to out.
    void synthesize(int channels, const float* const* subbands, int slotStride, int slots,
                    int16_t* out);

    /// The kernels in use.
    const MpegKernels& kernels() const { return *kernels_; }
    /// The window and factors the kernels are given.
    const SynthesisTables& tables() const { return tables_; }

  private:
    const MpegKernels* kernels_;
    SynthesisTables tables_;
    SynthesisChannel channels_[kChannels];
    alignas(16) int16_t pcm_[kChannels][kMaxSlots * 32]; // one channel each before interleaving
};

} // namespace sondrel
