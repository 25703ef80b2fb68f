// Decoder behaviour at its edges: frame sizes, short input, missing main data, clipping,
// hostile bytes, MPEG-2.5 against an outside decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "mpeg_audio_decoder.h"
#include "mpeg_test_util.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using sondrel::MpegAudioDecoder;
using sondrel::MpegDecodeRequest;
using sondrel::MpegFrameInfo;

fs::path vector(const std::string& name) {
    return fs::path(MIRELDO_VECTORS_DIR) / "mpeg" / name;
}

// Offsets of the frames of an elementary stream, found by stepping over frame lengths.
std::vector<std::size_t> frameOffsets(const std::vector<uint8_t>& bytes) {
    std::vector<std::size_t> offsets;
    std::size_t offset = 0;
    while (offset + sondrel::kMpegMinParseLength <= bytes.size()) {
        MpegFrameInfo info;
        const auto window = std::span<const uint8_t>(bytes).subspan(offset);
        if (bytes[offset] != 0xFF || sondrel::parseMpegFrameHeader(window, info) != 0) {
            ++offset;
            continue;
        }
        offsets.push_back(offset);
        offset += MpegAudioDecoder::FrameBytes(info);
    }
    return offsets;
}

struct FrameResult {
    int code = -1;
    MpegDecodeRequest request;
    std::vector<int16_t> pcm;
};

FrameResult decodeAt(MpegAudioDecoder& decoder, const std::vector<uint8_t>& bytes,
                     std::size_t offset, std::size_t inputLength = 0) {
    FrameResult r;
    const auto window = std::span<const uint8_t>(bytes).subspan(offset);
    EXPECT_EQ(decoder.ParseHeader(window, r.request.header, true), 0);
    if (inputLength == 0) {
        inputLength = MpegAudioDecoder::FrameBytes(r.request.header);
    }
    r.pcm.assign(1152 * 2, 0x5555); // a pattern the decoder must overwrite (or leave alone)
    r.request.input = window.first(inputLength);
    r.request.output = r.pcm;
    r.code = decoder.Decode(r.request);
    return r;
}

bool allZero(const std::vector<int16_t>& pcm, std::size_t count) {
    return std::all_of(pcm.begin(), pcm.begin() + static_cast<long>(count),
                       [](int16_t s) { return s == 0; });
}

TEST(MpegDecoderFrames, SamplesPerFrameFollowLayerVersionAndMode) {
    struct Case {
        const char* file;
        uint32_t bytes; // per frame
    };
    // Mono layer II (1152 samples), stereo MPEG-2 layer III (576 x 2), stereo layer I (384 x 2),
    // stereo MPEG-1 layer III (1152 x 2).
    const Case cases[] = {{"l2-fl13.bit", 1152 * 2},
                          {"l3-test45.bit", 576 * 2 * 2},
                          {"l1-fl1.bit", 384 * 2 * 2},
                          {"l3-sin1k0db.bit", 1152 * 2 * 2}};
    for (const Case& c : cases) {
        const auto bytes = mpeg_test::readFile(vector(c.file));
        const auto offsets = frameOffsets(bytes);
        ASSERT_GE(offsets.size(), 2u) << c.file;
        MpegAudioDecoder decoder;
        decoder.Reset();
        ASSERT_EQ(decoder.Init(std::span<const uint8_t>(bytes).subspan(offsets[0])), 0);
        const FrameResult r = decodeAt(decoder, bytes, offsets[0]);
        ASSERT_EQ(r.code, 0) << c.file;
        EXPECT_EQ(r.request.outputLength, c.bytes) << c.file;
        EXPECT_EQ(r.request.inputLength, offsets[1] - offsets[0]) << c.file;
        EXPECT_EQ(static_cast<uint32_t>(decoder.outputBytes()), c.bytes) << c.file;
    }
}

TEST(MpegDecoderFrames, InputOneByteShortIsRefusedWithoutOutput) {
    for (const char* file : {"l1-fl1.bit", "l2-fl10.bit", "l3-compl.bit", "M2L3_compl24.bit"}) {
        const auto bytes = mpeg_test::readFile(vector(file));
        const auto offsets = frameOffsets(bytes);
        ASSERT_FALSE(offsets.empty()) << file;
        MpegAudioDecoder decoder;
        decoder.Reset();
        ASSERT_EQ(decoder.Init(std::span<const uint8_t>(bytes).subspan(offsets[0])), 0);
        MpegFrameInfo info;
        ASSERT_EQ(
            decoder.ParseHeader(std::span<const uint8_t>(bytes).subspan(offsets[0]), info, false),
            0);
        const uint32_t length = MpegAudioDecoder::FrameBytes(info);
        const FrameResult shortInput = decodeAt(decoder, bytes, offsets[0], length - 1);
        EXPECT_EQ(shortInput.code, 5) << file;
        EXPECT_EQ(shortInput.request.outputLength, 0u) << file;
        EXPECT_EQ(shortInput.request.inputLength, 0u) << file;
        EXPECT_TRUE(std::all_of(shortInput.pcm.begin(), shortInput.pcm.end(),
                                [](int16_t s) { return s == 0x5555; }))
            << file << ": output written for a refused frame";
        EXPECT_EQ(decodeAt(decoder, bytes, offsets[0], length).code, 0) << file;
    }
    // Four bytes or fewer are refused whatever the header says.
    MpegAudioDecoder decoder;
    std::vector<uint8_t> tiny = {0xFF, 0xFB, 0x10, 0x00};
    std::vector<int16_t> pcm(2304);
    MpegDecodeRequest request;
    tiny.resize(200, 0);
    ASSERT_EQ(decoder.ParseHeader(tiny, request.header, true), 0);
    request.input = std::span<const uint8_t>(tiny).first(4);
    request.output = pcm;
    EXPECT_EQ(decoder.Decode(request), 5);
}

TEST(MpegDecoderFrames, ParseHeaderOfDecoderUsesItsOwnLengthCode) {
    MpegAudioDecoder decoder;
    std::vector<uint8_t> bytes(155, 0);
    bytes[0] = 0xFF;
    bytes[1] = 0xFB;
    bytes[2] = 0x90;
    MpegFrameInfo info;
    EXPECT_EQ(decoder.ParseHeader(bytes, info, true), 5);
    bytes.push_back(0);
    EXPECT_EQ(decoder.ParseHeader(bytes, info, true), 0);
    EXPECT_EQ(decoder.sampleRate(), 44100);
}

TEST(MpegDecoderLayer3, FrameWhoseMainDataIsNotBufferedIsSilent) {
    const auto bytes = mpeg_test::readFile(vector("l3-sin1k0db.bit"));
    const auto offsets = frameOffsets(bytes);
    ASSERT_GE(offsets.size(), 20u);
    // Pick a frame in the middle whose main data begins in an earlier frame.
    std::size_t chosen = 0;
    for (std::size_t i = 10; i < offsets.size() && chosen == 0; ++i) {
        const std::size_t side = offsets[i] + 4 + ((bytes[offsets[i] + 1] & 1) ? 0 : 2);
        const int mainDataBegin = (bytes[side] << 1) | (bytes[side + 1] >> 7);
        if (mainDataBegin > 0) {
            chosen = i;
        }
    }
    ASSERT_NE(chosen, 0u) << "no frame reaches back";

    MpegAudioDecoder fresh;
    fresh.Reset();
    ASSERT_EQ(fresh.Init(std::span<const uint8_t>(bytes).subspan(offsets[chosen])), 0);
    const FrameResult first = decodeAt(fresh, bytes, offsets[chosen]);
    ASSERT_EQ(first.code, 0);
    EXPECT_EQ(first.request.outputLength, 1152u * 2 * 2);
    EXPECT_TRUE(allZero(first.pcm, first.request.outputLength / 2));
    // A few frames later the reach-back lies in buffered data and the stream sounds.
    bool sounded = false;
    for (std::size_t i = chosen + 1; i < chosen + 4 && i < offsets.size(); ++i) {
        const FrameResult later = decodeAt(fresh, bytes, offsets[i]);
        ASSERT_EQ(later.code, 0);
        sounded = sounded || !allZero(later.pcm, later.request.outputLength / 2);
    }
    EXPECT_TRUE(sounded);

    // Decoded in sequence, the same frame is not silent.
    MpegAudioDecoder sequential;
    sequential.Reset();
    ASSERT_EQ(sequential.Init(std::span<const uint8_t>(bytes).subspan(offsets[0])), 0);
    FrameResult r;
    for (std::size_t i = 0; i <= chosen; ++i) {
        r = decodeAt(sequential, bytes, offsets[i]);
    }
    EXPECT_FALSE(allZero(r.pcm, r.request.outputLength / 2));

    // Reset forgets the buffered main data: the frame is silent again.
    sequential.Reset();
    ASSERT_EQ(sequential.Init(std::span<const uint8_t>(bytes).subspan(offsets[chosen])), 0);
    EXPECT_TRUE(allZero(decodeAt(sequential, bytes, offsets[chosen]).pcm, 1152 * 2));
}

// Runs an outside tool; skips nothing: a failing tool fails the test.
void run(const std::string& command) {
    const testsupport::CommandResult result = testsupport::runCommand(command + " 2>/dev/null");
    ASSERT_EQ(result.exitCode, 0) << command;
}

TEST(MpegDecoderLayer3, FullScaleSineClipsWithoutWrapping) {
    testsupport::TempDir dir;
    const std::string wav = dir.file("sine.wav");
    const std::string mp3 = dir.file("sine.mp3");
    // A 1 kHz sine at full scale, coded 30 % louder than the 16-bit range can hold: the
    // decoder's output must saturate at both limits.
    run(testsupport::shellQuote(MIRELDO_SOX_EXE) + " -n -r 44100 -c 1 -b 16 " +
        testsupport::shellQuote(wav) + " synth 2 sine 1000 gain -0.01");
    run(testsupport::shellQuote(MIRELDO_LAME_EXE) + " --quiet --scale 1.3 -b 128 -m m " +
        testsupport::shellQuote(wav) + " " + testsupport::shellQuote(mp3));
    const auto decoded = mpeg_test::decodeStream(testsupport::readFile(mp3));
    ASSERT_GT(decoded.frames, 50);
    const auto& s = decoded.samples;
    EXPECT_EQ(*std::max_element(s.begin(), s.end()), 32767);
    EXPECT_EQ(*std::min_element(s.begin(), s.end()), -32768);
    // A wrapped sample would jump by about 65536; a 1 kHz sine moves at most ~4700 per sample.
    int largestStep = 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
        largestStep = std::max(largestStep, std::abs(s[i] - s[i - 1]));
    }
    EXPECT_LT(largestStep, 8000);
}

TEST(MpegDecoderLayer3, Mpeg25MatchesOutsideDecoder) {
    testsupport::TempDir dir;
    for (const char* rate : {"8000", "11025", "12000"}) {
        const std::string wav = dir.file(std::string("in") + rate + ".wav");
        const std::string mp3 = dir.file(std::string("in") + rate + ".mp3");
        const std::string raw = dir.file(std::string("out") + rate + ".raw");
        run(testsupport::shellQuote(MIRELDO_SOX_EXE) + " -n -r " + rate + " -c 2 -b 16 " +
            testsupport::shellQuote(wav) + " synth 2 sine 300 sine 1100 gain -6");
        run(testsupport::shellQuote(MIRELDO_LAME_EXE) + " --quiet -b 32 " +
            testsupport::shellQuote(wav) + " " + testsupport::shellQuote(mp3));
        run(testsupport::shellQuote(MIRELDO_MPG123_EXE) + " -q --no-gapless -s " +
            testsupport::shellQuote(mp3) + " > " + testsupport::shellQuote(raw));
        const auto decoded = mpeg_test::decodeStream(testsupport::readFile(mp3));
        ASSERT_EQ(decoded.sampleRate, std::atoi(rate));
        const auto reference = mpeg_test::readPcm(raw);
        const auto c = mpeg_test::compareAligned(
            decoded.samples, reference,
            static_cast<std::size_t>(decoded.samplesPerFrame * decoded.channels), 2);
        EXPECT_GE(c.psnr, 85.0) << rate << " Hz: PSNR " << c.psnr << " max diff " << c.maxDiff;
        EXPECT_LE(c.maxDiff, 3) << rate << " Hz";
    }
}

TEST(MpegDecoderHostile, GarbageAfterValidHeadersDecodes) {
    // Every layer and version, random payloads: decoding must stay in bounds (checked by the
    // sanitizer build) and still report a whole frame.
    const uint8_t headers[][4] = {{0xFF, 0xFF, 0x90, 0x00}, {0xFF, 0xFD, 0x90, 0x40},
                                  {0xFF, 0xFB, 0x90, 0x40}, {0xFF, 0xFB, 0xE0, 0x70},
                                  {0xFF, 0xF3, 0x90, 0x50}, {0xFF, 0xE3, 0x88, 0xC0},
                                  {0xFF, 0xF5, 0x40, 0x00}, {0xFF, 0xF7, 0xA0, 0x30}};
    std::mt19937 random(42);
    MpegAudioDecoder decoder;
    decoder.Reset();
    std::vector<int16_t> pcm(2304);
    for (const auto& header : headers) {
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> frame(1500);
            for (auto& b : frame) {
                b = static_cast<uint8_t>(random());
            }
            std::copy(header, header + 4, frame.begin());
            MpegDecodeRequest request;
            ASSERT_EQ(decoder.ParseHeader(frame, request.header, true), 0);
            if (round == 0) {
                ASSERT_EQ(decoder.Init(frame), 0);
            }
            const uint32_t length = MpegAudioDecoder::FrameBytes(request.header);
            request.input = std::span<const uint8_t>(frame).first(length);
            request.output = pcm;
            ASSERT_EQ(decoder.Decode(request), 0);
            EXPECT_EQ(request.inputLength, length);
            EXPECT_EQ(static_cast<int>(request.outputLength), request.header.outputBytes);
        }
    }
}

} // namespace
