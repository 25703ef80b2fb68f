// The length scan's walk over plain frames against the header parser, for every header word.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "mpeg_frame_scan.h"
#include "mpeg_header.h"

namespace {

using sondrel::MpegFrameInfo;

struct Seen {
    std::size_t offset;
    uint32_t samples;
    uint32_t channels;
};

std::vector<Seen> walk(const std::vector<uint8_t>& bytes, std::size_t* stop,
                       std::size_t limit = 1000) {
    std::vector<Seen> seen;
    *stop = sondrel::walkPlainMpegFrames(bytes, 0,
                                         [&](std::size_t at, uint32_t samples, uint32_t channels) {
                                             seen.push_back({at, samples, channels});
                                             return seen.size() < limit;
                                         });
    return seen;
}

std::vector<uint8_t> frameBytes(uint8_t b1, uint8_t b2, uint8_t b3) {
    std::vector<uint8_t> bytes(200, 0);
    bytes[0] = 0xFF;
    bytes[1] = b1;
    bytes[2] = b2;
    bytes[3] = b3;
    return bytes;
}

TEST(MpegFrameScan, EveryHeaderWordStepsAsTheParserSays) {
    int plain = 0;
    for (int b1 = 0xE0; b1 <= 0xFF; ++b1) {
        for (int b2 = 0; b2 <= 0xFF; ++b2) {
            for (const int b3 : {0x00, 0x44, 0x80, 0xC0, 0xFF}) {
                const auto bytes = frameBytes(static_cast<uint8_t>(b1), static_cast<uint8_t>(b2),
                                              static_cast<uint8_t>(b3));
                MpegFrameInfo info;
                const bool parses =
                    sondrel::parseMpegFrameHeader(bytes, info) == sondrel::kMpegHeaderOk;
                std::size_t stop = 0;
                const auto seen = walk(bytes, &stop, 1);
                SCOPED_TRACE(::testing::Message()
                             << std::hex << "header FF " << b1 << " " << b2 << " " << b3);
                if (!parses) {
                    EXPECT_TRUE(seen.empty());
                    EXPECT_EQ(stop, 0u);
                    continue;
                }
                ++plain;
                ASSERT_EQ(seen.size(), 1u);
                EXPECT_EQ(seen[0].offset, 0u);
                EXPECT_EQ(seen[0].samples * seen[0].channels * 2,
                          static_cast<uint32_t>(info.outputBytes));
                EXPECT_EQ(seen[0].channels, static_cast<uint32_t>(info.channels));
                // Stopped by the limit: where the walk stood, at the frame.
                EXPECT_EQ(stop, 0u);
                // Let through: the next header is where the parser's stepping length says.
                std::vector<uint8_t> two(bytes);
                two.resize(static_cast<std::size_t>(sondrel::mpegSteppingLength(info)) + 200, 0);
                std::size_t next = 0;
                walk(two, &next);
                EXPECT_EQ(next, static_cast<std::size_t>(sondrel::mpegSteppingLength(info)));
            }
        }
    }
    EXPECT_GT(plain, 1000);
}

TEST(MpegFrameScan, TagFramesAndCutFramesAreLeftToTheGeneralStep) {
    // MPEG-1 layer III, 128 kbit/s, 44.1 kHz, stereo, no CRC: the tag sits after 4 + 32 bytes.
    const auto plain = frameBytes(0xFB, 0x90, 0x00);
    for (const char* name : {"Xing", "VBRI", "Info"}) {
        auto bytes = plain;
        std::memcpy(bytes.data() + 36, name, 4);
        std::size_t stop = 1;
        const auto seen = walk(bytes, &stop);
        const bool isPlain = std::strcmp(name, "Info") == 0; // "Info" changes no field
        EXPECT_EQ(seen.size(), isPlain ? 1u : 0u) << name;
        EXPECT_EQ(stop, isPlain ? 417u : 0u) << name;
    }
    // Mono: the side information is 17 bytes, the tag after 4 + 17.
    auto mono = frameBytes(0xFB, 0x90, 0xC0);
    std::memcpy(mono.data() + 21, "Xing", 4);
    std::size_t stop = 1;
    EXPECT_TRUE(walk(mono, &stop).empty());

    // A header whose probe bytes run past the end is not walked.
    auto cut = plain;
    cut.resize(sondrel::kMpegScanProbe - 1);
    EXPECT_TRUE(walk(cut, &stop).empty());
    EXPECT_EQ(stop, 0u);
}

TEST(MpegFrameScan, AnythingButAHeaderEndsTheWalkWhereItIs) {
    // Three frames of 417 bytes, then a byte of garbage.
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 3; ++i) {
        auto frame = frameBytes(0xFB, 0x90, 0x00);
        frame.resize(417, 0x55);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    bytes.push_back(0x12);
    const auto tail = frameBytes(0xFB, 0x90, 0x00);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    std::size_t stop = 0;
    const auto seen = walk(bytes, &stop);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].offset, 834u);
    EXPECT_EQ(stop, 1251u);
}

} // namespace
