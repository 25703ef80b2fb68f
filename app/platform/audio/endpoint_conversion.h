#pragma once

// Conversion of a sound server's capture packets (the endpoint's own "mix format": 16-bit
// signed or 32-bit float samples, any channel count and rate, interleaved, little-endian) to
// the integer PCM the recorder asked for (8 or 16 bits, mono or stereo, its own rate).
//
// Rules, applied to each input frame:
// - Same rate, 16-bit source, 16-bit target with the source's channel count: a plain copy.
// - Channels: mono to stereo duplicates the sample. Stereo to mono: for 16-bit sources
//   l / 2 + r / 2 (each halved with truncation toward zero); for float sources (l + r) scaled
//   with half the factor below. More than two source channels: the first two are taken as a
//   stereo pair (and count as stereo in every rule below).
// - Values: 16-bit to 16-bit unchanged; 16-bit to 8-bit 128 + v * 127 / 32768 in integer
//   arithmetic (division truncating toward zero), except stereo to stereo without a rate change,
//   which is 128 + v / 256; float to 16-bit trunc(v * 32767); float to 8-bit
//   trunc(128 + v * 127). Float arithmetic is done in double. Float values beyond the target's
//   range are clipped to it (-32768..32767, 0..255), never wrapped; NaN gives silence.
// - Rate change: zero-order hold on whole-stream counters. The input frame with overall index k
//   (frames consumed before the call plus its position in the call) has the target
//   floor(k * outRate / inRate); when the target is above the frames produced so far, the
//   frame is written (target - produced) times and produced becomes the target, otherwise it
//   is dropped. Because both counters run over the whole stream, splitting the input into
//   packets of any size gives the same output as one call, and after N input frames exactly
//   floor((N - 1) * outRate / inRate) frames have been produced.
//
// A call stops before an input frame whose copies would not fit in the output, leaving that
// frame (and the rest) unconsumed for the next call, so the output's room is never exceeded.
//
// Threads: pure functions; the counters belong to the caller. Nothing is allocated.

#include "wave_types.h"

#include <cstdint>

namespace mireldo::platform::audio {

/// Whole-stream frame counters of one capture stream; start at zero when the stream opens.
struct ConversionCounters {
    std::uint64_t consumed = 0; ///< input frames taken so far
    std::uint64_t produced = 0; ///< output frames written so far
};

/// What one conversion call did, in frames.
struct ConversionResult {
    std::uint32_t consumed = 0; ///< input frames taken (the next call starts after them)
    std::uint32_t produced = 0; ///< output frames written at the start of the output
};

/// The layout of the source frames: channel count (at least 1) and rate in Hz (at least 1).
struct SourceLayout {
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
};

/// Converts up to `inFrames` frames of 16-bit signed little-endian samples at `in` into
/// `target` frames at `out`, which has room for `outFrames` frames. `target` must be
/// valid() (1 or 2 channels, 8 or 16 bits). `in` and `out` need no particular alignment.
ConversionResult convertInt16(const unsigned char* in, std::uint32_t inFrames,
                              const SourceLayout& source, const PcmFormat& target,
                              unsigned char* out, std::uint32_t outFrames,
                              ConversionCounters& counters);

/// As convertInt16() for 32-bit IEEE float little-endian samples.
ConversionResult convertFloat32(const unsigned char* in, std::uint32_t inFrames,
                                const SourceLayout& source, const PcmFormat& target,
                                unsigned char* out, std::uint32_t outFrames,
                                ConversionCounters& counters);

} // namespace mireldo::platform::audio
