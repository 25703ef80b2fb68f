// wave_enc: the file it writes decodes bit-exactly through Sondrel, its header sizes are right
// after the finishing call and already after each flush, and a stream fed after a flush goes on
// in the same file.

#include "be_harness.h"
#include "sondrel.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <tuple>

namespace {

using namespace betest;

uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

/// Decodes `path` through Sondrel; fills `format`.
std::vector<uint8_t> decodeWithSondrel(const std::string& path, WAVEFORMATEX& format) {
    std::vector<uint8_t> pcm;
    SondrelStream* s = nullptr;
    if (Sondrel_OpenStream(&s, path.c_str(), 1, 1) != 0) {
        return pcm;
    }
    WAVEFORMATEX* f = nullptr;
    uint32_t frames = 0;
    Sondrel_GetStreamFormat(s, &f);
    Sondrel_GetStreamLength(s, &frames);
    format = *f;
    Sondrel_DecodeAudioBegin(s);
    pcm.resize(static_cast<size_t>(frames) * f->nBlockAlign);
    uint32_t got = 0;
    Sondrel_DecodeAudio(s, 0, frames, pcm.data(), &got);
    pcm.resize(static_cast<size_t>(got) * f->nBlockAlign);
    Sondrel_CloseStream(s);
    return pcm;
}

class WaveFormats : public ::testing::TestWithParam<std::tuple<uint32_t, int, int>> {};

TEST_P(WaveFormats, DecodesBitExactlyThroughSondrel) {
    const auto& [rate, channels, bits] = GetParam();
    PluginLibrary lib("wave_enc.so");
    ASSERT_TRUE(lib.loaded());
    testsupport::TempDir dir;
    const std::string path = dir.file("out.wav");
    // Arbitrary bytes: every value pattern must survive, not only tones.
    const size_t bytes = static_cast<size_t>(rate) / 3 * static_cast<size_t>(channels * bits / 8);
    const auto pcm = testsupport::patternBytes(bytes, rate + static_cast<uint32_t>(bits));
    // Pieces of 3001 values: not a multiple of the frame, as a caller may cut.
    const EncodeResult r = encodeFile(lib, makeConfig(rate, channels, 128, bits), pcm, path,
                                      EncodeOptions{3001, true});
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.finishRc, 0u);

    const auto file = testsupport::readFile(path);
    ASSERT_EQ(file.size(), 44 + pcm.size());
    EXPECT_EQ(u32At(file, 4), 36 + pcm.size());
    EXPECT_EQ(u32At(file, 40), pcm.size());

    WAVEFORMATEX format{};
    const auto decoded = decodeWithSondrel(path, format);
    EXPECT_EQ(format.nChannels, channels);
    EXPECT_EQ(format.nSamplesPerSec, rate);
    EXPECT_EQ(format.wBitsPerSample, bits);
    EXPECT_TRUE(decoded == pcm) << "decoded " << decoded.size() << " of " << pcm.size();
}

INSTANTIATE_TEST_SUITE_P(RatesChannelsWidths, WaveFormats,
                         ::testing::Combine(::testing::Values(8000u, 22050u, 44100u, 48000u),
                                            ::testing::Values(1, 2), ::testing::Values(8, 16)));

TEST(WavePlugin, SizesAreCompleteAfterTheFlushAlreadyForACopyMadeThen) {
    // A save copies the on-the-fly file right after the flush, before any finishing call.
    PluginLibrary lib("wave_enc.so");
    testsupport::TempDir dir;
    const std::string path = dir.file("live.wav");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    BeConfig cfg = makeConfig(16000, 1, 128);
    BeId3v1Tag tag = makeTag();
    uint32_t samples = 0;
    uint32_t size = static_cast<uint32_t>(fd);
    HBE_STREAM h = reinterpret_cast<HBE_STREAM>(&tag);
    ASSERT_EQ(lib.init(&cfg, &samples, &size, &h), 0u);
    std::vector<uint8_t> out(size);
    const auto pcm = toneBytes(16000, 1, 0.2);
    uint32_t written = 0;
    ASSERT_EQ(
        lib.encode(h, static_cast<uint32_t>(pcm.size() / 2), pcm.data(), out.data(), &written), 0u);
    ASSERT_EQ(::write(fd, out.data(), written), static_cast<ssize_t>(written));
    ASSERT_EQ(lib.deinit(h, out.data(), &written), 0u);
    ASSERT_EQ(::write(fd, out.data(), written), static_cast<ssize_t>(written));

    const auto copy = testsupport::readFile(path);
    ASSERT_EQ(copy.size(), 44 + pcm.size());
    EXPECT_EQ(u32At(copy, 40), pcm.size());

    // Recording resumes: the stream goes on and the sizes follow at the next flush.
    ASSERT_EQ(
        lib.encode(h, static_cast<uint32_t>(pcm.size() / 2), pcm.data(), out.data(), &written), 0u);
    ASSERT_EQ(::write(fd, out.data(), written), static_cast<ssize_t>(written));
    ASSERT_EQ(lib.deinit(h, out.data(), &written), 0u);
    ASSERT_EQ(::write(fd, out.data(), written), static_cast<ssize_t>(written));
    ASSERT_EQ(lib.close(h), 0u);
    EXPECT_EQ(lib.writeInfoTag(h, path.c_str()), 0u);
    ::close(fd);

    WAVEFORMATEX format{};
    const auto decoded = decodeWithSondrel(path, format);
    auto twice = pcm;
    twice.insert(twice.end(), pcm.begin(), pcm.end());
    EXPECT_TRUE(decoded == twice);
}

} // namespace
