// A file written by the program's own WMA encoder plug-in, read back through the library's
// exports (and the runtime beside it) as the playlist and the player read records.
#include "be_harness.h"
#include "sondrel.h"
#include "sondrel_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;
using namespace sondreltest;

namespace {

TEST(WmaPluginFile, OneSecondRecordReadsBackWithItsLengthAndPcm) {
    betest::PluginLibrary lib("wma_enc.so");
    ASSERT_TRUE(lib.loaded());
    TempDir dir;
    const std::string path = dir.file("record.wma");
    for (int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        const auto pcm = betest::toneBytes(44100, channels, 1.0);
        ASSERT_TRUE(
            betest::encodeFile(lib, betest::makeConfig(44100, channels, 64), pcm, path).ok());

        int32_t code = -1;
        auto s = open(path, code);
        ASSERT_EQ(code, SONDREL_OK);
        WAVEFORMATEX* f = nullptr;
        Sondrel_GetStreamFormat(s.get(), &f);
        EXPECT_EQ(f->nChannels, channels);
        EXPECT_EQ(f->nSamplesPerSec, 44100u);
        EXPECT_EQ(f->wBitsPerSample, 16);
        EXPECT_EQ(f->nAvgBytesPerSec, 64000u / 8);
        // The header's duration counts whole codec frames (2048 at this rate, the plug-in pads
        // the last of them); the decoder delivers one frame fewer, and the length says so.
        uint32_t length = 0;
        Sondrel_GetStreamLength(s.get(), &length);
        EXPECT_EQ(length % 2048u, 0u);
        EXPECT_GE(length, 44100u - 2048u);
        EXPECT_LE(length, 44100u);

        // Decoded in the player's way (continuing where the last call stopped) it is what
        // the ffmpeg program decodes, sample for sample.
        const auto expected = betest::decodeWithTool(path);
        std::vector<uint8_t> all;
        uint32_t at = 0;
        for (;;) {
            const auto piece = decode(s.get(), at, 11025);
            all.insert(all.end(), piece.begin(), piece.end());
            at += static_cast<uint32_t>(piece.size() / f->nBlockAlign);
            if (piece.size() < size_t{11025} * f->nBlockAlign) {
                break;
            }
        }
        EXPECT_EQ(all.size(), size_t{length} * f->nBlockAlign) << "length and decode agree";
        const auto got = betest::toInt16(all);
        ASSERT_EQ(got.size(), expected.size());
        const auto mismatch = std::mismatch(got.begin(), got.end(), expected.begin());
        EXPECT_TRUE(mismatch.first == got.end())
            << "first difference at value " << (mismatch.first - got.begin());
    }
}

} // namespace
