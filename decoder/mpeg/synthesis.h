#pragma once

#include <array>
#include <cstdint>

namespace sondrel {

/// Polyphase synthesis filter bank: turns 32 subband samples of one channel into 32 PCM
/// samples. Keeps per channel the last 16 matrixed vectors (1024 values) in a ring.
class PolyphaseSynthesis {
public:
    static constexpr int kChannels = 2;

    PolyphaseSynthesis();

    /// Clears the filter history of both channels.
    void clear();

    /// Filters one slot of channel ch: subbands[32] in, 32 samples written to
    /// out[0], out[stride], ... truncated toward zero and clipped to 16 bits.
    void synthesize(int ch, const float* subbands, int16_t* out, int stride);

private:
    std::array<float, 512> window_{}; // D[i] of the standard
    // 0.5 / cos(pi (2k + 1) / 4N) for N = 16, 8, 4, 2, 1 in that order: the factors of the
    // butterfly 32-point DCT, one group of N per stage.
    std::array<float, 31> dctFactors_{};
    std::array<std::array<float, 2048>, kChannels> ring_{}; // V, stored twice to avoid wrapping
    std::array<int, kChannels> base_{};
};

} // namespace sondrel
