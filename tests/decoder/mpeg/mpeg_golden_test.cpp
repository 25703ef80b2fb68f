// Decodes every ISO/IEC 11172-4 compliance bitstream and compares the output with the
// reference PCM.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "mpeg_test_util.h"

namespace {

namespace fs = std::filesystem;

constexpr double kMinPsnr = 90.0; // dB against a peak of 32767
constexpr int kMaxDiff = 2;       // LSB
// The top subband (above 31/32 of Nyquist) is never reconstructed. Its synthesis filter reaches
// half a subband into the one below, and without it the alias images of subband 30 are not
// cancelled; differences from a reference that has content up there therefore lie above this
// cutoff (fraction of Nyquist, just below subband 29's upper edge).
constexpr double kTopBandCutoff = 0.88;

fs::path vectorsDir() {
    return fs::path(MIRELDO_VECTORS_DIR) / "mpeg";
}

std::vector<std::string> vectorNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(vectorsDir())) {
        if (entry.path().extension() == ".bit") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

class MpegGoldenTest : public ::testing::TestWithParam<std::string> {};

TEST_P(MpegGoldenTest, MatchesReference) {
    const std::string name = GetParam();
    const auto bitstream = mpeg_test::readFile(vectorsDir() / (name + ".bit"));
    const auto reference = mpeg_test::readPcm(vectorsDir() / (name + ".pcm"));
    ASSERT_FALSE(bitstream.empty());
    ASSERT_FALSE(reference.empty());

    const mpeg_test::DecodedStream decoded = mpeg_test::decodeStream(bitstream);
    ASSERT_GT(decoded.frames, 0);
    const std::size_t frameSamples = static_cast<std::size_t>(decoded.samplesPerFrame) *
                                     static_cast<std::size_t>(decoded.channels);
    const mpeg_test::Comparison full =
        mpeg_test::compareAligned(decoded.samples, reference, frameSamples, 2);
    std::printf("%-22s frames %4d  shift %+ld  PSNR %6.2f dB  max diff %5d\n", name.c_str(),
                decoded.frames, full.offset / static_cast<long>(frameSamples), full.psnr,
                full.maxDiff);
    // The alignment must cover nearly all of the shorter of the two signals.
    EXPECT_GE(full.compared * 10, std::min(reference.size(), decoded.samples.size()) * 9)
        << name << ": too little overlap with the reference";

    if (full.psnr >= kMinPsnr && full.maxDiff <= kMaxDiff) {
        SUCCEED();
        return;
    }
    // Top-subband exception. The reference must really carry content in the top subband
    // (above 31/32 of Nyquist), large enough to explain the difference; ours must lack what lies
    // beyond the reach of subband 30's filter (above 0.985); below the cutoff the same bar holds.
    const int channels = decoded.channels;
    const mpeg_test::Comparison refTop = mpeg_test::highBand(reference, channels, 0.97);
    const mpeg_test::Comparison refTopmost = mpeg_test::highBand(reference, channels, 0.985);
    const mpeg_test::Comparison oursTopmost = mpeg_test::highBand(decoded.samples, channels, 0.985);
    const mpeg_test::Comparison low =
        mpeg_test::compareLowPassed(decoded.samples, reference, full, channels, kTopBandCutoff);
    std::printf("%-22s top subband: reference peak %d; above 0.985 x Nyquist rms reference %.1f, "
                "ours %.1f; below %.2f x Nyquist: PSNR %6.2f dB  max diff %d\n",
                name.c_str(), refTop.maxDiff, mpeg_test::rmsFromPsnr(refTopmost.psnr),
                mpeg_test::rmsFromPsnr(oursTopmost.psnr), kTopBandCutoff, low.psnr, low.maxDiff);
    EXPECT_GE(refTop.maxDiff, full.maxDiff / 4)
        << name << ": differs from the reference (PSNR " << full.psnr << " dB, max diff "
        << full.maxDiff << ") without top-subband content to explain it";
    if (mpeg_test::rmsFromPsnr(refTopmost.psnr) > 4.0) {
        EXPECT_LT(mpeg_test::rmsFromPsnr(oursTopmost.psnr),
                  mpeg_test::rmsFromPsnr(refTopmost.psnr) / 4)
            << name << ": content of the top subband was decoded";
    }
    EXPECT_GE(low.psnr, kMinPsnr) << name << ": below " << kTopBandCutoff
                                  << " x Nyquist the bar is " << kMinPsnr << " dB";
    EXPECT_LE(low.maxDiff, kMaxDiff)
        << name << ": below " << kTopBandCutoff << " x Nyquist the bar is " << kMaxDiff << " LSB";
}

INSTANTIATE_TEST_SUITE_P(IsoVectors, MpegGoldenTest, ::testing::ValuesIn(vectorNames()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string id = param.param;
                             std::replace(id.begin(), id.end(), '-', '_');
                             return id;
                         });

TEST(MpegGoldenVectors, AllLayersAndVersionsPresent) {
    const auto names = vectorNames();
    auto has = [&](const char* prefix) {
        return std::any_of(names.begin(), names.end(),
                           [&](const std::string& n) { return n.rfind(prefix, 0) == 0; });
    };
    EXPECT_TRUE(has("l1-"));
    EXPECT_TRUE(has("l2-"));
    EXPECT_TRUE(has("l3-"));
    EXPECT_TRUE(has("M2L3"));
}

} // namespace
