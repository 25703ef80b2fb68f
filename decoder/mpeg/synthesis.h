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
    std::array<float, 512> window_{};        // D[i] of the standard
    // cos(m (2k + 1) pi / 64) for the three parts of the folded matrixing: m = 4i (k < 8),
    // m = 4i + 2 (k < 8) and odd m (k < 16).
    std::array<float, 8 * 8> cosQuarter_{};
    std::array<float, 8 * 8> cosHalf_{};
    std::array<float, 16 * 16> cosOdd_{};
    std::array<std::array<float, 2048>, kChannels> ring_{}; // V, stored twice to avoid wrapping
    std::array<int, kChannels> base_{};
};

} // namespace sondrel
