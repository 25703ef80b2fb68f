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

TEST_F(WaveReader, TheDataChunkBoundsTheStreamAndAPartialFrameIsNeverReturned) {
    const auto pcm = patternBytes(4000);
    auto bytes = wavHeader(1, 2, 22050, 16, 101); // declares 101 bytes: 25 frames and a byte
    bytes.insert(bytes.end(), pcm.begin(), pcm.end());
    int32_t code = -1;
    auto s = open(write("short-chunk.wav", bytes), code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t length = 0;
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, 25u);
    EXPECT_EQ(decode(s.get(), 0, 5000), std::vector<uint8_t>(pcm.begin(), pcm.begin() + 100));
    EXPECT_TRUE(decode(s.get(), 25, 10).empty());

    // Without a usable size the PCM runs to the end of the file, a trailing odd byte excluded.
    auto open2 = wavHeader(1, 2, 22050, 16, 0);
    open2.insert(open2.end(), pcm.begin(), pcm.end());
    open2.push_back(0x55);
    s = open(write("no-size.wav", open2), code);
    ASSERT_EQ(code, SONDREL_OK);
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, 1000u);
    EXPECT_EQ(decode(s.get(), 0, 5000), pcm) << "the trailing byte must never be returned";
}

TEST_F(WaveReader, LongerFormatChunkMovesTheDataChunk) {
    // An 18-byte format chunk moves the data chunk by two bytes: the PCM starts at byte 46.
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
    EXPECT_EQ(length, 100u);
    const std::vector<uint8_t> expected(bytes.begin() + 46, bytes.end());
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
    // The recorder plays back the record it writes with share mode 2; another reader of the same
    // file keeps to the data size it saw.
    SondrelStream* raw = nullptr;
    ASSERT_EQ(Sondrel_OpenStream(&raw, path.c_str(), 1, 2), SONDREL_OK);
    StreamPtr s(raw);
    int32_t code = -1;
    auto other = open(path, code);
    ASSERT_EQ(code, SONDREL_OK);
    const auto more = patternBytes(100, 7);
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out.write(reinterpret_cast<const char*>(more.data()),
                  static_cast<std::streamsize>(more.size()));
    }
    EXPECT_EQ(decode(s.get(), 100, 100), more);
    EXPECT_TRUE(decode(other.get(), 100, 100).empty());
}

// A format chunk of the given tag and size (16, 18 or 40 bytes), with an extensible sub-format.
std::vector<uint8_t> formatChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                                 uint32_t size = 16, bool pcmSubFormat = true) {
    std::vector<uint8_t> out;
    putBytes(out, "fmt ");
    putU32(out, size);
    putU16(out, tag);
    putU16(out, channels);
    putU32(out, rate);
    putU32(out, rate * channels * bits / 8u);
    putU16(out, static_cast<uint16_t>(channels * bits / 8u));
    putU16(out, bits);
    if (size >= 18) {
        putU16(out, static_cast<uint16_t>(size - 18));
    }
    if (size >= 40) {
        putU16(out, bits);                  // valid bits
        putU32(out, channels == 1 ? 4 : 3); // channel mask
        putU32(out, pcmSubFormat ? 1 : 3);  // PCM, or IEEE float
        const uint8_t rest[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                  0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        out.insert(out.end(), rest, rest + 12);
    }
    return out;
}

std::vector<uint8_t> chunk(const char* id, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out;
    putBytes(out, id);
    putU32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2 != 0) {
        out.push_back(0); // chunks are padded to an even size
    }
    return out;
}

// A RIFF WAVE file of the given chunks in order.
std::vector<uint8_t> riffWave(const std::vector<std::vector<uint8_t>>& chunks) {
    std::vector<uint8_t> body;
    putBytes(body, "WAVE");
    for (const auto& c : chunks) {
        body.insert(body.end(), c.begin(), c.end());
    }
    std::vector<uint8_t> out;
    putBytes(out, "RIFF");
    putU32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST_F(WaveReader, ChunksBeforeTheDataAreSteppedOver) {
    const auto pcm = patternBytes(800);
    // As other programs write them: a LIST chunk of odd size (padded) and a fact chunk before
    // the data.
    std::vector<uint8_t> info;
    putBytes(info, "INFOISFT");
    putU32(info, 13);
    putBytes(info, "Lavf59.27.100");
    const auto bytes = riffWave({formatChunk(1, 2, 44100, 16), chunk("LIST", info),
                                 chunk("fact", {0x20, 0x03, 0, 0}), chunk("data", pcm)});
    int32_t code = -1;
    auto s = open(write("list.wav", bytes), code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t length = 0;
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, 200u);
    EXPECT_EQ(decode(s.get(), 0, 1000), pcm);

    // A format chunk after an unknown chunk is found too; data before any format is refused.
    const auto late =
        riffWave({chunk("junk", patternBytes(31)), formatChunk(1, 1, 8000, 8), chunk("data", pcm)});
    s = open(write("late-fmt.wav", late), code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_EQ(decode(s.get(), 0, 1000), pcm);
    EXPECT_EQ(openCode(write("no-fmt.wav", riffWave({chunk("data", pcm)}))),
              SONDREL_ERR_UNSUPPORTED);
}

TEST_F(WaveReader, ChunksAfterTheDataAreNeverPlayed) {
    const auto pcm = patternBytes(400);
    // Tag editors append their tags as chunks after the data.
    const auto bytes =
        riffWave({formatChunk(1, 2, 48000, 16), chunk("data", pcm),
                  chunk("id3 ", patternBytes(300, 9)), chunk("LIST", patternBytes(77, 5))});
    int32_t code = -1;
    auto s = open(write("tagged.wav", bytes), code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t length = 0;
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, 100u);
    EXPECT_EQ(decode(s.get(), 0, 1000), pcm);
    EXPECT_EQ(decode(s.get(), 96, 1000), std::vector<uint8_t>(pcm.end() - 16, pcm.end()));

    // A data size past the end of the file (the final header was never written), or the sizes
    // that mean "unknown", read to the end of the file.
    for (const uint32_t size : {0u, 0xFFFFFFFFu, 100000u}) {
        auto open2 = riffWave({formatChunk(1, 2, 48000, 16)});
        putBytes(open2, "data");
        putU32(open2, size);
        open2.insert(open2.end(), pcm.begin(), pcm.end());
        s = open(write("unknown-size.wav", open2), code);
        ASSERT_EQ(code, SONDREL_OK) << size;
        Sondrel_GetStreamLength(s.get(), &length);
        EXPECT_EQ(length, 100u) << size;
        EXPECT_EQ(decode(s.get(), 0, 1000), pcm) << size;
    }
}

TEST_F(WaveReader, ExtensibleFormatWithPcmSubFormatIsRead) {
    const auto pcm = patternBytes(600);
    for (const uint16_t bits : {uint16_t{8}, uint16_t{16}}) {
        const auto bytes = riffWave({formatChunk(0xFFFE, 2, 44100, bits, 40), chunk("data", pcm)});
        int32_t code = -1;
        auto s = open(write("ext.wav", bytes), code);
        ASSERT_EQ(code, SONDREL_OK) << bits;
        WAVEFORMATEX* f = nullptr;
        Sondrel_GetStreamFormat(s.get(), &f);
        EXPECT_EQ(f->wFormatTag, 1);
        EXPECT_EQ(f->wBitsPerSample, bits);
        EXPECT_EQ(decode(s.get(), 0, 1000), pcm) << bits;
    }
    EXPECT_EQ(
        openCode(write("ext-float.wav", riffWave({formatChunk(0xFFFE, 2, 44100, 16, 40, false),
                                                  chunk("data", pcm)}))),
        SONDREL_ERR_UNSUPPORTED);
    EXPECT_EQ(openCode(write("ext-24.wav", riffWave({formatChunk(0xFFFE, 2, 44100, 24, 40),
                                                     chunk("data", pcm)}))),
              SONDREL_ERR_UNSUPPORTED);
}

TEST_F(WaveReader, SampleRatesOutsideWhatCanBePlayedAreRefused) {
    const auto pcm = patternBytes(400);
    for (const uint32_t rate : {999u, 768001u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(openCode(write("rate.wav", makeWav(2, rate, 16, pcm))), SONDREL_ERR_UNSUPPORTED)
            << rate;
    }
    for (const uint32_t rate : {1000u, 768000u}) {
        EXPECT_EQ(openCode(write("rate.wav", makeWav(2, rate, 16, pcm))), SONDREL_OK) << rate;
    }
}

TEST_F(WaveReader, AWavWrittenByAnotherProgramPlaysItsDataOnly) {
    // ffmpeg writes a LIST chunk before the data; its own raw decode is the reference.
    const std::string source = write("source.wav", makeWav(2, 44100, 16, patternBytes(44100 * 4)));
    const std::string made = dir.file("ffmpeg.wav");
    const std::string raw = dir.file("ffmpeg.raw");
    const std::string ffmpeg = std::string(MIRELDO_FFMPEG_EXE) + " -nostdin -v error -y -i ";
    ASSERT_EQ(runCommand(ffmpeg + shellQuote(source) + " -metadata title=Take " + shellQuote(made) +
                         " 2>&1")
                  .exitCode,
              0);
    ASSERT_EQ(
        runCommand(ffmpeg + shellQuote(made) + " -f s16le " + shellQuote(raw) + " 2>&1").exitCode,
        0);
    const auto reference = readFile(raw);
    const auto bytes = readFile(made);
    ASSERT_NE(std::string(bytes.begin(), bytes.begin() + 64).find("LIST"), std::string::npos)
        << "the outside program no longer writes a LIST chunk before the data";

    int32_t code = -1;
    auto s = open(made, code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t length = 0;
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, reference.size() / 4);
    EXPECT_EQ(decode(s.get(), 0, length + 100), reference);
}

} // namespace
