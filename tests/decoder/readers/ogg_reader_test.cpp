// The Ogg Vorbis reader on files oggenc makes at test time, with oggdec as the reference decoder.
#include "decoder_stream.h"
#include "ogg_vorbis_stream.h"
#include "stream_dispatch.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <memory>

using namespace testsupport;

namespace {

std::unique_ptr<sondrel::DecoderStream> openOgg(const std::string& path, int32_t& code) {
    std::unique_ptr<sondrel::DecoderStream> stream;
    code = sondrel::openStream(path.c_str(), 1, 1, stream);
    return stream;
}

std::vector<uint8_t> decodeRange(sondrel::DecoderStream& s, uint32_t first, uint32_t count,
                                 int32_t* codeOut = nullptr) {
    std::vector<uint8_t> out(size_t{count} * s.format().nBlockAlign);
    uint32_t got = 0;
    const int32_t code = s.Decode(first, count, out.data(), &got);
    if (codeOut != nullptr) {
        *codeOut = code;
    }
    EXPECT_LE(got, count);
    out.resize(size_t{got} * s.format().nBlockAlign);
    return out;
}

// Encodes a tone of exactly `samples` frames (a different pitch per channel) with oggenc; fails
// the test when the encoder fails.
void makeOgg(const std::string& out, int channels, uint32_t samples,
             const std::string& oggencArgs) {
    std::vector<uint8_t> pcm;
    pcm.reserve(size_t{samples} * channels * 2);
    for (uint32_t i = 0; i < samples; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double v = 12000.0 * std::sin(2 * M_PI * (440.0 + 110.0 * c) * i / 44100.0);
            const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(v)));
            pcm.push_back(static_cast<uint8_t>(s));
            pcm.push_back(static_cast<uint8_t>(s >> 8));
        }
    }
    const std::string wav = out + ".wav";
    writeFile(wav, makeWav(static_cast<uint16_t>(channels), 44100, 16, pcm));
    const auto enc = runCommand(std::string(MIRELDO_OGGENC_EXE) + " -Q " + oggencArgs + " -o " +
                                shellQuote(out) + " " + shellQuote(wav) + " 2>&1");
    ASSERT_EQ(enc.exitCode, 0) << enc.output;
}

class OggReader : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new TempDir();
        mono = dir->file("mono.ogg");
        stereo = dir->file("stereo.ogg");
        makeOgg(mono, 1, 44100, "-b 96");
        makeOgg(stereo, 2, 3 * 44100 + 123, "-q 4");
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static TempDir* dir;
    static std::string mono, stereo;
};
TempDir* OggReader::dir = nullptr;
std::string OggReader::mono, OggReader::stereo;

TEST_F(OggReader, MonoFileReportsLengthFrameSizeAndNominalBitRate) {
    int32_t code = -1;
    auto s = openOgg(mono, code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_EQ(s->lengthFrames(), 44100u);
    const WAVEFORMATEX& f = s->format();
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.nBlockAlign, 2);
    EXPECT_EQ(f.nAvgBytesPerSec, 96000u / 8); // oggenc -b 96 sets the nominal bit rate
    EXPECT_EQ(f.cbSize, 18);
    EXPECT_EQ(s->topic(), std::nullopt);
    EXPECT_EQ(s->imageCount(), 0);
    EXPECT_EQ(s->callRecord(), nullptr);
}

TEST_F(OggReader, WholeStreamMatchesOggdecBitForBit) {
    const std::string raw = dir->file("stereo.raw");
    const auto dec = runCommand(std::string(MIRELDO_OGGDEC_EXE) + " -Q -R -b 16 -e 0 -s 1 -o " +
                                shellQuote(raw) + " " + shellQuote(stereo) + " 2>&1");
    ASSERT_EQ(dec.exitCode, 0) << dec.output;
    const std::vector<uint8_t> expected = readFile(raw);
    ASSERT_EQ(expected.size(), size_t{3 * 44100 + 123} * 4);

    int32_t code = -1;
    auto s = openOgg(stereo, code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_EQ(s->lengthFrames(), 3u * 44100 + 123);
    // Pieces of an odd size, each continuing where the last stopped, the last one running short.
    std::vector<uint8_t> all;
    uint32_t at = 0;
    for (;;) {
        const auto piece = decodeRange(*s, at, 7001);
        all.insert(all.end(), piece.begin(), piece.end());
        at += static_cast<uint32_t>(piece.size() / 4);
        if (piece.size() < size_t{7001} * 4) {
            break;
        }
    }
    EXPECT_TRUE(all == expected) << "decoded " << all.size() << " bytes, oggdec "
                                 << expected.size();
    auto* ogg = dynamic_cast<sondrel::OggVorbisStream*>(s.get());
    ASSERT_NE(ogg, nullptr);
    EXPECT_EQ(ogg->seekCount(), 0u) << "consecutive ranges must not seek";
}

TEST_F(OggReader, SameRangeTwiceSeeksBackAndGivesTheSamePcm) {
    int32_t code = -1;
    auto s = openOgg(stereo, code);
    ASSERT_EQ(code, SONDREL_OK);
    auto* ogg = dynamic_cast<sondrel::OggVorbisStream*>(s.get());
    ASSERT_NE(ogg, nullptr);

    const auto first = decodeRange(*s, 50000, 4000);
    EXPECT_EQ(ogg->seekCount(), 1u);
    const auto again = decodeRange(*s, 50000, 4000);
    EXPECT_EQ(ogg->seekCount(), 2u);
    ASSERT_EQ(first.size(), size_t{4000} * 4);
    EXPECT_TRUE(first == again);

    // The seek lands on the same frame that reading from the start reaches.
    const auto head = decodeRange(*s, 0, 54000);
    ASSERT_EQ(head.size(), size_t{54000} * 4);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), head.begin() + 50000 * 4));
}

TEST_F(OggReader, RangesAtTheEnd) {
    int32_t code = -1;
    auto s = openOgg(mono, code);
    ASSERT_EQ(code, SONDREL_OK);
    // Past the end: the remaining frames and result 0.
    int32_t result = -1;
    EXPECT_EQ(decodeRange(*s, 44100 - 10, 100, &result).size(), 10u * 2);
    EXPECT_EQ(result, SONDREL_OK);
    // Continuing at the end yields nothing.
    EXPECT_TRUE(decodeRange(*s, 44100, 100, &result).empty());
    EXPECT_EQ(result, SONDREL_OK);
    // A seek beyond the end fails with 9 and leaves the stream usable.
    EXPECT_TRUE(decodeRange(*s, 44100 + 5000, 100, &result).empty());
    EXPECT_EQ(result, SONDREL_ERR_BEYOND_END);
    EXPECT_EQ(decodeRange(*s, 100, 100, &result).size(), 100u * 2);
    EXPECT_EQ(result, SONDREL_OK);
}

TEST_F(OggReader, RefusesWhatIsNotMonoOrStereoVorbis) {
    const std::string six = dir->file("six.ogg");
    makeOgg(six, 6, 4410, "");
    std::unique_ptr<sondrel::DecoderStream> s;
    EXPECT_EQ(sondrel::openStream(six.c_str(), 1, 1, s), SONDREL_ERR_UNSUPPORTED);

    // A WAV file named .ogg, and an Ogg file cut inside its headers.
    const std::string wav = dir->file("wav.ogg");
    writeFile(wav, makeWav(1, 8000, 16, patternBytes(800)));
    EXPECT_EQ(sondrel::openStream(wav.c_str(), 1, 1, s), SONDREL_ERR_UNSUPPORTED);
    auto bytes = readFile(mono);
    bytes.resize(200);
    const std::string cut = dir->file("cut.ogg");
    writeFile(cut, bytes);
    EXPECT_EQ(sondrel::openStream(cut.c_str(), 1, 1, s), SONDREL_ERR_UNSUPPORTED);
    EXPECT_EQ(s, nullptr);
}

// Opens path in a child process that runs without root's right to read everything, and
// returns the open code (or -1 when the child could not run).
int32_t openCodeAsUnprivileged(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(200);
        }
        std::unique_ptr<sondrel::DecoderStream> s;
        _exit(sondrel::openStream(path.c_str(), 1, 1, s));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 200) {
        return -1;
    }
    return WEXITSTATUS(status);
}

TEST_F(OggReader, EveryFailureToOpenTheFileIsCode3) {
    // A folder the process may not read.
    const std::string locked = dir->file("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0700), 0);
    const std::string inside = locked + "/song.ogg";
    writeFile(inside, readFile(mono));
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    EXPECT_EQ(openCodeAsUnprivileged(inside), SONDREL_ERR_OPEN);
    chmod(locked.c_str(), 0700);

    std::unique_ptr<sondrel::DecoderStream> s;
    EXPECT_EQ(sondrel::openStream(dir->file("missing.ogg").c_str(), 1, 1, s), SONDREL_ERR_OPEN);
    const std::string folder = dir->file("folder.ogg");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    EXPECT_EQ(sondrel::openStream(folder.c_str(), 1, 1, s), SONDREL_ERR_OPEN);
}

// CRC-32 of an Ogg page (polynomial 0x04C11DB7, no reflection, initial value 0).
uint32_t oggCrc(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    uint32_t crc = 0;
    for (size_t i = from; i < to; ++i) {
        crc ^= uint32_t{bytes[i]} << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
    }
    return crc;
}

TEST_F(OggReader, DecodeStopsAtTheLengthTheLastGranuleGives) {
    // The last page of a stream says where the PCM ends; here it ends long before what the page
    // holds decodes to.
    auto bytes = readFile(stereo);
    size_t last = 0;
    for (size_t at = 0; at + 27 <= bytes.size();) {
        ASSERT_EQ(std::memcmp(&bytes[at], "OggS", 4), 0);
        const size_t segments = bytes[at + 26];
        size_t size = 27 + segments;
        for (size_t i = 0; i < segments; ++i) {
            size += bytes[at + 27 + i];
        }
        last = at;
        at += size;
    }
    const uint64_t granule = 1000;
    for (int i = 0; i < 8; ++i) {
        bytes[last + 6 + i] = static_cast<uint8_t>(granule >> (8 * i));
    }
    std::memset(&bytes[last + 22], 0, 4);
    const uint32_t crc = oggCrc(bytes, last, bytes.size());
    for (int i = 0; i < 4; ++i) {
        bytes[last + 22 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    const std::string path = dir->file("short-granule.ogg");
    writeFile(path, bytes);

    int32_t code = -1;
    auto s = openOgg(path, code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t length = 0;
    s->GetLength(&length);
    ASSERT_EQ(length, 1000u);
    EXPECT_EQ(decodeRange(*s, 0, 200000, &code).size(), 1000u * 4);
    EXPECT_EQ(code, SONDREL_OK);
    EXPECT_EQ(decodeRange(*s, 990, 100).size(), 10u * 4);
    EXPECT_TRUE(decodeRange(*s, 1000, 100, &code).empty());
    EXPECT_EQ(code, SONDREL_OK);
}

} // namespace
