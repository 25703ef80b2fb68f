#include "wav_header.h"

#include <gtest/gtest.h>

#include <vector>

using namespace mireldo::common;

namespace {

WavFormat stereo16() {
    WavFormat f;
    f.channels = 2;
    f.sampleRate = 44100;
    f.blockAlign = 4;
    f.bitsPerSample = 16;
    return f;
}

} // namespace

TEST(WavHeader, CanonicalBytes) {
    const auto h = makeWavHeader(stereo16(), 1000);
    const std::vector<std::uint8_t> expected = {
        'R',  'I', 'F', 'F', 0x0C, 0x04, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
        ' ',  16,  0,   0,   0,    1,    0,   2,   0,   0x44, 0xAC, 0,    0,   0x10, 0xB1,
        0x02, 0,   4,   0,   16,   0,    'd', 'a', 't', 'a',  0xE8, 0x03, 0,   0};
    EXPECT_EQ(std::vector<std::uint8_t>(h.begin(), h.end()), expected);
}

TEST(WavHeader, RoundTripThroughTheChunkReaders) {
    WavFormat f = stereo16();
    f.channels = 1;
    f.sampleRate = 8000;
    f.blockAlign = 1;
    f.bitsPerSample = 8;
    const auto h = makeWavHeader(f, 0x12345678u, 0x00ABCDEFu);
    ByteReader r(h);
    EXPECT_EQ(readRiffWaveHead(r), 0x12345678u);
    const auto fmt = readRiffChunk(r);
    ASSERT_TRUE(fmt);
    EXPECT_TRUE(fmt->is("fmt "));
    EXPECT_EQ(fmt->size, 16u);
    const auto back = readWavFormat(r);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->formatTag, 1);
    EXPECT_EQ(back->channels, 1);
    EXPECT_EQ(back->sampleRate, 8000u);
    EXPECT_EQ(back->blockAlign, 1);
    EXPECT_EQ(back->bitsPerSample, 8);
    const auto data = readRiffChunk(r);
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->is("data"));
    EXPECT_EQ(data->size, 0x00ABCDEFu);
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_EQ(h[kWavRiffSizeOffset], 0x78);
    EXPECT_EQ(h[kWavDataSizeOffset], 0xEF);
}

TEST(WavHeader, HostileOpeningsAreRefused) {
    auto h = makeWavHeader(stereo16(), 0);
    for (std::size_t cut = 0; cut < 12; ++cut) {
        ByteReader r(std::span<const std::uint8_t>(h.data(), cut));
        EXPECT_FALSE(readRiffWaveHead(r)) << "cut at " << cut;
    }
    h[8] = 'X'; // not WAVE
    ByteReader notWave(h);
    EXPECT_FALSE(readRiffWaveHead(notWave));
    h[8] = 'W';
    h[0] = 'r'; // tags are case-sensitive
    ByteReader notRiff(h);
    EXPECT_FALSE(readRiffWaveHead(notRiff));
}

TEST(WavHeader, TruncatedChunksAndFormatsAreRefused) {
    const auto h = makeWavHeader(stereo16(), 0);
    for (std::size_t cut = 12; cut < 20; ++cut) {
        ByteReader r(std::span<const std::uint8_t>(h.data(), cut));
        r.skip(12);
        EXPECT_FALSE(readRiffChunk(r)) << "cut at " << cut;
    }
    for (std::size_t cut = 20; cut < 36; ++cut) {
        ByteReader r(std::span<const std::uint8_t>(h.data(), cut));
        r.skip(20);
        EXPECT_FALSE(readWavFormat(r)) << "cut at " << cut;
    }
}

TEST(WavHeader, ChunkWalkPadsOddSizesAndCannotWrapAtTheLargestSize) {
    RiffChunk odd;
    odd.size = 3;
    EXPECT_EQ(odd.next(12), 12u + 8 + 4);
    RiffChunk even;
    even.size = 4;
    EXPECT_EQ(even.next(12), 12u + 8 + 4);
    RiffChunk largest;
    largest.size = 0xFFFFFFFFu;
    // 64-bit offsets: a hostile size moves far past any real file instead of wrapping back.
    EXPECT_EQ(largest.next(0xFFFFFFF0u), 0xFFFFFFF0ull + 8 + 0xFFFFFFFFull + 1);
}
