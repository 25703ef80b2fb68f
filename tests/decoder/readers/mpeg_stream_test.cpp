// The MPEG stream reader on files made at test time by lame, twolame and sox, with mpg123 as the
// reference decoder.
#include "mpeg_audio_stream.h"
#include "sondrel_test_util.h"
#include "stream_dispatch.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

using namespace testsupport;

namespace {

struct Made {
    std::string path;
    uint32_t samplesPerFrame;
};

class MpegStream : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        const std::string sox = MIRELDO_SOX_EXE;
        run(sox + " -n -r 44100 -c 2 -b 16 " + q("st.wav") + " synth 2.5 sine 440 sine 1250");
        run(sox + " -n -r 44100 -c 1 -b 16 " + q("mono.wav") + " synth 2 sine 523");
        run(sox + " -n -r 22050 -c 2 -b 16 " + q("st22.wav") + " synth 2 sine 330 sine 990");
        run(sox + " -n -r 8000 -c 1 -b 16 " + q("m8.wav") + " synth 2 sine 200");
        run(sox + " -n -r 11025 -c 1 -b 16 " + q("m11.wav") + " synth 1 sine 200");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string file(const std::string& name) { return dir_->file(name); }
    static std::string q(const std::string& name) { return shellQuote(file(name)); }
    static void run(const std::string& command) {
        const auto r = runCommand(command + " 2>&1");
        ASSERT_EQ(r.exitCode, 0) << command << "\n" << r.output;
    }
    // Encodes `source` with lame (cached by output name).
    static std::string lame(const std::string& out, const std::string& args,
                            const std::string& source = "st.wav") {
        if (!std::filesystem::exists(file(out))) {
            run(std::string(MIRELDO_LAME_EXE) + " --quiet " + args + " " + q(source) + " " +
                q(out));
        }
        return file(out);
    }

    static std::unique_ptr<sondrel::DecoderStream> open(const std::string& path,
                                                        int32_t expected = SONDREL_OK) {
        std::unique_ptr<sondrel::DecoderStream> s;
        EXPECT_EQ(sondrel::openStream(path.c_str(), 1, 1, s), expected) << path;
        return s;
    }
    static uint32_t length(sondrel::DecoderStream& s) {
        uint32_t n = 0;
        s.GetLength(&n);
        return n;
    }
    static std::vector<int16_t> decode(sondrel::DecoderStream& s, uint32_t first, uint32_t count) {
        WAVEFORMATEX* f = nullptr;
        s.GetFormat(&f);
        const uint32_t channels = f->nChannels;
        std::vector<int16_t> out(size_t{count} * channels);
        uint32_t got = 0;
        EXPECT_EQ(s.Decode(first, count, out.data(), &got), SONDREL_OK);
        out.resize(size_t{got} * channels);
        return out;
    }
    static std::vector<int16_t> decodeAll(const std::string& path) {
        auto s = open(path);
        if (!s) {
            return {};
        }
        EXPECT_EQ(s->BeginDecode(), SONDREL_OK);
        return decode(*s, 0, length(*s));
    }

    static TempDir* dir_;
};
TempDir* MpegStream::dir_ = nullptr;

std::vector<uint8_t> withoutFirstFrameTagFlags(std::vector<uint8_t> bytes) {
    for (size_t i = 0; i + 8 < bytes.size() && i < 200; ++i) {
        if (std::memcmp(&bytes[i], "Info", 4) == 0 || std::memcmp(&bytes[i], "Xing", 4) == 0) {
            bytes[i + 4] = bytes[i + 5] = bytes[i + 6] = bytes[i + 7] = 0;
            return bytes;
        }
    }
    ADD_FAILURE() << "no Info or Xing tag in the first frame";
    return bytes;
}

TEST_F(MpegStream, GarbageBeforeTheFirstFrameIsSkipped) {
    const auto clean = readFile(lame("cbr128.mp3", "-b 128"));
    std::vector<uint8_t> bytes(100, 0x11);
    bytes[10] = 0xFF; // a lone sync byte that is no header
    bytes.insert(bytes.end(), clean.begin(), clean.end());
    writeFile(file("garbage.mp3"), bytes);
    EXPECT_EQ(decodeAll(file("garbage.mp3")), decodeAll(file("cbr128.mp3")));
}

TEST_F(MpegStream, TagsAtEitherEndAreNeverTakenForFrames) {
    const auto clean = readFile(lame("cbr128.mp3", "-b 128"));
    auto s = open(file("cbr128.mp3"));
    const uint32_t cleanLength = length(*s);

    // An ID3v1 tag full of bytes that look like frame headers.
    std::vector<uint8_t> v1 = clean;
    putBytes(v1, "TAG");
    for (int i = 0; i < 125; ++i) {
        v1.push_back(i % 4 == 0 ? 0xFF : (i % 4 == 1 ? 0xFB : 0x90));
    }
    writeFile(file("v1.mp3"), v1);
    EXPECT_EQ(length(*open(file("v1.mp3"))), cleanLength);

    // A large ID3v2.3 tag with a picture-like body, footer flag set.
    std::vector<uint8_t> v2;
    putBytes(v2, "ID3");
    const uint32_t body = 200000;
    v2.insert(v2.end(), {3, 0, 0x10});
    for (int shift : {21, 14, 7, 0}) {
        v2.push_back(static_cast<uint8_t>((body >> shift) & 0x7F));
    }
    for (uint32_t i = 0; i < body + 10; ++i) {
        v2.push_back(i % 3 == 0 ? 0xFF : 0xFB);
    }
    v2.insert(v2.end(), clean.begin(), clean.end());
    writeFile(file("v2.mp3"), v2);
    EXPECT_EQ(decodeAll(file("v2.mp3")), decodeAll(file("cbr128.mp3")));
    uint32_t rate = 0;
    EXPECT_EQ(sondrel::getMp3SampleRate(file("v2.mp3").c_str(), &rate), SONDREL_OK);
    EXPECT_EQ(rate, 44100u);
}

TEST_F(MpegStream, RiffWrapperHeadersAreSkipped) {
    const auto clean = readFile(lame("cbr128.mp3", "-b 128"));
    std::vector<uint8_t> riff;
    putBytes(riff, "RIFF");
    putU32(riff, 0);
    putBytes(riff, "WAVEfmt ");
    putU32(riff, 30);
    // A 30-byte format chunk whose bytes would pass for a frame header.
    for (int i = 0; i < 30; ++i) {
        riff.push_back(i % 2 == 0 ? 0xFF : 0xFB);
    }
    putBytes(riff, "fact");
    putU32(riff, 4);
    putU32(riff, 0);
    putBytes(riff, "data");
    putU32(riff, static_cast<uint32_t>(clean.size()));
    ASSERT_EQ(riff.size(), 70u);
    EXPECT_EQ(sondrel::mpegSearchStart(riff), 70u);
    riff.insert(riff.end(), clean.begin(), clean.end());
    writeFile(file("riff.mp3"), riff);
    EXPECT_EQ(decodeAll(file("riff.mp3")), decodeAll(file("cbr128.mp3")));
}

TEST_F(MpegStream, ATaggedFirstFrameCountsUnlessItsFlagsAreBad) {
    // A variable-rate file starts with a "Xing" frame.
    const std::string path = lame("vbr.mp3", "-V 2");
    auto tagged = open(path);
    WAVEFORMATEX* f = nullptr;
    tagged->GetFormat(&f);
    EXPECT_EQ(f->nAvgBytesPerSec, 0u) << "a tagged first frame reports no bit rate";
    SeekIndexEntry first{};
    uint32_t count = 0;
    tagged->ExtractIndex(&count, &first);
    EXPECT_EQ(first.byteOffset, 0u);
    EXPECT_EQ(first.framePosition, 0u);

    // With neither low flag bit set the tag frame is refused and the first entry lies beyond it.
    writeFile(file("badtag.mp3"), withoutFirstFrameTagFlags(readFile(path)));
    auto s = open(file("badtag.mp3"));
    s->GetFormat(&f);
    EXPECT_GT(f->nAvgBytesPerSec, 0u) << "the first accepted frame is a real one";
    std::vector<SeekIndexEntry> entries(4);
    s->ExtractIndex(&count, entries.data());
    EXPECT_GT(entries[0].byteOffset, 0u);
}

TEST_F(MpegStream, SeekIndexSizeFollowsThePayload) {
    // Frames of a constant-rate file repeated: a stereo payload of more than 1024 x 20480 x 2
    // bytes must not get more than 1024 entries.
    const auto clean = readFile(lame("cbr320.mp3", "-b 320"));
    std::vector<uint8_t> big;
    big.reserve(44u << 20);
    while (big.size() < 1024u * 20480u * 2u + 1000000u) {
        big.insert(big.end(), clean.begin(), clean.end());
    }
    writeFile(file("big.mp3"), big);
    auto s = open(file("big.mp3"));
    uint32_t count = 0;
    s->ExtractIndex(&count, nullptr);
    // Whole frames never land exactly on the step, so slightly fewer entries than the limit.
    EXPECT_LE(count, 1024u);
    EXPECT_GT(count, 1000u);
    std::vector<SeekIndexEntry> entries(count);
    s->ExtractIndex(&count, entries.data());
    for (size_t i = 1; i < entries.size(); ++i) {
        ASSERT_GT(entries[i].framePosition, entries[i - 1].framePosition);
        ASSERT_GT(entries[i].byteOffset, entries[i - 1].byteOffset);
    }
    std::filesystem::remove(file("big.mp3"));

    auto small = open(lame("cbr32.mp3", "-b 32", "mono.wav"));
    small->ExtractIndex(&count, nullptr);
    EXPECT_EQ(count, 1u);
}

TEST_F(MpegStream, ContinuingAcrossAFrameBoundaryDecodesEachFrameOnce) {
    std::unique_ptr<sondrel::DecoderStream> s = open(lame("cbr128.mp3", "-b 128"));
    auto& mpeg = dynamic_cast<sondrel::MpegAudioStream&>(*s);
    ASSERT_EQ(s->BeginDecode(), SONDREL_OK);
    EXPECT_EQ(decode(*s, 1151, 1).size(), 2u);
    EXPECT_EQ(mpeg.decodedFrameCount(), 1152u);
    EXPECT_EQ(decode(*s, 1152, 1).size(), 2u);
    EXPECT_EQ(mpeg.decodedFrameCount(), 2304u);
}

TEST_F(MpegStream, DecodeEdgesAndPreparation) {
    std::unique_ptr<sondrel::DecoderStream> s = open(lame("cbr128.mp3", "-b 128"));
    std::vector<int16_t> buffer(4096);
    uint32_t got = 7;
    EXPECT_NE(s->Decode(0, 10, buffer.data(), &got), SONDREL_OK) << "not prepared";
    EXPECT_EQ(got, 0u);
    ASSERT_EQ(s->BeginDecode(), SONDREL_OK);
    const uint32_t n = length(*s);
    EXPECT_EQ(s->Decode(n, 10, buffer.data(), &got), SONDREL_ERR_BEYOND_END);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(s->Decode(n - 4, 1000, buffer.data(), &got), SONDREL_OK);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(s->EndDecode(), SONDREL_OK);
    EXPECT_EQ(s->BeginDecode(), SONDREL_OK) << "a stream may be prepared again";
    EXPECT_EQ(s->Decode(0, 10, buffer.data(), &got), SONDREL_OK);
    EXPECT_EQ(got, 10u);
}

TEST_F(MpegStream, AnyRangeEqualsTheSameRangeOfOneWholeDecode) {
    std::mt19937 random(1234);
    // Layer II keeps no state across frames beyond the filter bank: ranges are exact after the
    // first frame. Layer III also carries the bit reservoir and the overlap, so the frame a seek
    // lands in and the next two may differ (the reservoir reaches back up to two frames, then the
    // overlap of a silent granule fades out); from the third frame on the output is exact.
    run(std::string(MIRELDO_TWOLAME_EXE) + " --quiet -b 192 " + q("st.wav") + " " + q("l2.mp2"));
    for (const auto& [path, settle] : std::vector<std::pair<std::string, uint32_t>>{
             {file("l2.mp2"), 1152}, {lame("cbr128.mp3", "-b 128"), 3 * 1152}}) {
        const auto whole = decodeAll(path);
        auto s = open(path);
        ASSERT_EQ(s->BeginDecode(), SONDREL_OK);
        const uint32_t n = length(*s);
        for (int trial = 0; trial < 25; ++trial) {
            const auto first = static_cast<uint32_t>(random() % n);
            const auto count = static_cast<uint32_t>(1 + random() % 5000);
            const auto part = decode(*s, first, count);
            const uint32_t got = static_cast<uint32_t>(part.size() / 2);
            ASSERT_EQ(got, std::min(count, n - first));
            // Exact from the start of the frame `settle` samples after the one holding `first`.
            const uint32_t exactFrom = (first / 1152) * 1152 + settle;
            for (uint32_t i = 0; i < got; ++i) {
                if (first + i >= exactFrom) {
                    ASSERT_EQ(part[2 * i], whole[2 * (first + i)])
                        << path << " frame " << first + i << " after seeking to " << first;
                    ASSERT_EQ(part[2 * i + 1], whole[2 * (first + i) + 1]);
                }
            }
            // Continuing where the last call stopped never seeks, so it is exact at once.
            const auto next = decode(*s, first + got, 700);
            for (size_t i = 0; i < next.size() && first + got >= exactFrom; ++i) {
                ASSERT_EQ(next[i], whole[2 * size_t{first + got} + i]);
            }
        }
    }
}

TEST_F(MpegStream, SampleRateOfMpeg25Files) {
    uint32_t rate = 0;
    EXPECT_EQ(sondrel::getMp3SampleRate(lame("m8.mp3", "-b 16", "m8.wav").c_str(), &rate),
              SONDREL_OK);
    EXPECT_EQ(rate, 8000u);
    EXPECT_EQ(sondrel::getMp3SampleRate(lame("m11.mp3", "-b 16", "m11.wav").c_str(), &rate),
              SONDREL_OK);
    EXPECT_EQ(rate, 11025u);
    EXPECT_EQ(sondrel::getMp3SampleRate(file("none.mp3").c_str(), &rate), SONDREL_ERR_NOT_FOUND);
    writeFile(file("noise.mp3"), patternBytes(3000));
    // Random bytes hold no 0xFF 0xE?/0xF? pair with a usable header often enough to matter;
    // whatever is found, the answer is a code, never a crash.
    const int32_t code = sondrel::getMp3SampleRate(file("noise.mp3").c_str(), &rate);
    EXPECT_TRUE(code == SONDREL_OK || code == SONDREL_ERR_NO_SYNC) << code;
    writeFile(file("zeros.mp3"), std::vector<uint8_t>(1000, 0));
    EXPECT_EQ(sondrel::getMp3SampleRate(file("zeros.mp3").c_str(), &rate), SONDREL_ERR_NO_SYNC);
    EXPECT_EQ(open(file("zeros.mp3"), SONDREL_ERR_NO_SYNC), nullptr);
    writeFile(file("empty.mp3"), {});
    EXPECT_EQ(open(file("empty.mp3"), SONDREL_ERR_MAPPING), nullptr);
}

// Samples from `first` on equal the whole decode from the start of the frame `settleFrames` frames
// after the one holding `first` (frames of `frameSamples` samples per channel).
void expectExactAfterSettling(const std::vector<int16_t>& part, const std::vector<int16_t>& whole,
                              uint32_t first, uint32_t channels, uint32_t frameSamples,
                              uint32_t settleFrames, const std::string& what) {
    const uint32_t exactFrom = (first / frameSamples + settleFrames) * frameSamples;
    const size_t frames = part.size() / channels;
    for (size_t i = 0; i < frames; ++i) {
        if (first + i < exactFrom) {
            continue;
        }
        for (uint32_t c = 0; c < channels; ++c) {
            ASSERT_EQ(part[i * channels + c], whole[(first + i) * channels + c])
                << what << ": frame " << first + i << " after seeking to " << first;
        }
    }
}

TEST_F(MpegStream, EndThenBeginKeepsTheFrameNumbering) {
    // As the player does between two items: stop preparing, prepare again, go on where it was.
    for (const auto& [path, frameSamples, settle] :
         std::vector<std::tuple<std::string, uint32_t, uint32_t>>{
             {lame("cbr128.mp3", "-b 128"), 1152, 3},
             {lame("mpeg2mono.mp3", "-b 32 -m m", "st22.wav"), 576, 5}}) {
        const auto whole = decodeAll(path);
        auto s = open(path);
        WAVEFORMATEX* f = nullptr;
        s->GetFormat(&f);
        ASSERT_EQ(s->BeginDecode(), SONDREL_OK);
        const uint32_t stop = 1000 + 3 * frameSamples;
        ASSERT_EQ(decode(*s, 0, stop).size(), size_t{stop} * f->nChannels);
        ASSERT_EQ(s->EndDecode(), SONDREL_OK);
        ASSERT_EQ(s->BeginDecode(), SONDREL_OK);
        const auto rest = decode(*s, stop, 20000);
        ASSERT_EQ(rest.size(), size_t{20000} * f->nChannels);
        expectExactAfterSettling(rest, whole, stop, f->nChannels, frameSamples, settle, path);
        // Begin on a prepared stream starts the decoder afresh in the same way.
        ASSERT_EQ(s->BeginDecode(), SONDREL_OK);
        const auto more = decode(*s, stop + 20000, 20000);
        expectExactAfterSettling(more, whole, stop + 20000, f->nChannels, frameSamples, settle,
                                 path);
    }
}

TEST_F(MpegStream, SeekBoundPerLayerAndVersion) {
    // After a seek the decoder starts without the state the frames before carry. Layer II keeps
    // none beyond the filter bank: exact from the next frame. Layer III also needs the bit
    // reservoir, which reaches back up to 511 bytes of main data (MPEG-1) or 255 (MPEG-2 and
    // 2.5): with r frames to cover that reach, an MPEG-1 frame (two granules) is exact from
    // frame r + 1 after the one holding the target, an MPEG-2 or 2.5 frame (one granule, so the
    // overlap and the filter bank settle a frame later) from frame r + 2.
    run(std::string(MIRELDO_TWOLAME_EXE) + " --quiet -b 192 " + q("st.wav") + " " + q("l2.mp2"));
    struct Bound {
        std::string path;
        uint32_t frameSamples;
        uint32_t settle;
    };
    std::mt19937 random(99);
    for (const Bound& b : {Bound{file("l2.mp2"), 1152, 1},
                           // 417-byte frames, 381 of main data: r = 2.
                           Bound{lame("cbr128.mp3", "-b 128"), 1152, 3},
                           // 104-byte mono frames, 83 of main data: r = 7.
                           Bound{lame("cbr32.mp3", "-b 32", "mono.wav"), 1152, 8},
                           // 208-byte frames, 187 of main data: r = 2, the fourth frame.
                           Bound{lame("mpeg2.mp3", "-b 64", "st22.wav"), 576, 4},
                           // 144-byte frames, 131 of main data: r = 2.
                           Bound{lame("mpeg25.mp3", "-b 16", "m8.wav"), 576, 4},
                           // 104-byte frames, 91 of main data: r = 3.
                           Bound{lame("mpeg2mono.mp3", "-b 32 -m m", "st22.wav"), 576, 5}}) {
        const auto whole = decodeAll(b.path);
        auto s = open(b.path);
        WAVEFORMATEX* f = nullptr;
        s->GetFormat(&f);
        ASSERT_EQ(s->BeginDecode(), SONDREL_OK);
        const uint32_t n = length(*s);
        for (int trial = 0; trial < 40; ++trial) {
            const auto first = static_cast<uint32_t>(random() % n);
            const auto part = decode(*s, first, static_cast<uint32_t>(1 + random() % 6000));
            expectExactAfterSettling(part, whole, first, f->nChannels, b.frameSamples, b.settle,
                                     b.path);
        }
    }
}

// Offset of every frame of an MPEG-1 layer III file without CRC, from its first byte.
std::vector<size_t> layer3Frames(const std::vector<uint8_t>& bytes) {
    static const int kbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                 112, 128, 160, 192, 224, 256, 320, 0};
    std::vector<size_t> frames;
    for (size_t at = 0; at + 4 <= bytes.size() && bytes[at] == 0xFF;) {
        frames.push_back(at);
        const size_t length =
            144000u * kbps[bytes[at + 2] >> 4] / 44100u + ((bytes[at + 2] >> 1) & 1);
        if (length == 0) {
            break;
        }
        at += length;
    }
    return frames;
}

TEST_F(MpegStream, ATagFrameNeverServesAsMainData) {
    // An encoder's tag frame ("Info" on a constant-rate file, "Xing" on a variable-rate one)
    // followed by an audio frame that reaches back into the bit reservoir: nothing before that
    // frame is audio, so it decodes to silence, never to noise made of the tag frame's bytes.
    for (const std::string args : {"-b 128", "-V 2"}) {
        const auto bytes = readFile(lame(args == "-b 128" ? "cbr128.mp3" : "vbr.mp3", args));
        const auto frames = layer3Frames(bytes);
        ASSERT_GT(frames.size(), 20u);
        size_t reaching = 0;
        for (size_t i = 2; i + 1 < frames.size() && reaching == 0; ++i) {
            const size_t at = frames[i];
            const int mainDataBegin = (bytes[at + 4] << 1) | (bytes[at + 5] >> 7);
            if (mainDataBegin > 0) {
                reaching = i;
            }
        }
        ASSERT_GT(reaching, 0u);
        // The tag frame with arbitrary bytes after its tag, where a reservoir would hold data.
        std::vector<uint8_t> crafted(bytes.begin(), bytes.begin() + static_cast<long>(frames[1]));
        // (never 0xFF, so that no frame header hides in them).
        for (size_t i = 200; i < crafted.size(); ++i) {
            crafted[i] = static_cast<uint8_t>((i * 37 + 11) % 255);
        }
        crafted.insert(crafted.end(), bytes.begin() + static_cast<long>(frames[reaching]),
                       bytes.end());
        const std::string path = file("tag-then-reach" + std::to_string(crafted.size()) + ".mp3");
        writeFile(path, crafted);

        auto s = open(path);
        auto whole = open(file(args == "-b 128" ? "cbr128.mp3" : "vbr.mp3"));
        WAVEFORMATEX* f = nullptr;
        WAVEFORMATEX* wf = nullptr;
        s->GetFormat(&f);
        whole->GetFormat(&wf);
        EXPECT_EQ(f->nAvgBytesPerSec, wf->nAvgBytesPerSec) << "the bit rate shown stays";
        EXPECT_EQ(length(*s), (frames.size() - reaching + 1) * 1152) << "the tag frame counts";
        const auto pcm = decodeAll(path);
        ASSERT_GE(pcm.size(), 2u * 2304);
        for (size_t i = 0; i < 2u * 2304; ++i) {
            ASSERT_EQ(pcm[i], 0) << args << ": sample " << i / 2
                                 << " of the tag frame or the frame reaching back over it";
        }
    }
}

TEST_F(MpegStream, AFileHoldingOnlyAnId3v1TagHasNoFrame) {
    std::vector<uint8_t> tag;
    putBytes(tag, "TAG");
    tag.resize(128, 0x20);
    writeFile(file("only-tag.mp3"), tag);
    EXPECT_EQ(open(file("only-tag.mp3"), SONDREL_ERR_NO_SYNC), nullptr);
    uint32_t rate = 0;
    EXPECT_EQ(sondrel::getMp3SampleRate(file("only-tag.mp3").c_str(), &rate), SONDREL_ERR_NO_SYNC);
}

// Length and PCM against mpg123 for the kinds of file encoders make.
struct Case {
    const char* name;
    const char* args;
    const char* source;
};

class MpegInterop : public MpegStream, public ::testing::WithParamInterface<Case> {};

double psnr(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t offset,
            int* maxDiff) {
    double se = 0;
    size_t n = std::min(a.size() - std::min(offset, a.size()), b.size());
    *maxDiff = 0;
    for (size_t i = 0; i < n; ++i) {
        const int d = a[offset + i] - b[i];
        se += double(d) * d;
        *maxDiff = std::max(*maxDiff, std::abs(d));
    }
    return se == 0 ? 200.0 : 10 * std::log10(32767.0 * 32767.0 * double(n) / se);
}

TEST_P(MpegInterop, LengthAndPcmMatchTheReferenceDecoder) {
    const Case c = GetParam();
    std::string path = file(c.name);
    if (std::string(c.args).rfind("twolame", 0) == 0) {
        run(std::string(MIRELDO_TWOLAME_EXE) + " --quiet" + (c.args + 7) + " " + q(c.source) + " " +
            shellQuote(path));
    } else {
        lame(c.name, c.args, c.source);
    }
    const auto ours = decodeAll(path);
    auto s = open(path);
    WAVEFORMATEX* f = nullptr;
    s->GetFormat(&f);

    run(std::string(MIRELDO_MPG123_EXE) + " -q --no-gapless -s " + shellQuote(path) + " > " +
        q(std::string(c.name) + ".raw"));
    const auto raw = readFile(file(std::string(c.name) + ".raw"));
    std::vector<int16_t> ref(raw.size() / 2);
    std::memcpy(ref.data(), raw.data(), ref.size() * 2);

    // The reference skips the encoder's Info/Xing frame; we count it as a frame of silence.
    const auto bytes = readFile(path);
    const std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 200));
    const bool tagged =
        head.find("Info") != std::string::npos || head.find("Xing") != std::string::npos;
    uint32_t samplesPerFrame = f->nSamplesPerSec >= 32000 ? 1152 : 576;
    if (!tagged) {
        samplesPerFrame = 0;
    }
    const uint32_t n = length(*s);
    EXPECT_EQ(size_t{n} * f->nChannels, ref.size() + size_t{samplesPerFrame} * f->nChannels)
        << c.name;
    int maxDiff = 0;
    const double db = psnr(ours, ref, size_t{samplesPerFrame} * f->nChannels, &maxDiff);
    std::printf("%-14s PSNR %.1f dB, max diff %d\n", c.name, db, maxDiff);
    EXPECT_GE(db, 90.0) << c.name << " must reach 90 dB against the reference";
    EXPECT_LE(maxDiff, 2) << c.name << " must stay within 2 LSB of the reference";
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, MpegInterop,
    ::testing::Values(Case{"cbr32.mp3", "-b 32", "mono.wav"}, Case{"cbr64.mp3", "-b 64", "st.wav"},
                      Case{"cbr128.mp3", "-b 128", "st.wav"},
                      Case{"cbr320.mp3", "-b 320", "st.wav"}, Case{"vbr.mp3", "-V 2", "st.wav"},
                      Case{"js.mp3", "-b 96 -m j", "st.wav"},
                      Case{"stereo.mp3", "-b 160 -m s", "st.wav"},
                      Case{"mpeg2.mp3", "-b 64", "st22.wav"}, Case{"mpeg25.mp3", "-b 16", "m8.wav"},
                      Case{"l2.mp2", "twolame -b 192", "st.wav"},
                      Case{"l2mono.mp2", "twolame -b 96 -m m", "mono.wav"}),
    [](const auto& paramInfo) {
        std::string name = paramInfo.param.name;
        for (auto& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return name;
    });

} // namespace
