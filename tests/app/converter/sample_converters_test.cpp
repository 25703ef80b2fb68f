#include "sample_converters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

using namespace mireldo::converter;

namespace {

using Samples = std::vector<std::int16_t>;

Samples noise(std::size_t values, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(-32768, 32767);
    Samples s(values);
    for (auto& v : s) {
        v = static_cast<std::int16_t>(d(gen));
    }
    return s;
}

// The rule over the whole source, written from the output side: output frame i takes input
// frame j = ceil(i x inRate / outRate), the first j with i / outRate <= j / inRate.
Samples reference(const Samples& in, int inCh, std::uint64_t inRate, int outCh,
                  std::uint64_t outRate) {
    const std::uint64_t frames = in.size() / static_cast<std::size_t>(inCh);
    Samples out;
    for (std::uint64_t i = 0;; ++i) {
        const std::uint64_t j = (i * inRate + outRate - 1) / outRate;
        if (j >= frames) {
            break;
        }
        auto x = [&](std::uint64_t frame, int ch) -> std::int32_t {
            return in[frame * static_cast<std::uint64_t>(inCh) + static_cast<std::uint64_t>(ch)];
        };
        auto prev = [&](int ch) -> std::int32_t { return j == 0 ? 0 : x(j - 1, ch); };
        if (inCh == 2 && outCh == 1) {
            out.push_back(static_cast<std::int16_t>((x(j, 0) + x(j, 1)) / 2));
        } else if (inCh == 2) {
            out.push_back(static_cast<std::int16_t>((prev(0) + x(j, 0)) / 2));
            out.push_back(static_cast<std::int16_t>((prev(1) + x(j, 1)) / 2));
        } else {
            const auto v = static_cast<std::int16_t>((prev(0) + x(j, 0)) / 2);
            for (int c = 0; c < outCh; ++c) {
                out.push_back(v);
            }
        }
    }
    return out;
}

// Runs the converter over `in` in blocks of varying sizes, as the pipeline feeds it.
Samples convertInBlocks(const Samples& in, int inCh, std::uint32_t inRate, int outCh,
                        std::uint32_t outRate, std::uint32_t seed) {
    RateConverter rc(inRate, inCh, outRate, outCh);
    const std::size_t frames = in.size() / static_cast<std::size_t>(inCh);
    std::mt19937 gen(seed);
    std::uniform_int_distribution<std::size_t> blockSize(1, 5000);
    Samples out;
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t n = std::min(blockSize(gen), frames - done);
        Samples block(rc.maxOutputValues(n));
        const std::size_t values =
            rc.convert(in.data() + done * static_cast<std::size_t>(inCh), n, block.data());
        EXPECT_LE(values, block.size());
        out.insert(out.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(values));
        done += n;
    }
    return out;
}

} // namespace

TEST(RateConverter, StereoToHalfRateMonoIsTheMeanOfEverySecondFrame) {
    const Samples in = noise(2 * 30011, 7);
    const Samples out = convertInBlocks(in, 2, 44100, 1, 22050, 3);
    EXPECT_EQ(out, reference(in, 2, 44100, 1, 22050));
    ASSERT_EQ(out.size(), 15006u);
    EXPECT_EQ(out[5], static_cast<std::int16_t>((in[20] + in[21]) / 2));
}

TEST(RateConverter, MonoToDoubleRateAveragesNeighboursAcrossBlocks) {
    const Samples in = noise(20011, 11);
    const Samples out = convertInBlocks(in, 1, 22050, 1, 44100, 5);
    EXPECT_EQ(out, reference(in, 1, 22050, 1, 44100));
    // The first output uses 0 for the frame before the source; later frames yield two each.
    ASSERT_EQ(out.size(), 2u * 20011u - 1u);
    EXPECT_EQ(out[0], static_cast<std::int16_t>(in[0] / 2));
    EXPECT_EQ(out[1], static_cast<std::int16_t>((in[0] + in[1]) / 2));
    EXPECT_EQ(out[2], out[1]);
}

TEST(RateConverter, OtherShapesMatchTheRuleWhateverTheBlocks) {
    struct Case {
        int inCh;
        std::uint32_t inRate;
        int outCh;
        std::uint32_t outRate;
    };
    for (const Case c : {Case{1, 8000, 2, 48000}, Case{2, 48000, 2, 44100},
                         Case{2, 11025, 1, 16000}, Case{1, 44100, 2, 24000}}) {
        const Samples in = noise(static_cast<std::size_t>(c.inCh) * 17003, c.inRate);
        EXPECT_EQ(convertInBlocks(in, c.inCh, c.inRate, c.outCh, c.outRate, 9),
                  reference(in, c.inCh, c.inRate, c.outCh, c.outRate))
            << c.inCh << "ch " << c.inRate << " -> " << c.outCh << "ch " << c.outRate;
    }
}

TEST(RateConverter, TenMinutesKeepTheirLengthToOneFrame) {
    const std::uint64_t frames = 600ull * 44100;
    RateConverter rc(44100, 2, 22050, 1);
    Samples block(2 * 25600);
    Samples out(rc.maxOutputValues(25600));
    std::uint64_t produced = 0;
    for (std::uint64_t done = 0; done < frames;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(25600, frames - done));
        produced += rc.convert(block.data(), n, out.data());
        done += n;
    }
    const double expected = static_cast<double>(frames) * 22050.0 / 44100.0;
    EXPECT_NEAR(static_cast<double>(produced), expected, 1.0);

    // An uneven ratio, where a grid restarted at each block would drift by a frame a block.
    RateConverter up(44100, 1, 48000, 1);
    Samples mono(25600);
    Samples upOut(up.maxOutputValues(25600));
    produced = 0;
    for (std::uint64_t done = 0; done < frames;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(25600, frames - done));
        produced += up.convert(mono.data(), n, upOut.data());
        done += n;
    }
    EXPECT_NEAR(static_cast<double>(produced), static_cast<double>(frames) * 48000.0 / 44100.0,
                1.0);
}

TEST(SampleConverters, MeansTruncateTowardZero) {
    const Samples stereo{-32768, -32767, 32767, 32766, -3, 0};
    Samples mono(3);
    EXPECT_EQ(convertChannels(stereo.data(), stereo.size(), 2, 1, mono.data()), 3u);
    EXPECT_EQ(mono, (Samples{-32767, 32766, -1}));

    RateConverter rc(44100, 2, 22050, 1);
    Samples out(rc.maxOutputValues(3));
    ASSERT_EQ(rc.convert(stereo.data(), 3, out.data()), 2u);
    EXPECT_EQ(out[0], -32767);
    EXPECT_EQ(out[1], -1);

    const Samples one{5, -7};
    Samples two(4);
    EXPECT_EQ(convertChannels(one.data(), 2, 1, 2, two.data()), 4u);
    EXPECT_EQ(two, (Samples{5, 5, -7, -7}));
}

TEST(RateConverter, GrowthBoundHoldsForTheLargestRatio) {
    // Mono 1,000 Hz to stereo 48,000 Hz grows 96 times: the input bound keeps the output
    // within the buffer it is given.
    RateConverter rc(1000, 1, 48000, 2);
    const std::size_t capacity = 24 * 102400 / 2;
    const std::size_t frames = rc.maxInputFrames(capacity);
    ASSERT_GT(frames, 0u);
    EXPECT_LE(rc.maxOutputValues(frames), capacity);
    const Samples in = noise(frames, 1);
    Samples out(capacity);
    EXPECT_LE(rc.convert(in.data(), frames, out.data()), capacity);
}
