#pragma once

// The numbers behind the level meter: peak and RMS in dBFS per channel over what was captured
// since the meter last drew, a peak hold and a clip indicator that stays on until it is reset.
// Kept apart from the widget so they are tested without painting.
//
// Memory: fixed-size state; feeding a buffer allocates nothing.
// Threads: one thread (the window's); times come from the caller, in milliseconds.

#include <array>
#include <cstdint>

namespace mireldo::waveform {

/// Channels the meter shows; a third and later channel are left out.
inline constexpr int kMeterChannels = 2;
/// How long the highest peak stays shown, in milliseconds.
inline constexpr std::uint64_t kPeakHoldMs = 1500;

/// What one channel of the meter shows. Silence is minus infinity.
struct ChannelLevels {
    double peakDb; ///< highest sample since the last display, dBFS (full scale 0 dBFS)
    double rmsDb;  ///< RMS since the last display, dBFS (a full-scale sine: -3.01)
    double holdDb; ///< the highest peak of the last kPeakHoldMs
    bool clipped;  ///< a sample reached full scale since the last reset
};

class LevelMeterValues {
  public:
    LevelMeterValues();

    /// Adds one buffer of interleaved PCM: 16-bit signed little-endian, or 8-bit unsigned.
    void feed(const unsigned char* data, std::uint32_t bytes, std::uint16_t channels,
              std::uint16_t bitsPerSample);
    /// Ends a display period at `nowMs`: the values of what was fed since the last call become
    /// the shown ones (a period without audio keeps them) and the peak hold moves on.
    void take(std::uint64_t nowMs);
    /// Channels of the last audio fed (1 or 2); 0 before any.
    int channels() const { return channels_; }
    const ChannelLevels& channel(int index) const {
        return shown_[static_cast<std::size_t>(index)];
    }
    /// Turns the clip indicators off.
    void resetClip();

  private:
    struct Accumulator {
        std::uint32_t peak = 0; // largest |sample|
        double sumSquares = 0;  // of the samples, in full-scale units
        std::uint64_t count = 0;
    };
    std::array<Accumulator, kMeterChannels> pending_{};
    std::array<ChannelLevels, kMeterChannels> shown_{};
    std::array<std::uint64_t, kMeterChannels> holdSince_{};
    int channels_ = 0;
    double fullScale_ = 32768.0;
};

} // namespace mireldo::waveform
