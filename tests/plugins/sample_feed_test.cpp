// The MP3 and Ogg plug-ins read the caller's values in place when its pieces are whole frames
// and carry the rest of a frame over otherwise. Wherever the input lies in memory the file is
// the same; cut into pieces that end inside frames, the MP3 file is the same too (LAME's output
// does not depend on how its input is cut, libvorbis's does), and every file holds every value
// in order: it decodes to the input's length and matches the input's tone on both channels.

#include "be_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace betest;

struct Feed {
    const char* name;
    EncodeOptions options;
};

class SampleFeed : public ::testing::TestWithParam<const char*> {};

TEST_P(SampleFeed, PiecesEndingInsideAFrameOrAtOddAddressesLoseNoValue) {
    const std::string library = GetParam();
    const bool mp3 = library == "mpeg_enc.so";
    PluginLibrary lib(library);
    ASSERT_TRUE(lib.loaded()) << library;
    testsupport::TempDir dir;
    const uint32_t rate = 44100;
    const auto pcm = toneBytes(rate, 2, 1.5);
    const auto reference = toInt16(pcm);
    const BeConfig config = makeConfig(rate, 2, 128);

    Feed whole{"whole", {}};
    Feed misaligned{"misaligned", {}};
    misaligned.options.misaligned = true;
    Feed odd{"odd", {}};
    odd.options.pieceValues = 1001; // every other piece ends inside a stereo frame
    Feed both{"odd+misaligned", {}};
    both.options.pieceValues = 777;
    both.options.misaligned = true;

    const std::string first = dir.file("whole.out");
    ASSERT_TRUE(encodeFile(lib, config, pcm, first, whole.options).ok());
    const auto expected = testsupport::readFile(first);
    ASSERT_FALSE(expected.empty());
    for (const Feed& feed : {whole, misaligned, odd, both}) {
        SCOPED_TRACE(library + " " + feed.name);
        const std::string path = dir.file(std::string(feed.name) + ".out");
        const EncodeResult r = encodeFile(lib, config, pcm, path, feed.options);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.finishRc, 0u);
        if (mp3 || feed.options.pieceValues == 0) {
            EXPECT_TRUE(testsupport::readFile(path) == expected);
        }
        // FFmpeg decodes within a codec frame of the input's length (LAME's delay and padding
        // trimmed through the info frame), and a lost or doubled value would swap the channels
        // from there on.
        const auto decoded = decodeWithFfmpeg(path);
        EXPECT_NEAR(static_cast<double>(decoded.size() / 2),
                    static_cast<double>(reference.size() / 2), 2048);
        for (int c = 0; c < 2; ++c) {
            EXPECT_GT(bestCorrelation(reference, decoded, 2, c, 2048 + 1105), 0.9) << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, SampleFeed, ::testing::Values("mpeg_enc.so", "ogg_enc.so"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             return std::string(param.param).substr(0, 3);
                         });

} // namespace
