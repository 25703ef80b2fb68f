// Frame header parsing: fields, lengths, tags and the error codes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "mpeg_audio_decoder.h"
#include "mpeg_header.h"

namespace {

using sondrel::MpegFrameInfo;
using sondrel::parseMpegFrameHeader;

std::vector<uint8_t> frameWith(uint8_t b1, uint8_t b2, uint8_t b3, std::size_t size = 200) {
    std::vector<uint8_t> bytes(size, 0);
    bytes[0] = 0xFF;
    bytes[1] = b1;
    bytes[2] = b2;
    bytes[3] = b3;
    return bytes;
}

TEST(MpegHeader, Mpeg1Layer3Fields) {
    // MPEG-1 layer III, no CRC, 128 kbit/s, 44100 Hz, padded, joint stereo with middle/side.
    const auto bytes = frameWith(0xFB, 0x92, 0x64);
    MpegFrameInfo info;
    ASSERT_EQ(parseMpegFrameHeader(bytes, info), 0);
    EXPECT_EQ(info.version, 1);
    EXPECT_EQ(info.layer, 3);
    EXPECT_EQ(info.crcPresent, 0);
    EXPECT_EQ(info.bitrate, 128000);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.padding, 1);
    EXPECT_EQ(info.mode, 1);
    EXPECT_EQ(info.modeExtension, 2);
    EXPECT_EQ(info.flagBit2, 1);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.shortLength, 417);
    EXPECT_EQ(info.longLength, 418);
    EXPECT_EQ(info.outputBytes, 1152 * 2 * 2);
    EXPECT_EQ(sondrel::MpegAudioDecoder::FrameBytes(info), 418u);
}

TEST(MpegHeader, LayerOneAndTwoLengths) {
    MpegFrameInfo info;
    // Layer I, 32 kbit/s at 32000 Hz, mono: 384 samples, 12-byte slots of 4 bytes.
    ASSERT_EQ(parseMpegFrameHeader(frameWith(0xFF, 0x18, 0xC0), info), 0);
    EXPECT_EQ(info.layer, 1);
    EXPECT_EQ(info.shortLength, 48);
    EXPECT_EQ(info.longLength, 52);
    EXPECT_EQ(info.outputBytes, 384 * 2);
    // Layer II, 192 kbit/s at 48000 Hz, CRC present.
    ASSERT_EQ(parseMpegFrameHeader(frameWith(0xFC, 0xA4, 0x00), info), 0);
    EXPECT_EQ(info.layer, 2);
    EXPECT_EQ(info.crcPresent, 1);
    EXPECT_EQ(info.shortLength, 576);
    EXPECT_EQ(info.outputBytes, 1152 * 4);
}

TEST(MpegHeader, LowerRatesAndPaddingOfMpeg2Layer3) {
    MpegFrameInfo info;
    // MPEG-2 layer III, 8 kbit/s at 22050 Hz, padded: 72 x 8000 / 22050 = 26 bytes plus one.
    ASSERT_EQ(parseMpegFrameHeader(frameWith(0xF3, 0x12, 0xC0), info), 0);
    EXPECT_EQ(info.version, 2);
    EXPECT_EQ(info.sampleRate, 22050);
    EXPECT_EQ(info.shortLength, 26);
    EXPECT_EQ(info.longLength, 27);
    EXPECT_EQ(info.outputBytes, 576 * 2);
    EXPECT_EQ(sondrel::MpegAudioDecoder::FrameBytes(info), 27u);
    // MPEG-2.5 rates.
    const int expected[3] = {11025, 12000, 8000};
    for (int index = 0; index < 3; ++index) {
        ASSERT_EQ(parseMpegFrameHeader(
                      frameWith(0xE3, static_cast<uint8_t>(0x80 | (index << 2)), 0x00), info),
                  0);
        EXPECT_EQ(info.version, 3);
        EXPECT_EQ(info.sampleRate, expected[index]);
    }
}

TEST(MpegHeader, RejectsWhatIsNotAFrame) {
    MpegFrameInfo info;
    EXPECT_EQ(parseMpegFrameHeader(frameWith(0xFB, 0x90, 0x00, 155), info), 4);
    EXPECT_EQ(parseMpegFrameHeader(frameWith(0xFB, 0x90, 0x00, 155), info, 5), 5);
    auto noSync = frameWith(0xFB, 0x90, 0x00);
    noSync[0] = 0xFE;
    EXPECT_EQ(parseMpegFrameHeader(noSync, info), 3);
    EXPECT_EQ(parseMpegFrameHeader(frameWith(0xC3, 0x90, 0x00), info), 3); // bad version bits
    EXPECT_EQ(parseMpegFrameHeader(frameWith(0xFB, 0x9C, 0x00), info), 4); // sample rate 3
    EXPECT_EQ(parseMpegFrameHeader(frameWith(0xFB, 0x00, 0x00), info), 4); // free format
    EXPECT_EQ(parseMpegFrameHeader(frameWith(0xFB, 0xF0, 0x00), info), 4); // bit rate 15
    EXPECT_EQ(parseMpegFrameHeader(frameWith(0xF9, 0x90, 0x00), info), 4); // layer code 0
}

TEST(MpegHeader, XingAndVbriTags) {
    MpegFrameInfo info;
    // MPEG-1 layer III stereo: the tag sits after 4 header and 32 side-information bytes.
    auto xing = frameWith(0xFB, 0x90, 0x00);
    std::memcpy(&xing[36], "Xing", 4);
    xing[43] = 3;   // flags: frames and bytes
    xing[47] = 100; // 100 frames
    xing[49] = 1;   // 65536 bytes
    ASSERT_EQ(parseMpegFrameHeader(xing, info), 0);
    EXPECT_EQ(info.bitrate, 0);
    EXPECT_EQ(info.tagFrames, 100);
    EXPECT_EQ(info.tagBytes, 65536);
    EXPECT_EQ(info.taggedFrameLength, 417); // its own 128 kbit/s frame
    EXPECT_EQ(info.shortLength, 104);       // 32 kbit/s: the smallest of any rate
    EXPECT_EQ(info.longLength, 1045);       // 320 kbit/s, padded: the largest

    xing[43] = 4; // neither frames nor bytes
    EXPECT_EQ(parseMpegFrameHeader(xing, info), 4);

    auto vbri = frameWith(0xFB, 0x90, 0xC0); // mono: 17 bytes of side information
    std::memcpy(&vbri[21], "VBRI", 4);
    vbri[34] = 7; // bytes at +10
    vbri[38] = 9; // frames at +14
    ASSERT_EQ(parseMpegFrameHeader(vbri, info), 0);
    EXPECT_EQ(info.tagBytes, 7);
    EXPECT_EQ(info.tagFrames, 9);
}

} // namespace
