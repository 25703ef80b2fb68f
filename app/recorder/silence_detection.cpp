#include "silence_detection.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace mireldo::recorder {

namespace {

constexpr std::array<std::int64_t, kMaxNoiseLevel + 1> kThreshold16{290, 300, 500, 850, 1050};
constexpr std::array<std::int64_t, kMaxNoiseLevel + 1> kThreshold8{10, 15, 20, 30, 40};

// Mean absolute deviation of `count` values produced by `at(i)`.
template <typename At>
std::int64_t deviationOf(std::uint32_t count, At at) {
    if (count == 0) {
        return 0;
    }
    std::int64_t sum = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        sum += at(i);
    }
    const std::int64_t mean = sum / count;
    std::int64_t deviation = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        deviation += std::llabs(at(i) - mean);
    }
    return deviation / count;
}

} // namespace

std::int64_t silenceThreshold(int noiseLevel, int bitsPerSample) {
    const auto level = static_cast<std::size_t>(std::clamp(noiseLevel, 0, kMaxNoiseLevel));
    return bitsPerSample == 16 ? kThreshold16[level] : kThreshold8[level];
}

std::int64_t meanDeviation(const unsigned char* bytes, std::uint32_t count, int bitsPerSample) {
    if (bytes == nullptr) {
        return 0;
    }
    if (bitsPerSample == 16) {
        return deviationOf(count / 2, [bytes](std::uint32_t i) -> std::int64_t {
            const auto lo = static_cast<std::uint16_t>(bytes[2 * i]);
            const auto hi = static_cast<std::uint16_t>(bytes[2 * i + 1]);
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | hi << 8));
        });
    }
    return deviationOf(count, [bytes](std::uint32_t i) -> std::int64_t { return bytes[i]; });
}

bool isSilent(const unsigned char* bytes, std::uint32_t count, int bitsPerSample, int noiseLevel) {
    if (count == 0) {
        return true;
    }
    return meanDeviation(bytes, count, bitsPerSample) < silenceThreshold(noiseLevel, bitsPerSample);
}

std::uint64_t silenceThresholdBytes(std::int32_t seconds, std::uint16_t bitsPerSample,
                                    std::uint16_t channels, std::uint32_t rate) {
    // At most 2^32 x 2^16 x 2^16 x 2^32 would not fit, but bits (8, 16), channels (1, 2) and
    // rates (at most 48,000) of a capture keep the product below 2^55.
    const std::uint64_t s = static_cast<std::uint32_t>(seconds);
    return s * bitsPerSample * channels * rate / 8u;
}

std::uint32_t preRollFrames(int tenths, std::uint32_t rate) {
    const auto t = static_cast<std::uint64_t>(std::clamp(tenths, 0, kMaxPreRollTenths));
    return static_cast<std::uint32_t>(t * rate / 10u);
}

std::uint32_t holdFrames(int milliseconds, std::uint32_t rate) {
    const auto ms = static_cast<std::uint64_t>(std::clamp(milliseconds, 0, kMaxHoldMilliseconds));
    return static_cast<std::uint32_t>((ms * rate + 999u) / 1000u);
}

std::uint32_t soundFrames(const unsigned char* bytes, std::uint32_t count, int bitsPerSample,
                          std::uint16_t blockAlign, std::uint32_t rate, int noiseLevel) {
    if (bytes == nullptr || blockAlign == 0) {
        return 0;
    }
    const std::uint32_t frames = count / blockAlign;
    const std::uint32_t block = std::max<std::uint32_t>(rate / 100u, 1u);
    const std::int64_t threshold = silenceThreshold(noiseLevel, bitsPerSample);
    std::uint32_t sound = 0;
    for (std::uint32_t first = 0; first < frames; first += block) {
        const std::uint32_t n = std::min(block, frames - first);
        if (meanDeviation(bytes + std::size_t{first} * blockAlign, n * blockAlign, bitsPerSample) >=
            threshold) {
            sound += n;
        }
    }
    return sound;
}

bool shouldSkipBuffer(const SilenceSettings& settings, const SilenceState& state,
                      std::uint64_t dataLength, std::uint64_t fileLength, bool silent) {
    if (!silent) {
        return false;
    }
    if (settings.dropBlanks && dataLength == 0) {
        return true;
    }
    return settings.actionAtBlank == 1 && state.isLong(fileLength);
}

LongSilenceAction longSilenceAction(int actionAtBlank, const SilenceState& state,
                                    std::uint64_t fileLength) {
    if (!state.isLong(fileLength)) {
        return LongSilenceAction::None;
    }
    switch (actionAtBlank) {
    case 2:
        return LongSilenceAction::SaveAndRenew;
    case 3:
        return LongSilenceAction::PostStop;
    case 4:
        return LongSilenceAction::SaveAndPause;
    default:
        return LongSilenceAction::None;
    }
}

} // namespace mireldo::recorder
