#include "sondrel_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace testsupport;
using namespace sondreltest;

namespace {

class WaveReader : public ::testing::Test {
protected:
    TempDir dir;
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file(name);
        writeFile(path, bytes);
        return path;
    }
};

TEST_F(WaveReader, CanonicalStereoFileExposesItsFramesAndFormat) {
    const auto pcm = patternBytes(4000);
    auto bytes = makeWav(2, 44100, 16, pcm);
    // Averages and block align in the file are wrong on purpose: the reader computes its own.
    bytes[28] = 0x12;
    bytes[32] = 7;
    const std::string path = write("a.wav", bytes);

    int32_t code = -1;
    auto s = open(path, code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t length = 0;
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, 1000u);

    WAVEFORMATEX* f = nullptr;
    Sondrel_GetStreamFormat(s.get(), &f);
    EXPECT_EQ(f->wFormatTag, 1);
    EXPECT_EQ(f->nChannels, 2);
    EXPECT_EQ(f->nSamplesPerSec, 44100u);
    EXPECT_EQ(f->nBlockAlign, 4);
    EXPECT_EQ(f->nAvgBytesPerSec, 176400u);
    EXPECT_EQ(f->wBitsPerSample, 16);
    EXPECT_EQ(f->cbSize, 18);

    EXPECT_EQ(Sondrel_DecodeAudioBegin(s.get()), SONDREL_OK);
    EXPECT_EQ(decode(s.get(), 0, 1000), pcm);
    EXPECT_EQ(Sondrel_DecodeAudioEnd(s.get()), SONDREL_OK);
}

TEST_F(WaveReader, EightBitMonoIsServedAsStored) {
    const auto pcm = patternBytes(801);
    int32_t code = -1;
    auto s = open(write("m.wav", makeWav(1, 8000, 8, pcm)), code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t length = 0;
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, 801u);
    EXPECT_EQ(decode(s.get(), 0, 2000), pcm);
}

TEST_F(WaveReader, PcmRunsToTheEndOfTheFileWhateverTheDataChunkSays) {
    const auto pcm = patternBytes(4000);
    auto bytes = wavHeader(1, 2, 22050, 16, 100); // declares 100 bytes
    bytes.insert(bytes.end(), pcm.begin(), pcm.end());
    bytes.push_back(0x55); // an odd trailing byte that fills no frame
    int32_t code = -1;
    auto s = open(write("short-chunk.wav", bytes), code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t length = 0;
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, 1000u);
    const auto all = decode(s.get(), 0, 5000);
    EXPECT_EQ(all, pcm) << "the trailing byte must never be returned";
}

TEST_F(WaveReader, LongerFormatChunkIsReadAtTheFixedOffsets) {
    // An 18-byte format chunk moves the real data chunk by two bytes; the reader still takes the
    // PCM from byte 44 on.
    std::vector<uint8_t> bytes;
    putBytes(bytes, "RIFF");
    putU32(bytes, 0);
    putBytes(bytes, "WAVEfmt ");
    putU32(bytes, 18);
    putU16(bytes, 1);
    putU16(bytes, 1);
    putU32(bytes, 8000);
    putU32(bytes, 16000);
    putU16(bytes, 2);
    putU16(bytes, 16);
    putU16(bytes, 0); // cbSize
    putBytes(bytes, "data");
    putU32(bytes, 200);
    const auto pcm = patternBytes(200);
    bytes.insert(bytes.end(), pcm.begin(), pcm.end());
    ASSERT_EQ(bytes.size(), 246u);

    int32_t code = -1;
    auto s = open(write("long-fmt.wav", bytes), code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t length = 0;
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, 101u);
    const std::vector<uint8_t> expected(bytes.begin() + 44, bytes.end());
    EXPECT_EQ(decode(s.get(), 0, 101), expected);
}

TEST_F(WaveReader, UnsupportedFormatsAndEmptyFilesAreRefused) {
    const auto pcm = patternBytes(600);
    EXPECT_EQ(openCode(write("24.wav", makeWav(2, 44100, 24, pcm))), SONDREL_ERR_UNSUPPORTED);
    auto flt = wavHeader(3, 2, 44100, 32, 600);
    flt.insert(flt.end(), pcm.begin(), pcm.end());
    EXPECT_EQ(openCode(write("float.wav", flt)), SONDREL_ERR_UNSUPPORTED);
    EXPECT_EQ(openCode(write("3ch.wav", makeWav(3, 44100, 16, pcm))), SONDREL_ERR_UNSUPPORTED);
    EXPECT_EQ(openCode(write("0ch.wav", makeWav(0, 44100, 16, pcm))), SONDREL_ERR_UNSUPPORTED);
    EXPECT_EQ(openCode(write("0hz.wav", makeWav(2, 0, 16, pcm))), SONDREL_ERR_UNSUPPORTED);

    EXPECT_EQ(openCode(write("header-only.wav", makeWav(2, 44100, 16, {}))), SONDREL_ERR_EMPTY);
    // Three bytes after the header do not make a 16-bit stereo frame.
    EXPECT_EQ(openCode(write("partial.wav", makeWav(2, 44100, 16, patternBytes(3)))),
              SONDREL_ERR_EMPTY);
    // Too short to hold the format: nothing to recognise.
    EXPECT_EQ(openCode(write("tiny.wav", {'R', 'I', 'F', 'F'})), SONDREL_ERR_UNSUPPORTED);
    EXPECT_EQ(openCode(write("zero.wav", {})), SONDREL_ERR_UNSUPPORTED);
}

TEST_F(WaveReader, DecodingAtAndPastTheEnd) {
    const auto pcm = patternBytes(400); // 100 frames
    int32_t code = -1;
    auto s = open(write("end.wav", makeWav(2, 44100, 16, pcm)), code);
    ASSERT_EQ(code, SONDREL_OK);

    const auto tail = decode(s.get(), 96, 10, &code);
    EXPECT_EQ(code, SONDREL_OK);
    EXPECT_EQ(tail, std::vector<uint8_t>(pcm.end() - 16, pcm.end()));

    EXPECT_TRUE(decode(s.get(), 100, 10, &code).empty());
    EXPECT_EQ(code, SONDREL_OK);
    EXPECT_TRUE(decode(s.get(), 0xFFFFFFF0u, 10, &code).empty());
    EXPECT_EQ(code, SONDREL_OK);
}

TEST_F(WaveReader, ConsecutiveDecodesEqualOneDecodeAndSeeksAnywhere) {
    const auto pcm = patternBytes(4000);
    int32_t code = -1;
    auto s = open(write("seq.wav", makeWav(2, 48000, 16, pcm)), code);
    ASSERT_EQ(code, SONDREL_OK);
    auto first = decode(s.get(), 0, 377);
    const auto second = decode(s.get(), 377, 623);
    first.insert(first.end(), second.begin(), second.end());
    EXPECT_EQ(first, decode(s.get(), 0, 1000));
    // Going back after reading to the end.
    EXPECT_EQ(decode(s.get(), 10, 2), std::vector<uint8_t>(pcm.begin() + 40, pcm.begin() + 48));
}

TEST_F(WaveReader, ARecordStillBeingWrittenServesTheFramesAddedSinceOpen) {
    const std::string path = write("growing.wav", makeWav(1, 8000, 16, patternBytes(200)));
    int32_t code = -1;
    auto s = open(path, code);
    ASSERT_EQ(code, SONDREL_OK);
    const auto more = patternBytes(100, 7);
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out.write(reinterpret_cast<const char*>(more.data()), static_cast<std::streamsize>(more.size()));
    }
    EXPECT_EQ(decode(s.get(), 100, 100), more);
}

} // namespace
