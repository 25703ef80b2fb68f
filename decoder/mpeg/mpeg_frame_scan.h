#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace sondrel {

/// What a length scan needs of a frame header, by its bits 20..9 (the low 5 bits of the second
/// byte, the high 7 of the third: version, layer, protection, bit rate, sample rate, padding).
struct MpegScanShape {
    uint16_t length = 0;    ///< bytes to the next header; 0: the header does not parse
    uint16_t samples = 0;   ///< PCM samples per channel
    uint8_t sideMono = 0;   ///< layer III side information bytes, one channel (0 for I, II)
    uint8_t sideStereo = 0; ///< the same, two channels
};

/// The 4,096 shapes (a constant table).
const MpegScanShape* mpegScanShapes();

/// Bytes of a frame the walk must see: header, CRC, side information and a tag's name.
inline constexpr std::size_t kMpegScanProbe = 4 + 2 + 32 + 4;

/// The big-endian word at offset (at most kMpegScanProbe - 4) of a frame's first bytes.
inline uint32_t mpegScanWord(std::span<const uint8_t, kMpegScanProbe> probe, std::size_t offset) {
    const std::span<const uint8_t, 4> word = probe.subspan(offset).template first<4>();
    return uint32_t{word[0]} << 24 | uint32_t{word[1]} << 16 | uint32_t{word[2]} << 8 | word[3];
}

/// Walks consecutive plain frames of bytes from `at`: a header that parses (as
/// parseMpegFrameHeader would) in a frame that carries no Xing or VBRI tag, whose first
/// kMpegScanProbe bytes lie inside bytes. Calls onFrame(offset, samplesPerChannel,
/// frameChannels) for each, stopping early when it returns false. Returns the offset where the
/// walk stopped: anything there (no header, a tag frame, the end of bytes) is left to the
/// caller's general step. One header look-up per frame, no allocation.
template <typename OnFrame>
std::size_t walkPlainMpegFrames(std::span<const uint8_t> bytes, std::size_t at, OnFrame&& onFrame) {
    const MpegScanShape* shapes = mpegScanShapes();
    const std::size_t size = bytes.size();
    while (size >= kMpegScanProbe && at <= size - kMpegScanProbe) {
        // The frame's first bytes as a span of fixed length: every read below lies inside it.
        const std::span<const uint8_t, kMpegScanProbe> probe =
            bytes.subspan(at).template first<kMpegScanProbe>();
        const uint32_t header = mpegScanWord(probe, 0);
        if ((header & 0xFFE00000u) != 0xFFE00000u) {
            break;
        }
        const MpegScanShape& shape = shapes[(header >> 9) & 0xFFF];
        if (shape.length == 0) {
            break;
        }
        const bool mono = (header & 0xC0) == 0xC0;
        const std::size_t tagAt =
            ((header & 0x10000) ? 4u : 6u) + (mono ? shape.sideMono : shape.sideStereo);
        const uint32_t tag = mpegScanWord(probe, tagAt);
        if (tag == 0x58696E67u /* Xing */ || tag == 0x56425249u /* VBRI */) {
            break;
        }
        if (!onFrame(at, uint32_t{shape.samples}, mono ? 1u : 2u)) {
            break;
        }
        at += shape.length;
    }
    return at;
}

} // namespace sondrel
