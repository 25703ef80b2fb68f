// Conversion of sound-server packets to the recorder's PCM: values, channel rules and the
// zero-order hold, each checked against values worked out here from the rules themselves.

#include "audio/endpoint_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

using namespace mireldo::platform::audio;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes int16Bytes(const std::vector<int>& samples) {
    Bytes out;
    for (const int s : samples) {
        const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(s));
        out.push_back(static_cast<unsigned char>(u & 0xFF));
        out.push_back(static_cast<unsigned char>(u >> 8));
    }
    return out;
}

Bytes floatBytes(const std::vector<float>& samples) {
    Bytes out(samples.size() * 4);
    std::memcpy(out.data(), samples.data(), out.size()); // little-endian host
    return out;
}

std::vector<int> int16Of(const Bytes& b, std::size_t count) {
    std::vector<int> out;
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(static_cast<std::int16_t>(b[2 * i] | b[2 * i + 1] << 8));
    }
    return out;
}

// Deterministic floats in [-1, 1).
std::vector<float> noise(std::size_t count, std::uint32_t seed) {
    std::vector<float> out(count);
    for (auto& v : out) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
    return out;
}

struct Converted {
    Bytes out;
    ConversionResult result;
};

Converted runInt16(const std::vector<int>& samples, std::uint16_t inChannels, std::uint32_t inRate,
                   PcmFormat target, std::uint32_t room = 1000) {
    const Bytes in = int16Bytes(samples);
    Converted r{Bytes(std::size_t{room} * target.blockAlign()), {}};
    ConversionCounters counters;
    r.result = convertInt16(in.data(), static_cast<std::uint32_t>(samples.size() / inChannels),
                            {inChannels, inRate}, target, r.out.data(), room, counters);
    r.out.resize(std::size_t{r.result.produced} * target.blockAlign());
    return r;
}

Converted runFloat(const std::vector<float>& samples, std::uint16_t inChannels,
                   std::uint32_t inRate, PcmFormat target, std::uint32_t room = 1000) {
    const Bytes in = floatBytes(samples);
    Converted r{Bytes(std::size_t{room} * target.blockAlign()), {}};
    ConversionCounters counters;
    r.result = convertFloat32(in.data(), static_cast<std::uint32_t>(samples.size() / inChannels),
                              {inChannels, inRate}, target, r.out.data(), room, counters);
    r.out.resize(std::size_t{r.result.produced} * target.blockAlign());
    return r;
}

constexpr PcmFormat k16Mono{1, 44100, 16};
constexpr PcmFormat k16Stereo{2, 44100, 16};
constexpr PcmFormat k8Mono{1, 44100, 8};
constexpr PcmFormat k8Stereo{2, 44100, 8};

} // namespace

TEST(EndpointConversion, FloatStereo48kTo16BitMono44kOverOneSecond) {
    // 48,000 frames (one second) and the first frame of the next second.
    const std::size_t inFrames = 48001;
    const std::vector<float> in = noise(inFrames * 2, 7);
    Bytes out(50000 * 2);
    ConversionCounters counters;
    const Bytes bytes = floatBytes(in);
    const ConversionResult r =
        convertFloat32(bytes.data(), 48000, {2, 48000}, k16Mono, out.data(), 50000, counters);
    // Frame k lands on floor(k * 44100 / 48000): the last of the second (k = 47,999) on 44,099.
    EXPECT_EQ(r.consumed, 48000u);
    EXPECT_EQ(r.produced, 44099u);
    const ConversionResult last = convertFloat32(bytes.data() + 48000 * 8, 1, {2, 48000}, k16Mono,
                                                 out.data() + 44099 * 2, 100, counters);
    EXPECT_EQ(last.produced, 1u);
    EXPECT_EQ(counters.produced, 44100u);
    EXPECT_EQ(counters.consumed, 48001u);

    const std::vector<int> got = int16Of(out, 44100);
    for (std::size_t j = 0; j < 44100; ++j) {
        // Output frame j holds the first input frame k with k * 44100 >= (j + 1) * 48000.
        const std::size_t k = ((j + 1) * 48000 + 44099) / 44100;
        const long double sum = static_cast<long double>(in[2 * k]) + in[2 * k + 1];
        const auto want = static_cast<int>(std::trunc(sum * 32767 / 2));
        ASSERT_EQ(got[j], want) << "output frame " << j << " from input frame " << k;
    }
}

TEST(EndpointConversion, FrameCountsFollowTheWholeStreamCounters) {
    // After N input frames exactly floor((N - 1) * out / in) frames exist, up and down.
    struct Case {
        std::uint32_t inRate, outRate;
    };
    for (const Case c : {Case{48000, 44100}, Case{44100, 48000}, Case{96000, 8000},
                         Case{8000, 48000}, Case{32000, 32000}}) {
        const std::uint32_t n = 20000;
        const std::vector<int> in(n, 1000);
        const Converted r = runInt16(in, 1, c.inRate, {1, c.outRate, 16}, 200000);
        const std::uint64_t want =
            c.inRate == c.outRate ? n : std::uint64_t{n - 1} * c.outRate / c.inRate;
        EXPECT_EQ(r.result.consumed, n) << c.inRate << " -> " << c.outRate;
        EXPECT_EQ(r.result.produced, want) << c.inRate << " -> " << c.outRate;
    }
}

TEST(EndpointConversion, ManySmallPacketsIntoSmallBuffersEqualOneCall) {
    struct Case {
        std::uint16_t channels;
        std::uint32_t inRate;
        PcmFormat target;
        bool isFloat;
    };
    const Case cases[] = {
        {2, 48000, k16Mono, true},        {1, 48000, k16Stereo, true},
        {6, 44100, {2, 48000, 8}, true},  {2, 22050, {2, 48000, 16}, false},
        {1, 48000, {1, 11025, 8}, false}, {2, 44100, k16Stereo, false},
    };
    for (const Case& c : cases) {
        const std::uint32_t frames = 30011;
        const std::uint32_t inFrameBytes = c.channels * (c.isFloat ? 4u : 2u);
        const Bytes in =
            c.isFloat ? floatBytes(noise(std::size_t{frames} * c.channels, 3)) : int16Bytes([&] {
                std::vector<int> s;
                for (float v : noise(std::size_t{frames} * c.channels, 3)) {
                    s.push_back(static_cast<int>(v * 32767));
                }
                return s;
            }());
        const auto call = [&](const unsigned char* src, std::uint32_t n, unsigned char* dst,
                              std::uint32_t room, ConversionCounters& counters) {
            return c.isFloat ? convertFloat32(src, n, {c.channels, c.inRate}, c.target, dst, room,
                                              counters)
                             : convertInt16(src, n, {c.channels, c.inRate}, c.target, dst, room,
                                            counters);
        };
        const std::uint32_t outBytes = c.target.blockAlign();
        Bytes whole(std::size_t{frames} * 8 * outBytes);
        ConversionCounters one;
        const ConversionResult all = call(in.data(), frames, whole.data(), frames * 8, one);
        ASSERT_EQ(all.consumed, frames);
        whole.resize(std::size_t{all.produced} * outBytes);

        // Packets of 1 to 997 frames into buffers of 1 to 300 frames.
        Bytes pieces;
        ConversionCounters counters;
        std::uint32_t at = 0;
        std::uint32_t seed = 11;
        while (at < frames) {
            seed = seed * 1103515245u + 12345u;
            std::uint32_t packet = std::min(frames - at, 1 + (seed >> 8) % 997);
            while (packet > 0) {
                const std::uint32_t room = 1 + (seed >> 4) % 300;
                seed = seed * 1103515245u + 12345u;
                Bytes buffer(std::size_t{room} * outBytes);
                const ConversionResult r = call(in.data() + std::size_t{at} * inFrameBytes, packet,
                                                buffer.data(), room, counters);
                ASSERT_LE(r.produced, room);
                pieces.insert(pieces.end(), buffer.begin(),
                              buffer.begin() + static_cast<std::ptrdiff_t>(r.produced * outBytes));
                at += r.consumed;
                packet -= r.consumed;
                ASSERT_TRUE(r.consumed > 0 || r.produced > 0 || room < 10) << "no progress";
            }
        }
        EXPECT_EQ(counters.consumed, frames);
        EXPECT_EQ(counters.produced, all.produced);
        EXPECT_EQ(pieces, whole) << "channels " << c.channels << " rate " << c.inRate;
    }
}

TEST(EndpointConversion, SameFormatCopiesPacketsUnchanged) {
    std::vector<int> samples;
    for (int i = 0; i < 2000; ++i) {
        samples.push_back((i * 7919) % 65536 - 32768);
    }
    const Converted r = runInt16(samples, 2, 44100, k16Stereo, 1000);
    EXPECT_EQ(r.result.consumed, 1000u);
    EXPECT_EQ(r.out, int16Bytes(samples));
    // A buffer with room for less takes only what fits.
    const Converted small = runInt16(samples, 2, 44100, k16Stereo, 300);
    EXPECT_EQ(small.result.consumed, 300u);
    EXPECT_EQ(small.out, int16Bytes(std::vector<int>(samples.begin(), samples.begin() + 600)));
}

TEST(EndpointConversion, Int16ChannelRules) {
    // Stereo to mono halves each side before adding: -3 / 2 + -3 / 2 = -2 (not -3).
    EXPECT_EQ(int16Of(runInt16({-3, -3, 32767, 32767, -32768, 1, 5, -4}, 2, 44100, k16Mono).out, 4),
              (std::vector<int>{-2, 32766, -16384, 0}));
    // Mono to stereo duplicates.
    EXPECT_EQ(int16Of(runInt16({-5, 1234}, 1, 44100, k16Stereo).out, 4),
              (std::vector<int>{-5, -5, 1234, 1234}));
    // Four channels: the first two are the pair, the others ignored.
    EXPECT_EQ(
        int16Of(runInt16({100, -200, 9999, 9999, 7, 9, -9999, 9999}, 4, 44100, k16Stereo).out, 4),
        (std::vector<int>{100, -200, 7, 9}));
    EXPECT_EQ(int16Of(runInt16({101, 201, 9999, 9999}, 4, 44100, k16Mono).out, 1),
              (std::vector<int>{50 + 100}));
}

TEST(EndpointConversion, Int16ToEightBits) {
    // 128 + v * 127 / 32768, the division truncating toward zero.
    EXPECT_EQ(runInt16({32767, -32768, -300, 300, -258, 0}, 1, 44100, k8Mono).out,
              (Bytes{128 + 126, 128 - 127, 128 - 1, 128 + 1, 128, 128}));
    // Stereo to stereo at the same rate: 128 + v / 256.
    EXPECT_EQ(runInt16({32767, -32768, -258, 255}, 2, 44100, k8Stereo).out,
              (Bytes{255, 0, 127, 128}));
    // The same pair with a rate change takes the general rule (1:1 frames at 44100 -> 44101
    // after the first, which is dropped).
    EXPECT_EQ(runInt16({0, 0, 32767, -32768, -258, -300}, 2, 44100, {2, 44101, 8}).out,
              (Bytes{254, 1, 128, 127}));
    // Stereo to mono: halves first, then the 8-bit rule.
    EXPECT_EQ(runInt16({-32768, -32768, 32767, 32767}, 2, 44100, k8Mono).out, (Bytes{1, 254}));
}

TEST(EndpointConversion, FloatValuesTruncateAndClip) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(
        int16Of(runFloat({1.0f, -1.0f, 0.5f, -0.5f, 1.5f, -1.5f, 0.0f, nan}, 1, 44100, k16Mono).out,
                8),
        (std::vector<int>{32767, -32767, 16383, -16383, 32767, -32768, 0, 0}));
    // trunc(128 + v * 127): -0.5 gives 64.5 -> 64; beyond the range clips.
    EXPECT_EQ(runFloat({1.0f, -1.0f, 0.5f, -0.5f, 2.0f, -2.0f, nan}, 1, 44100, k8Mono).out,
              (Bytes{255, 1, 191, 64, 255, 0, 128}));
    // Stereo to mono uses half the factor on the sum.
    EXPECT_EQ(
        int16Of(
            runFloat({0.5f, 0.25f, 1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 0.5f}, 2, 44100, k16Mono).out,
            4),
        (std::vector<int>{12287, 32767, -32767, 24575}));
    EXPECT_EQ(runFloat({0.5f, 0.25f, -1.0f, -1.0f}, 2, 44100, k8Mono).out, (Bytes{175, 1}));
    // Mono to stereo duplicates the converted value; stereo keeps its sides.
    EXPECT_EQ(int16Of(runFloat({0.25f, -0.75f, 0.125f}, 1, 44100, k16Stereo).out, 6),
              (std::vector<int>{8191, 8191, -24575, -24575, 4095, 4095}));
    EXPECT_EQ(runFloat({0.25f, -0.75f}, 2, 44100, k8Stereo).out, (Bytes{159, 32}));
}

TEST(EndpointConversion, AFrameWhoseCopiesDoNotFitWaits) {
    // 8 kHz to 48 kHz: frame 0 is dropped (target 0), frame 1 needs six copies.
    std::vector<int> in{10, 20, 30};
    const Converted r = runInt16(in, 1, 8000, {1, 48000, 16}, 4);
    EXPECT_EQ(r.result.consumed, 1u);
    EXPECT_EQ(r.result.produced, 0u);
    const Converted roomy = runInt16(in, 1, 8000, {1, 48000, 16}, 12);
    EXPECT_EQ(roomy.result.consumed, 3u);
    EXPECT_EQ(int16Of(roomy.out, 12),
              (std::vector<int>{20, 20, 20, 20, 20, 20, 30, 30, 30, 30, 30, 30}));
}
