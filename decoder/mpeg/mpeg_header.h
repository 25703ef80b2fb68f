#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace sondrel {

/// Fields of one MPEG audio frame header, as the stream reader and the decoder use them.
/// All fields are 32-bit integers; lengths are in bytes, rates in Hz and bit/s.
struct MpegFrameInfo {
    int32_t version = 0; ///< 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5
    int32_t layer = 0;   ///< 1, 2 or 3
    int32_t crcPresent = 0;
    int32_t bitrateIndex = 0;
    int32_t sampleRateIndex = 0;
    int32_t padding = 0;
    int32_t privateBit = 0;
    int32_t mode = 0; ///< 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    int32_t modeExtension = 0;
    int32_t flagBit3 = 0; ///< bit 3 of the fourth header byte (copyright); unused
    int32_t flagBit2 = 0; ///< bit 2 of the fourth header byte (original); unused
    int32_t emphasis = 0;
    int32_t channels = 0;
    int32_t bitsPerSample = 0;
    int32_t sampleRate = 0;
    int32_t bitrate = 0; ///< bit/s; 0 for a frame carrying a Xing or VBRI tag
    int32_t tagFrames = 0;
    int32_t tagBytes = 0;
    int32_t taggedFrameLength = 0;
    int32_t shortLength = 0; ///< frame length without the padding slot (a bound for tagged frames)
    int32_t longLength = 0;  ///< frame length with the padding slot (a bound for tagged frames)
    int32_t outputBytes = 0; ///< PCM bytes one frame decodes to: samples x channels x 2
};

/// Result codes of header parsing.
/// kbit/s by [MPEG-1 or lower sampling frequencies][layer - 1][bit-rate index]; 0 for "free"
/// and the forbidden index.
inline constexpr int kMpegBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};

/// Hz by [version - 1 (MPEG-1, MPEG-2, MPEG-2.5)][sampling-frequency index].
inline constexpr int kMpegSampleRates[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

inline constexpr int kMpegHeaderOk = 0;
inline constexpr int kMpegHeaderNoSync = 3;
inline constexpr int kMpegHeaderBadField = 4;

/// Input shorter than this is refused by header parsing: enough for header, CRC, side
/// information and a Xing or VBRI tag.
inline constexpr std::size_t kMpegMinParseLength = 156;

/// Bit rate in kbit/s for version (1..3), layer (1..3) and index (0..15); 0 for free/invalid.
int mpegBitrateKbps(int version, int layer, int bitrateIndex);
/// Sample rate in Hz for version (1..3) and index (0..2); 0 otherwise.
int mpegSampleRate(int version, int sampleRateIndex);
/// PCM samples per channel one frame yields.
int mpegSamplesPerFrame(int version, int layer);
/// Bytes of layer III side information for a version and channel count.
int mpegSideInfoBytes(int version, int channels);

/// Parses the frame header at the start of bytes. Returns kMpegHeaderOk, kMpegHeaderNoSync
/// (no sync byte or bad version bits), kMpegHeaderBadField (reserved or unsupported field, bad
/// tag) or lengthError when fewer than kMpegMinParseLength bytes are given.
int parseMpegFrameHeader(std::span<const uint8_t> bytes, MpegFrameInfo& info,
                         int lengthError = kMpegHeaderBadField);

/// True when the frame at the start of bytes, whose header info describes, carries an encoder's
/// tag ("Xing", its constant-rate form "Info", or "VBRI") where its audio data would start: such
/// a frame holds no audio.
bool mpegCarriesTag(std::span<const uint8_t> bytes, const MpegFrameInfo& info);

/// Length in bytes of the frame described by info: longLength with padding, else shortLength.
inline int32_t mpegSteppingLength(const MpegFrameInfo& info) {
    return info.padding ? info.longLength : info.shortLength;
}

} // namespace sondrel
