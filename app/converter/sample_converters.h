#pragma once

// The two sample converters of the conversion pipeline, on interleaved signed 16-bit values.
//
// The channel converter changes the channel count at the same rate: mono samples are written
// as left and right, stereo frames become (left + right) / 2.
//
// The rate converter changes the rate (and the channel count with it). Output frame i is
// written at the first input frame j for which i / outputRate <= j / inputRate, i.e.
// i x inputRate <= j x outputRate, compared exactly in integers. Both counters run over the
// whole source, so the time grid never restarts at a block boundary and the output length is
// floor((frames - 1) x outputRate / inputRate) + 1 whatever the block sizes. Values of an
// output frame: from mono, (x[j-1] + x[j]) / 2 (written twice for stereo output); stereo to
// stereo, the same per channel; stereo to mono, (left[j] + right[j]) / 2. x[-1] of the source
// is 0. Sums are 32-bit and divisions truncate toward zero.
//
// Threads: a RateConverter is used by one thread at a time.

#include <cstddef>
#include <cstdint>

namespace mireldo::converter {

/// Converts `values` interleaved values of `inChannels` channels into `outChannels` channels
/// (1 or 2) at `out`; returns the number of values written.
std::size_t convertChannels(const std::int16_t* in, std::size_t values, int inChannels,
                            int outChannels, std::int16_t* out);

/// Rate (and channel) conversion over the blocks of one source.
class RateConverter {
  public:
    RateConverter(std::uint32_t inputRate, int inputChannels, std::uint32_t outputRate,
                  int outputChannels);

    /// Converts the next `frames` input frames of the source into `out`; returns the number of
    /// values written (output frames x output channels), at most maxOutputValues(frames).
    std::size_t convert(const std::int16_t* in, std::size_t frames, std::int16_t* out);

    /// The most values convert() can write for a block of `frames` input frames.
    std::size_t maxOutputValues(std::size_t frames) const;
    /// The most input frames whose output fits into `values` values.
    std::size_t maxInputFrames(std::size_t values) const;

  private:
    std::uint64_t inputRate_;
    std::uint64_t outputRate_;
    int inChannels_;
    int outChannels_;
    std::uint64_t nextInput_ = 0;       ///< source index of the next input frame
    std::uint64_t nextOutput_ = 0;      ///< index of the next output frame
    std::int16_t previous_[2] = {0, 0}; ///< input frame nextInput_ - 1 (zero before the first)
};

} // namespace mireldo::converter
