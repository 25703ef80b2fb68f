#include "sample_converters.h"

namespace mireldo::converter {

namespace {

inline std::int16_t mean(std::int32_t a, std::int32_t b) {
    return static_cast<std::int16_t>((a + b) / 2);
}

} // namespace

std::size_t convertChannels(const std::int16_t* in, std::size_t values, int inChannels,
                            int outChannels, std::int16_t* out) {
    const std::size_t frames = values / static_cast<std::size_t>(inChannels);
    if (inChannels == 1 && outChannels == 2) {
        for (std::size_t f = 0; f < frames; ++f) {
            out[2 * f] = in[f];
            out[2 * f + 1] = in[f];
        }
    } else if (inChannels == 2 && outChannels == 1) {
        for (std::size_t f = 0; f < frames; ++f) {
            out[f] = mean(in[2 * f], in[2 * f + 1]);
        }
    } else {
        for (std::size_t v = 0; v < frames * static_cast<std::size_t>(inChannels); ++v) {
            out[v] = in[v];
        }
    }
    return frames * static_cast<std::size_t>(outChannels);
}

RateConverter::RateConverter(std::uint32_t inputRate, int inputChannels, std::uint32_t outputRate,
                             int outputChannels)
    : inputRate_(inputRate), outputRate_(outputRate), inChannels_(inputChannels),
      outChannels_(outputChannels) {}

std::size_t RateConverter::maxOutputValues(std::size_t frames) const {
    // Output frames due up to input frame j: floor(j x out / in) + 1 in all; a block adds at
    // most frames x out / in + 1 of them.
    return (static_cast<std::size_t>(frames * outputRate_ / inputRate_) + 2) *
           static_cast<std::size_t>(outChannels_);
}

std::size_t RateConverter::maxInputFrames(std::size_t values) const {
    const std::size_t frames = values / static_cast<std::size_t>(outChannels_);
    if (frames <= 2) {
        return 0;
    }
    return static_cast<std::size_t>((frames - 2) * inputRate_ / outputRate_);
}

std::size_t RateConverter::convert(const std::int16_t* in, std::size_t frames, std::int16_t* out) {
    std::int16_t* const start = out;
    std::int16_t prevL = previous_[0];
    std::int16_t prevR = previous_[1];
    for (std::size_t k = 0; k < frames; ++k) {
        const std::uint64_t j = nextInput_ + k;
        const std::int16_t* x = in + k * static_cast<std::size_t>(inChannels_);
        while (nextOutput_ * inputRate_ <= j * outputRate_) {
            if (inChannels_ == 1) {
                const std::int16_t v = mean(prevL, x[0]);
                *out++ = v;
                if (outChannels_ == 2) {
                    *out++ = v;
                }
            } else if (outChannels_ == 2) {
                *out++ = mean(prevL, x[0]);
                *out++ = mean(prevR, x[1]);
            } else {
                *out++ = mean(x[0], x[1]);
            }
            ++nextOutput_;
        }
        prevL = x[0];
        prevR = inChannels_ == 2 ? x[1] : x[0];
    }
    nextInput_ += frames;
    previous_[0] = prevL;
    previous_[1] = prevR;
    return static_cast<std::size_t>(out - start);
}

} // namespace mireldo::converter
