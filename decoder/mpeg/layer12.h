#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "mpeg_header.h"

namespace sondrel {

class PolyphaseSynthesis;

/// Decoder of layer I and layer II frames: allocation, scale factors, (grouped) samples,
/// dequantisation, then the polyphase synthesis of every slot.
class Layer12Decoder {
  public:
    Layer12Decoder();

    /// Decodes one frame (header included) into interleaved 16-bit samples: 384 (layer I) or
    /// 1152 (layer II) per channel. out must hold that many samples times info.channels.
    void decodeFrame(const MpegFrameInfo& info, std::span<const uint8_t> frame,
                     PolyphaseSynthesis& synthesis, int16_t* out);

    /// Number of subbands the decoder reconstructs; the top subband is never computed.
    static constexpr int kSubbandLimit = 31;

  private:
    struct Allocation;

    void decodeLayer1(const MpegFrameInfo& info, std::span<const uint8_t> frame,
                      PolyphaseSynthesis& synthesis, int16_t* out);
    void decodeLayer2(const MpegFrameInfo& info, std::span<const uint8_t> frame,
                      PolyphaseSynthesis& synthesis, int16_t* out);

    std::array<float, 17> quantStep_{};    // 2 / levels of each quantisation class
    std::array<float, 64> scaleFactors_{}; // 65536 x 2^(-i/3): output in 16-bit units
    std::array<int8_t, 32 * 3> group3_{};
    std::array<int8_t, 128 * 3> group5_{};
    std::array<int8_t, 1024 * 3> group9_{};
    // Subband samples of one frame: [channel][subband][slot], rows padded to kSlotStride slots
    // for the synthesis (the padding stays zero).
    static constexpr int kSlotStride = 40;
    float samples_[2][32][kSlotStride]{};
};

} // namespace sondrel
