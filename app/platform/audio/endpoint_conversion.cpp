#include "endpoint_conversion.h"

#include <cmath>
#include <cstring>
#include <type_traits>

namespace mireldo::platform::audio {

namespace {

std::int16_t readInt16(const unsigned char* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

float readFloat32(const unsigned char* p) {
    const std::uint32_t bits = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
                               (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
    float v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void writeInt16(unsigned char* p, int v) {
    const auto u = static_cast<std::uint16_t>(v);
    p[0] = static_cast<unsigned char>(u & 0xFF);
    p[1] = static_cast<unsigned char>(u >> 8);
}

// trunc(x) clipped to [low, high]; NaN gives `nan`.
int clipTruncate(double x, int low, int high, int nan) {
    if (std::isnan(x)) {
        return nan;
    }
    if (x >= high) {
        return high;
    }
    if (x <= low) {
        return low;
    }
    return static_cast<int>(x); // truncation toward zero
}

int floatTo16(double scaled) {
    return clipTruncate(scaled, -32768, 32767, 0);
}

int floatTo8(double scaled) {
    return clipTruncate(128.0 + scaled, 0, 255, 128);
}

int int16To8(int v) {
    return 128 + v * 127 / 32768;
}

// One output frame (at most 2 channels of 16 bits) made from one input frame.
struct Frame {
    unsigned char bytes[4];
};

// How the input frame becomes the output frame; fixed for the whole call.
struct Plan {
    bool stereoIn; // the source has two or more channels (the first two are used)
    bool stereoOut;
    bool eightBit;
    bool pairAsStereo8; // 16-bit stereo to 8-bit stereo without a rate change: 128 + v / 256
};

Frame makeFrame(const unsigned char* in, const Plan& plan, std::true_type /*int16*/) {
    Frame f{};
    const int l = readInt16(in);
    const int r = plan.stereoIn ? readInt16(in + 2) : l;
    if (!plan.eightBit) {
        if (plan.stereoOut) {
            writeInt16(f.bytes, l);
            writeInt16(f.bytes + 2, r);
        } else {
            writeInt16(f.bytes, plan.stereoIn ? l / 2 + r / 2 : l);
        }
        return f;
    }
    if (plan.stereoOut) {
        if (plan.pairAsStereo8) {
            f.bytes[0] = static_cast<unsigned char>(128 + l / 256);
            f.bytes[1] = static_cast<unsigned char>(128 + r / 256);
        } else {
            f.bytes[0] = static_cast<unsigned char>(int16To8(l));
            f.bytes[1] = static_cast<unsigned char>(int16To8(r));
        }
    } else {
        f.bytes[0] = static_cast<unsigned char>(int16To8(plan.stereoIn ? l / 2 + r / 2 : l));
    }
    return f;
}

Frame makeFrame(const unsigned char* in, const Plan& plan, std::false_type /*float*/) {
    Frame f{};
    const double l = readFloat32(in);
    const double r = plan.stereoIn ? static_cast<double>(readFloat32(in + 4)) : l;
    if (!plan.eightBit) {
        if (plan.stereoOut) {
            writeInt16(f.bytes, floatTo16(l * 32767.0));
            writeInt16(f.bytes + 2, floatTo16(r * 32767.0));
        } else {
            writeInt16(f.bytes, floatTo16(plan.stereoIn ? (l + r) * 16383.5 : l * 32767.0));
        }
        return f;
    }
    if (plan.stereoOut) {
        f.bytes[0] = static_cast<unsigned char>(floatTo8(l * 127.0));
        f.bytes[1] = static_cast<unsigned char>(floatTo8(r * 127.0));
    } else {
        f.bytes[0] =
            static_cast<unsigned char>(floatTo8(plan.stereoIn ? (l + r) * 63.5 : l * 127.0));
    }
    return f;
}

template <bool kInt16>
ConversionResult convert(const unsigned char* in, std::uint32_t inFrames,
                         const SourceLayout& source, const PcmFormat& target, unsigned char* out,
                         std::uint32_t outFrames, ConversionCounters& counters) {
    ConversionResult result;
    if (source.channels == 0 || source.sampleRate == 0 || !target.valid()) {
        return result;
    }
    constexpr std::uint32_t kSampleBytes = kInt16 ? 2 : 4;
    const std::uint32_t inFrameBytes = std::uint32_t{source.channels} * kSampleBytes;
    const std::uint32_t outFrameBytes = target.blockAlign();
    const bool sameRate = source.sampleRate == target.sampleRate;

    if (kInt16 && sameRate && target.bitsPerSample == 16 && source.channels == target.channels) {
        const std::uint32_t n = inFrames < outFrames ? inFrames : outFrames;
        std::memcpy(out, in, std::size_t{n} * inFrameBytes);
        counters.consumed += n;
        counters.produced += n;
        return {n, n};
    }

    const Plan plan{source.channels >= 2, target.channels == 2, target.bitsPerSample == 8,
                    sameRate && source.channels >= 2 && target.channels == 2};
    const std::uint64_t inRate = source.sampleRate;
    const std::uint64_t outRate = target.sampleRate;
    std::uint32_t i = 0;
    std::uint32_t written = 0;
    for (; i < inFrames; ++i) {
        const std::uint64_t k = counters.consumed;
        std::uint64_t copies = 1;
        if (!sameRate) {
            // floor(k * outRate / inRate) without overflowing 64 bits.
            const std::uint64_t wanted = k / inRate * outRate + k % inRate * outRate / inRate;
            copies = wanted > counters.produced ? wanted - counters.produced : 0;
        }
        if (copies > outFrames - written) {
            break; // its copies do not fit: the frame waits for the next call
        }
        if (copies > 0) {
            const Frame f =
                makeFrame(in + std::size_t{i} * inFrameBytes, plan, std::bool_constant<kInt16>{});
            for (std::uint64_t c = 0; c < copies; ++c) {
                std::memcpy(out + std::size_t{written} * outFrameBytes, f.bytes, outFrameBytes);
                ++written;
            }
        }
        counters.produced += copies;
        ++counters.consumed;
    }
    result.consumed = i;
    result.produced = written;
    return result;
}

} // namespace

ConversionResult convertInt16(const unsigned char* in, std::uint32_t inFrames,
                              const SourceLayout& source, const PcmFormat& target,
                              unsigned char* out, std::uint32_t outFrames,
                              ConversionCounters& counters) {
    return convert<true>(in, inFrames, source, target, out, outFrames, counters);
}

ConversionResult convertFloat32(const unsigned char* in, std::uint32_t inFrames,
                                const SourceLayout& source, const PcmFormat& target,
                                unsigned char* out, std::uint32_t outFrames,
                                ConversionCounters& counters) {
    return convert<false>(in, inFrames, source, target, out, outFrames, counters);
}

} // namespace mireldo::platform::audio
