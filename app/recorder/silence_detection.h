#pragma once

// Silence detection: the measure that judges a captured buffer silent, the threshold table
// indexed by the noise level, and the values and decisions built on them (the silence marker,
// the threshold in bytes, the skip decision and the test for a long silence).
//
// Threads: plain values and functions; the capture session calls them on its own thread.

#include <cstdint>

namespace mireldo::recorder {

/// Largest noise level; levels outside 0..kMaxNoiseLevel are clamped into it.
inline constexpr int kMaxNoiseLevel = 4;

/// Mean absolute deviation below which a buffer counts as silent, for a noise level (0..4)
/// and a sample size (8 or 16 bits).
std::int64_t silenceThreshold(int noiseLevel, int bitsPerSample);

/// The mean absolute deviation from the mean over the samples of `bytes` (16-bit signed
/// little-endian values, or unsigned bytes for 8-bit), all channels together; both divisions
/// truncate toward zero. 0 for an empty buffer. A trailing odd byte of 16-bit data is ignored.
std::int64_t meanDeviation(const unsigned char* bytes, std::uint32_t count, int bitsPerSample);

/// True when the buffer is silent: empty, or its deviation below the noise level's threshold.
bool isSilent(const unsigned char* bytes, std::uint32_t count, int bitsPerSample, int noiseLevel);

/// Bytes of captured audio that `seconds` of silence make: seconds x bits x channels x rate / 8
/// in 64-bit arithmetic, which cannot overflow for any 32-bit number of seconds. A negative
/// setting reads as its unsigned 32-bit pattern (a silence that never counts as long).
std::uint64_t silenceThresholdBytes(std::int32_t seconds, std::uint16_t bitsPerSample,
                                    std::uint16_t channels, std::uint32_t rate);

/// The values of one capture session that silence detection keeps.
struct SilenceState {
    /// File length (bytes) right after the last written buffer that held sound.
    std::uint64_t marker = 0;
    /// Bytes of silence that count as a long silence, in the capture format.
    std::uint64_t thresholdBytes = 0;
    /// The same marker for the temporary compressed file of on-the-fly compression.
    std::uint64_t compressedMarker = 0;

    /// True when the record has gone on longer than the threshold since the last sound.
    bool isLong(std::uint64_t fileLength) const { return fileLength > marker + thresholdBytes; }
};

/// Largest "Keep before sound" setting, in tenths of a second.
inline constexpr int kMaxPreRollTenths = 20;
/// Largest "Sound must last" setting, in milliseconds.
inline constexpr int kMaxHoldMilliseconds = 500;

/// The settings the decisions read, as they stand when a buffer arrives.
struct SilenceSettings {
    bool dropBlanks = false; ///< ToDropBlanks
    int actionAtBlank = 0;   ///< ActionAtBlank, 0..4
    int noiseLevel = 0;      ///< NoiseLevel, 0..4
    /// PreRollTenths, 0..20: tenths of a second of the skipped silence written before the
    /// sound that ends a skip.
    int preRollTenths = 0;
    /// HoldMilliseconds, 0..500: a burst of sound shorter than this counts as silence.
    int holdMilliseconds = 0;
};

/// Frames of `seconds` tenths of a second at `rate`, rounded down to a whole frame; the
/// setting is clamped to 0..kMaxPreRollTenths.
std::uint32_t preRollFrames(int tenths, std::uint32_t rate);

/// Frames of sound a burst needs to count, for a hold of `milliseconds` (clamped to
/// 0..kMaxHoldMilliseconds) at `rate`, rounded up: a burst must last at least the hold.
std::uint32_t holdFrames(int milliseconds, std::uint32_t rate);

/// Frames of `bytes` that lie in non-silent blocks of 10 ms (rate / 100 frames, the last block
/// of the buffer possibly shorter), each block judged by the silence measure and the noise
/// level's threshold. How long a burst really sounds, finer than whole buffers.
std::uint32_t soundFrames(const unsigned char* bytes, std::uint32_t count, int bitsPerSample,
                          std::uint16_t blockAlign, std::uint32_t rate, int noiseLevel);

/// Whether a buffer with bytes is skipped: leading silence while dropping blanks (data length
/// 0), or, with action 1, a silent buffer while the silence is long. The first buffer of sound
/// after a long pause is written. `silent` is the buffer judged with the hold: a burst that has
/// not yet lasted the hold counts as silent.
bool shouldSkipBuffer(const SilenceSettings& settings, const SilenceState& state,
                      std::uint64_t dataLength, std::uint64_t fileLength, bool silent);

/// What to do at a long silence after a silent buffer (ActionAtBlank).
enum class LongSilenceAction {
    None,         ///< 0, and 1 (handled by the skip decision)
    SaveAndRenew, ///< 2: stop, save, close the session, start a new one
    PostStop,     ///< 3: stop as if "S" were pressed; the record waits for the user
    SaveAndPause, ///< 4: stop and save; the session stays open and paused
};

/// The action due for a silent buffer: None unless the silence is long.
LongSilenceAction longSilenceAction(int actionAtBlank, const SilenceState& state,
                                    std::uint64_t fileLength);

} // namespace mireldo::recorder
