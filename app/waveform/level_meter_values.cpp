#include "level_meter_values.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace mireldo::waveform {

namespace {

constexpr double kSilence = -std::numeric_limits<double>::infinity();

double decibels(double ratio) {
    return ratio > 0 ? 20.0 * std::log10(ratio) : kSilence;
}

} // namespace

LevelMeterValues::LevelMeterValues() {
    shown_.fill(ChannelLevels{kSilence, kSilence, kSilence, false});
}

void LevelMeterValues::feed(const unsigned char* data, std::uint32_t bytes, std::uint16_t channels,
                            std::uint16_t bitsPerSample) {
    if (data == nullptr || channels == 0) {
        return;
    }
    channels_ = std::min<int>(channels, kMeterChannels);
    const bool wide = bitsPerSample == 16;
    fullScale_ = wide ? 32768.0 : 128.0;
    const std::uint32_t sampleBytes = wide ? 2 : 1;
    const std::uint32_t samples = bytes / sampleBytes;
    for (std::uint32_t i = 0; i < samples; ++i) {
        const std::uint32_t c = i % channels;
        if (c >= kMeterChannels) {
            continue;
        }
        int value = 0;
        bool full = false;
        if (wide) {
            const auto raw = static_cast<std::uint16_t>(data[2 * i] | data[2 * i + 1] << 8);
            value = static_cast<std::int16_t>(raw);
            full = value == 32767 || value == -32768;
        } else {
            value = int{data[i]} - 128;
            full = data[i] == 0 || data[i] == 255;
        }
        Accumulator& a = pending_[c];
        a.peak = std::max(a.peak, static_cast<std::uint32_t>(std::abs(value)));
        a.sumSquares += static_cast<double>(value) * value;
        ++a.count;
        if (full) {
            shown_[c].clipped = true;
        }
    }
}

void LevelMeterValues::take(std::uint64_t nowMs) {
    for (std::size_t c = 0; c < kMeterChannels; ++c) {
        Accumulator& a = pending_[c];
        ChannelLevels& s = shown_[c];
        if (a.count != 0) {
            // The largest positive sample (32,767 or 127) is full scale as well: 0 dBFS.
            const double peak = a.peak + 1.0 >= fullScale_ ? fullScale_ : a.peak;
            s.peakDb = decibels(peak / fullScale_);
            s.rmsDb = decibels(std::sqrt(a.sumSquares / static_cast<double>(a.count)) / fullScale_);
            a = Accumulator{};
        }
        if (s.peakDb >= s.holdDb || nowMs - holdSince_[c] > kPeakHoldMs) {
            s.holdDb = s.peakDb;
            holdSince_[c] = nowMs;
        }
    }
}

void LevelMeterValues::resetClip() {
    for (ChannelLevels& s : shown_) {
        s.clipped = false;
    }
}

} // namespace mireldo::waveform
