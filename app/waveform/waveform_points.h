#pragma once

// The numbers behind the waveform scope: how a captured buffer becomes one value per pixel
// column, and how far a column's line reaches from the middle. Kept apart from the widget so
// they are tested without painting.
//
// Threads: pure functions; any thread.

#include <cstdint>
#include <span>

namespace mireldo::waveform {

/// The full scale the scope starts with, before the recorder sets one for its format.
inline constexpr int kDefaultFullScale = 25000;

/// Fills `columns` (W values) from `bytes` bytes of interleaved PCM with `channels` channels:
/// for 16-bit audio value[i] is the signed sample at index (i x ((bytes / channels) / 2)) / W
/// counted over all samples; for 8-bit audio the byte at (i x (bytes / channels)) / W minus
/// 127. Columns are 0 when the buffer holds no whole sample.
void fillWaveformPoints(std::span<std::int16_t> columns, const unsigned char* data,
                        std::uint32_t bytes, std::uint16_t channels, std::uint16_t bitsPerSample);

/// Pixels a column's line reaches above and below the middle: |value / fullScale x half|,
/// truncated. A full-scale value reaches the edge; larger values are clipped by the caller.
int columnExtent(int value, int fullScale, int half);

} // namespace mireldo::waveform
