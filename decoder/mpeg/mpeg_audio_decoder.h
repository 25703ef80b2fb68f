#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "mpeg_header.h"

namespace sondrel {

class Layer12Decoder;
class Layer3Decoder;
class PolyphaseSynthesis;

/// One frame handed to MpegAudioDecoder::Decode and what came out of it.
struct MpegDecodeRequest {
    MpegFrameInfo header;           ///< fields of the frame, from ParseHeader
    std::span<const uint8_t> input; ///< bytes from the frame's header on
    std::span<int16_t> output;      ///< room for header.outputBytes / 2 samples
    uint32_t inputLength = 0;       ///< out: bytes consumed (the frame's length)
    uint32_t outputLength = 0;      ///< out: bytes of PCM written
};

/// Decodes MPEG-1, MPEG-2 (lower sampling frequencies) and MPEG-2.5 audio, layers I to III,
/// one frame at a time into 16-bit PCM at the coded rate and channel count. The top subband
/// is never reconstructed (content above 31/32 of the Nyquist frequency is dropped).
///
/// Not thread-safe: one object serves one stream on one thread. All input is read through a
/// bounds-checked bit reader; any byte string is safe to hand to Decode.
class MpegAudioDecoder {
  public:
    /// Result codes.
    static constexpr int kOk = 0;
    static constexpr int kNoSync = kMpegHeaderNoSync;
    static constexpr int kBadField = kMpegHeaderBadField;
    static constexpr int kShortInput = 5;

    MpegAudioDecoder();
    ~MpegAudioDecoder();
    MpegAudioDecoder(const MpegAudioDecoder&) = delete;
    MpegAudioDecoder& operator=(const MpegAudioDecoder&) = delete;

    /// Forgets all decoding state (layer III main data, overlap, scale factors).
    void Reset();

    /// Parses the frame header at the start of bytes; 5 when fewer than 156 bytes are given.
    /// With remember set, the frame's sample rate and output size become the decoder's.
    int ParseHeader(std::span<const uint8_t> bytes, MpegFrameInfo& info, bool remember);

    /// Prepares decoding from the frame at the start of bytes: parses its header, clears the
    /// synthesis filter and sets up the frame's layer. Returns the parse result.
    int Init(std::span<const uint8_t> bytes);

    /// Decodes the frame described by request.header. Fails with 5 when the input holds 4 bytes
    /// or fewer, fewer than the frame's length, or the output is too small; otherwise fills
    /// request.output (silence when a layer III frame's main data is not available yet).
    int Decode(MpegDecodeRequest& request);

    /// Stands for a frame that holds no audio (an encoder's tag frame): its payload never becomes
    /// layer III main data, and the next frame cannot take main data from before it.
    void SkipFrame();

    /// Frame length in bytes computed from a header (bit rate from the table, padding slot).
    static uint32_t FrameBytes(const MpegFrameInfo& header);

    int sampleRate() const { return sampleRate_; }
    int outputBytes() const { return outputBytes_; }

  private:
    void initLayer(const MpegFrameInfo& info);

    std::unique_ptr<PolyphaseSynthesis> synthesis_;
    std::unique_ptr<Layer12Decoder> layer12_;
    std::unique_ptr<Layer3Decoder> layer3_;
    int sampleRate_ = 0;
    int outputBytes_ = 0;
    int layer_ = 0;
    uint32_t frameBytes_ = 0;
};

} // namespace sondrel
