// The three codec plug-ins (MP3, WMA, Ogg Vorbis) on generated tones: what ffprobe reads back
// and how well ffmpeg's decoding matches the input.
//
// Matrix: every sample rate 8000..48000 Hz, mono and stereo, at 128 kbit/s; every bit rate of
// the quality table at 44100 Hz stereo and 16000 Hz mono. The full rate x channel x bit rate
// product (864 encodes) would take minutes and adds little over these two cuts.

#include "be_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

namespace {

using namespace betest;

struct Codec {
    const char* library;
    const char* extension;
    const char* codecName; ///< as ffprobe names it
    int frameSamples;      ///< largest codec frame
    int delaySamples;      ///< the encoder's documented start delay
};

// LAME: 1152-sample frames (576 below 32 kHz), delay 576 + 529 samples, trimmed by players
// through the info frame. wmav2: 2048-sample frames at most, one frame of MDCT delay; the plug-in
// pads the last frame with silence. Vorbis: blocks up to 2048 samples, no delay.
const Codec kMp3{"mpeg_enc.so", "mp3", "mp3", 1152, 1105};
const Codec kWma{"wma_enc.so", "wma", "wmav2", 2048, 2048};
const Codec kOgg{"ogg_enc.so", "ogg", "vorbis", 2048, 0};

constexpr double kSeconds = 0.3;
const uint32_t kBitrateTable[] = {8,  16,  32,  40,  48,  56,  64,  80,
                                  96, 112, 128, 160, 192, 224, 256, 320};

/// Encodes a tone and checks codec, rate, channels, duration; returns the correlation of the
/// worst channel (or -2 when the file could not be made or read).
double encodeAndCheck(const Codec& codec, uint32_t rate, int channels, uint32_t kbps) {
    PluginLibrary lib(codec.library);
    EXPECT_TRUE(lib.loaded()) << codec.library;
    if (!lib.loaded()) {
        return -2;
    }
    testsupport::TempDir dir;
    const std::string path = dir.file(std::string("out.") + codec.extension);
    const auto pcm = toneBytes(rate, channels, kSeconds);
    const EncodeResult r = encodeFile(lib, makeConfig(rate, channels, kbps), pcm, path);
    EXPECT_TRUE(r.ok()) << "init " << r.initRc << " encode " << r.encodeRc << " deinit "
                        << r.deinitRc;
    EXPECT_EQ(r.finishRc, 0u);
    if (!r.ok()) {
        return -2;
    }
    const ProbeInfo info = probe(path);
    EXPECT_TRUE(info.ok) << path;
    EXPECT_EQ(info.codec, codec.codecName);
    EXPECT_EQ(info.rate, rate);
    EXPECT_EQ(info.channels, channels);
    const double tolerance =
        static_cast<double>(codec.frameSamples + codec.delaySamples) / static_cast<double>(rate);
    EXPECT_NEAR(info.duration, kSeconds, tolerance) << rate << " Hz " << channels << " ch";

    const auto reference = toInt16(pcm);
    const auto decoded = decodeWithFfmpeg(path);
    double worst = 2.0;
    for (int c = 0; c < channels; ++c) {
        worst = std::min(worst, bestCorrelation(reference, decoded, channels, c,
                                                codec.frameSamples + codec.delaySamples));
    }
    return worst;
}

class CodecFormats : public ::testing::TestWithParam<std::tuple<Codec, uint32_t, int>> {};

TEST_P(CodecFormats, ToneAt128KbpsReadsBackWithCorrelationAbove0_9) {
    const auto& [codec, rate, channels] = GetParam();
    const double corr = encodeAndCheck(codec, rate, channels, 128);
    EXPECT_GT(corr, 0.9) << codec.library << " " << rate << " Hz " << channels << " ch";
}

std::string formatName(const ::testing::TestParamInfo<std::tuple<Codec, uint32_t, int>>& info) {
    return std::string(std::get<0>(info.param).extension) + "_" +
           std::to_string(std::get<1>(info.param)) + "_" +
           (std::get<2>(info.param) == 1 ? "mono" : "stereo");
}

INSTANTIATE_TEST_SUITE_P(AllRates, CodecFormats,
                         ::testing::Combine(::testing::Values(kMp3, kWma, kOgg),
                                            ::testing::Values(8000u, 11025u, 12000u, 16000u, 22050u,
                                                              24000u, 32000u, 44100u, 48000u),
                                            ::testing::Values(1, 2)),
                         formatName);

class CodecBitrates : public ::testing::TestWithParam<std::tuple<Codec, uint32_t>> {};

// Low bit rates cannot carry a tone at 44.1 kHz cleanly; from 48 kbit/s they must.
TEST_P(CodecBitrates, EveryTableRateAt44100StereoAnd16000Mono) {
    const auto& [codec, kbps] = GetParam();
    const double stereo = encodeAndCheck(codec, 44100, 2, kbps);
    const double mono = encodeAndCheck(codec, 16000, 1, kbps);
    if (kbps >= 48) {
        EXPECT_GT(stereo, 0.9) << kbps << " kbit/s stereo";
    }
    if (kbps >= 32) {
        EXPECT_GT(mono, 0.9) << kbps << " kbit/s mono";
    }
    EXPECT_GT(stereo, -2);
    EXPECT_GT(mono, -2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodecBitrates,
    ::testing::Combine(::testing::Values(kMp3, kWma, kOgg), ::testing::ValuesIn(kBitrateTable)),
    [](const ::testing::TestParamInfo<std::tuple<Codec, uint32_t>>& paramInfo) {
        return std::string(std::get<0>(paramInfo.param).extension) + "_" +
               std::to_string(std::get<1>(paramInfo.param)) + "kbps";
    });

} // namespace
