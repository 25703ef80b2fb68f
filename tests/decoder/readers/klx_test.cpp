// KLX containers through the library's exports, as the application opens them.
#include "klx_writer.h"
#include "sondrel_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

using namespace testsupport;
using namespace sondreltest;
using klxtest::KlxFile;
using klxtest::KlxImage;

namespace {

class Klx : public ::testing::Test {
  protected:
    TempDir dir;
    std::vector<uint8_t> pcm = patternBytes(4 * 1000);

    std::string write(const KlxFile& klx, const std::string& name = "a.klx") {
        const std::string path = dir.file(name);
        writeFile(path, klx.bytes());
        return path;
    }
    // A container of the given header size around a 16-bit stereo WAV of 1000 frames.
    KlxFile wavKlx(uint32_t headerSize) {
        KlxFile klx;
        klx.headerSize = headerSize;
        klx.payloadType = 2;
        klx.payload = makeWav(2, 44100, 16, pcm);
        return klx;
    }
    static std::string topicOf(SondrelStream* s) {
        std::array<char, 256> buffer{};
        Sondrel_GetTopic(s, buffer.data(), static_cast<int32_t>(buffer.size()));
        return buffer.data();
    }
    static std::string descriptionOf(SondrelStream* s) {
        std::vector<char> buffer(2049);
        Sondrel_GetDescription(s, buffer.data(), static_cast<int32_t>(buffer.size()));
        return buffer.data();
    }
    static int32_t voidBytesOf(SondrelStream* s) {
        int32_t v = -1;
        Sondrel_GetNumberOfVoidBytes(s, &v);
        return v;
    }
    static CallRecordInfo* callOf(SondrelStream* s) {
        CallRecordInfo* call = nullptr;
        Sondrel_GetCallRecordInfo(s, &call);
        return call;
    }
};

TEST_F(Klx, WavPayloadOfTheSmallestHeaderPlaysWithItsOwnLength) {
    KlxFile klx = wavKlx(160);
    klx.topic = "Morning call";
    klx.lengthFrames = 5; // the WAV reader counts its own length
    int32_t code = -1;
    auto s = open(write(klx), code);
    ASSERT_EQ(code, SONDREL_OK);

    uint32_t length = 0;
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, 1000u);
    EXPECT_EQ(topicOf(s.get()), "Morning call");
    EXPECT_EQ(descriptionOf(s.get()), "");
    EXPECT_EQ(callOf(s.get()), nullptr);
    EXPECT_EQ(voidBytesOf(s.get()), 0);
    uint32_t indexCount = 99;
    Sondrel_ExtractIndexs(s.get(), &indexCount, nullptr);
    EXPECT_EQ(indexCount, 0u);

    ASSERT_EQ(Sondrel_DecodeAudioBegin(s.get()), SONDREL_OK);
    EXPECT_EQ(decode(s.get(), 0, 1000), pcm);
    const std::vector<uint8_t> tail(pcm.end() - 40, pcm.end());
    EXPECT_EQ(decode(s.get(), 990, 50), tail);
    EXPECT_TRUE(decode(s.get(), 1000, 5).empty());
}

TEST_F(Klx, EveryHeaderSizeFindsThePayloadAfterItsVariablePart) {
    for (const uint32_t size : {160u, 164u, 172u, 180u, 260u}) {
        KlxFile klx = wavKlx(size);
        klx.description = size > 160 ? "A description" : "";
        klx.index = {{0, 0}, {1152, 300}};
        klx.callId = 3;
        klx.entries = {{1, 2, 3}};
        klx.images = {KlxImage::rgb(3, 2, 7)};
        klx.gap = patternBytes(17);
        int32_t code = -1;
        auto s = open(write(klx), code);
        ASSERT_EQ(code, SONDREL_OK) << size;
        EXPECT_EQ(descriptionOf(s.get()), klx.description) << size;
        EXPECT_EQ(voidBytesOf(s.get()), 17) << size;
        EXPECT_EQ(decode(s.get(), 0, 1000), pcm) << size;
    }
}

TEST_F(Klx, CallRecordWithNegativeStartEndsAtTheWholeSecondsOfTheWav) {
    KlxFile klx;
    klx.headerSize = 172;
    klx.callId = 5;
    klx.callStart = -3;
    klx.payload = makeWav(1, 8000, 8, patternBytes(20000)); // 2.5 s
    const std::string path = write(klx);
    EXPECT_EQ(openCode(path, 0), SONDREL_ERR_CALL_RECORD);

    int32_t code = -1;
    auto s = open(path, code);
    ASSERT_EQ(code, SONDREL_OK);
    CallRecordInfo* call = callOf(s.get());
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->callId, 5);
    EXPECT_EQ(call->startTime, 0);
    EXPECT_EQ(call->endTime, 2);
    EXPECT_EQ(call->entryCount, 0u);
    EXPECT_EQ(call->entries, nullptr);
    ASSERT_NE(call->text1, nullptr) << "text 1 is always stored";
    EXPECT_STREQ(call->text1, "");
    EXPECT_EQ(call->text2, nullptr);
    EXPECT_EQ(call->text3, nullptr);
}

TEST_F(Klx, CallEndBelowStartBecomesTheStartAndAnEarlierEndIsKept) {
    KlxFile klx;
    klx.headerSize = 180;
    klx.callId = 0;
    klx.callStart = 100;
    klx.callEnd = 50;
    klx.payload = makeWav(1, 8000, 8, patternBytes(4000)); // half a second: the fix adds 0
    int32_t code = -1;
    auto s = open(write(klx, "below.klx"), code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_EQ(callOf(s.get())->startTime, 100);
    EXPECT_EQ(callOf(s.get())->endTime, 100);

    klx.callEnd = 160;
    klx.payload = makeWav(1, 8000, 8, patternBytes(40000)); // 5 s, not added: end != start
    auto later = open(write(klx, "later.klx"), code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_EQ(callOf(later.get())->endTime, 160);
}

TEST_F(Klx, NarrowEntriesAreWidenedAndWideOnesKeptWhole) {
    KlxFile klx = wavKlx(180);
    klx.callId = 1;
    klx.entries = {{1, 2, 99}, {3, 4, 99}}; // the third value is not written in size 180
    int32_t code = -1;
    auto s = open(write(klx, "narrow.klx"), code);
    ASSERT_EQ(code, SONDREL_OK);
    CallRecordInfo* call = callOf(s.get());
    ASSERT_EQ(call->entryCount, 2u);
    const std::vector<int32_t> narrow(call->entries, call->entries + 6);
    EXPECT_EQ(narrow, (std::vector<int32_t>{1, 2, -1, 3, 4, -1}));
    EXPECT_EQ(decode(s.get(), 0, 1000), pcm) << "the entries' bytes are skipped exactly";

    klx.headerSize = 260;
    klx.entries = {{5, -6, 7}, {8, 9, -10}, {11, 12, 13}};
    auto wide = open(write(klx, "wide.klx"), code);
    ASSERT_EQ(code, SONDREL_OK);
    call = callOf(wide.get());
    ASSERT_EQ(call->entryCount, 3u);
    const std::vector<int32_t> values(call->entries, call->entries + 9);
    EXPECT_EQ(values, (std::vector<int32_t>{5, -6, 7, 8, 9, -10, 11, 12, 13}));
    EXPECT_EQ(decode(wide.get(), 0, 1000), pcm);
}

TEST_F(Klx, NoCallRecordMeansNoEntriesInTheFile) {
    // A negative call id: the stored entry count is not followed by entries.
    KlxFile klx = wavKlx(180);
    klx.callId = -1;
    klx.entryCount = 1000;
    int32_t code = -1;
    auto s = open(write(klx), code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_EQ(callOf(s.get()), nullptr);
    EXPECT_EQ(voidBytesOf(s.get()), 0);
}

TEST_F(Klx, ScrambledTextsOfTheLargestHeaderReadBack) {
    KlxFile klx = wavKlx(260);
    klx.topic = std::string(128, 't');
    klx.description = std::string(2046, 'd');
    klx.descriptionRotation = 201;
    klx.callId = 9;
    klx.callStart = 60;
    klx.callEnd = 90;
    klx.callText1 = " 12345\t"; // trimmed
    klx.callText2 = std::string(32, 'x');
    klx.callText3 = "";
    int32_t code = -1;
    auto s = open(write(klx), code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_EQ(topicOf(s.get()).size(), 128u);
    EXPECT_EQ(topicOf(s.get()), klx.topic);
    EXPECT_EQ(descriptionOf(s.get()), klx.description);
    CallRecordInfo* call = callOf(s.get());
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->startTime, 60);
    EXPECT_EQ(call->endTime, 90);
    EXPECT_STREQ(call->text1, "12345");
    EXPECT_STREQ(call->text2, klx.callText2.c_str());
    EXPECT_EQ(call->text3, nullptr) << "an empty text 3 is not stored";
    EXPECT_EQ(decode(s.get(), 0, 1000), pcm);
}

TEST_F(Klx, CallTextOneIsCutAtEightBeforeTrimming) {
    KlxFile klx = wavKlx(260);
    klx.callId = 2;
    klx.callText1 = "ab cdefg h"; // nine characters fill the block without a terminator
    klx.callText1.resize(9);
    int32_t code = -1;
    auto s = open(write(klx), code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_STREQ(callOf(s.get())->text1, "ab cdefg");

    klx.callText1 = "       x"; // cut leaves "       x", trimmed to "x"
    auto t = open(write(klx, "b.klx"), code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_STREQ(callOf(t.get())->text1, "x");
}

TEST_F(Klx, TenOfTwelveImagesAreReadAndTheRestIsGap) {
    KlxFile klx = wavKlx(164);
    for (uint32_t i = 0; i < 12; ++i) {
        klx.images.push_back(KlxImage::rgb(static_cast<int32_t>(i + 1), 2, i + 1));
    }
    klx.images[3].height = -2; // rows stored top-down
    klx.images[4].bitCount = 32;
    klx.images[4].pixels = patternBytes(5 * 2 * 4, 40);
    int32_t code = -1;
    auto s = open(write(klx), code);
    ASSERT_EQ(code, SONDREL_OK);

    SondrelBitmap* images = nullptr;
    int16_t count = 0;
    Sondrel_GetImageArray(s.get(), &images, &count);
    ASSERT_EQ(count, 10);
    ASSERT_NE(images, nullptr);
    for (int i = 0; i < 10; ++i) {
        const KlxImage& want = klx.images[static_cast<size_t>(i)];
        const SondrelImage& got = *images[i];
        EXPECT_EQ(got.header.biSize, 40u);
        EXPECT_EQ(got.header.biWidth, want.width) << i;
        EXPECT_EQ(got.header.biHeight, want.height) << i;
        EXPECT_EQ(got.header.biBitCount, want.bitCount) << i;
        EXPECT_EQ(got.header.biSizeImage, want.pixels.size()) << i;
        ASSERT_EQ(got.pixelBytes, want.pixels.size()) << i;
        EXPECT_EQ(std::vector<uint8_t>(got.pixels, got.pixels + got.pixelBytes), want.pixels) << i;
    }
    const size_t lastTwo = klx.images[10].bytes().size() + klx.images[11].bytes().size();
    EXPECT_EQ(voidBytesOf(s.get()), static_cast<int32_t>(lastTwo));
    EXPECT_EQ(decode(s.get(), 0, 1000), pcm);
}

TEST_F(Klx, DamagedImageHeadersFailTheOpen) {
    const auto withImage = [&](auto change) {
        KlxFile klx = wavKlx(160);
        klx.images = {KlxImage::rgb(2, 2, 1), KlxImage::rgb(2, 2, 2)};
        change(klx.images[1]);
        return openCode(write(klx));
    };
    EXPECT_EQ(withImage([](KlxImage& i) { i.clrUsed = 256; }), SONDREL_ERR_DAMAGED);
    EXPECT_EQ(withImage([](KlxImage& i) { i.magic = {'B', 'A'}; }), SONDREL_ERR_DAMAGED);
    EXPECT_EQ(withImage([](KlxImage& i) { i.sizeImage = 0; }), SONDREL_ERR_DAMAGED);
    // Pixels claimed beyond the payload offset (here: into the WAV payload).
    EXPECT_EQ(withImage([](KlxImage& i) { i.sizeImage = 100; }), SONDREL_ERR_DAMAGED);
    EXPECT_EQ(withImage([](KlxImage& i) { i.sizeImage = 0xFFFFFFF0u; }), SONDREL_ERR_DAMAGED);
    // Headers no bitmap can be made from: no palette is read, so paletted images fail; so do
    // images without width or height and compressed ones.
    EXPECT_EQ(withImage([](KlxImage& i) { i.bitCount = 8; }), SONDREL_ERR_IMAGE);
    EXPECT_EQ(withImage([](KlxImage& i) { i.width = 0; }), SONDREL_ERR_IMAGE);
    EXPECT_EQ(withImage([](KlxImage& i) { i.height = 0; }), SONDREL_ERR_IMAGE);
    EXPECT_EQ(withImage([](KlxImage& i) { i.compression = 1; }), SONDREL_ERR_IMAGE);
    EXPECT_EQ(withImage([](KlxImage&) {}), SONDREL_OK);
}

TEST_F(Klx, CountsWhoseDataCannotBeThereAreRefusedAsDamaged) {
    const auto openWith = [&](auto change) {
        KlxFile klx = wavKlx(260);
        klx.callId = 1;
        change(klx);
        return openCode(write(klx));
    };
    // The largest description is accepted, one byte more is not.
    EXPECT_EQ(openWith([](KlxFile& k) { k.description = std::string(2046, 'z'); }), SONDREL_OK);
    EXPECT_EQ(openWith([](KlxFile& k) {
                  k.description = std::string(2047, 'z');
                  k.descriptionLength = 2049;
              }),
              SONDREL_ERR_DAMAGED);
    EXPECT_EQ(openWith([](KlxFile& k) { k.indexCount = 0xFFFFFFFFu; }), SONDREL_ERR_DAMAGED);
    EXPECT_EQ(openWith([](KlxFile& k) { k.indexCount = 10; }), SONDREL_ERR_DAMAGED)
        << "ten entries would run into the payload";
    EXPECT_EQ(openWith([](KlxFile& k) { k.entryCount = 0x40000000u; }), SONDREL_ERR_DAMAGED);
    EXPECT_EQ(openWith([](KlxFile& k) { k.imageCount = 1; }), SONDREL_ERR_DAMAGED);
    // Payload offsets inside the fixed header or beyond the end of the file.
    EXPECT_EQ(openWith([](KlxFile& k) { k.payloadOffset = 100; }), SONDREL_ERR_DAMAGED);
    EXPECT_EQ(openWith([](KlxFile& k) { k.payloadOffset = 1u << 20; }), SONDREL_ERR_DAMAGED);
    // An offset at the very end leaves the WAV reader no header to read.
    EXPECT_EQ(
        openWith([](KlxFile& k) { k.payloadOffset = static_cast<uint32_t>(k.bytes().size()); }),
        SONDREL_ERR_UNSUPPORTED);
}

TEST_F(Klx, UnknownHeaderSizesAndShortFilesAreDamaged) {
    KlxFile klx = wavKlx(160);
    std::vector<uint8_t> bytes = klx.bytes();
    bytes[0] = 200;
    writeFile(dir.file("size.klx"), bytes);
    EXPECT_EQ(openCode(dir.file("size.klx")), SONDREL_ERR_DAMAGED);

    // The metadata read takes 260 bytes whatever the header size: fewer is a damaged file.
    klx.payload = makeWav(1, 8000, 8, patternBytes(40));
    ASSERT_LT(klx.bytes().size(), 260u);
    EXPECT_EQ(openCode(write(klx)), SONDREL_ERR_DAMAGED);
}

// Encoded payloads come from the outside encoders; a build without the payload's reader skips
// these tests (the plain file then opens as unsupported too).
class KlxEncoded : public Klx {
  protected:
    // Writes half a second of a 440 Hz stereo tone as src.wav and returns its path.
    std::string toneWav() {
        const std::string wav = dir.file("src.wav");
        std::vector<uint8_t> tone;
        for (int i = 0; i < 44100 / 2; ++i) {
            const auto v =
                static_cast<int16_t>(8000.0 * std::sin(i * 2.0 * M_PI * 440.0 / 44100.0));
            putU16(tone, static_cast<uint16_t>(v));
            putU16(tone, static_cast<uint16_t>(v));
        }
        writeFile(wav, makeWav(2, 44100, 16, tone));
        return wav;
    }
    std::string mp3() {
        const std::string out = dir.file("plain.mp3");
        const auto r = runCommand(std::string(MIRELDO_LAME_EXE) + " --quiet -b 128 " +
                                  shellQuote(toneWav()) + " " + shellQuote(out));
        EXPECT_EQ(r.exitCode, 0);
        return out;
    }
    std::string ogg() {
        const std::string out = dir.file("plain.ogg");
        const auto r = runCommand(std::string(MIRELDO_OGGENC_EXE) + " -Q -o " + shellQuote(out) +
                                  " " + shellQuote(toneWav()));
        EXPECT_EQ(r.exitCode, 0);
        return out;
    }
    // Opens path and decodes the whole stream; unsupported is set when no reader exists.
    std::vector<uint8_t> decodeAll(const std::string& path, uint32_t& length, bool& unsupported) {
        int32_t code = -1;
        auto s = open(path, code);
        unsupported = code == SONDREL_ERR_UNSUPPORTED;
        if (unsupported) {
            return {};
        }
        EXPECT_EQ(code, SONDREL_OK) << path;
        if (!s) {
            return {};
        }
        Sondrel_GetStreamLength(s.get(), &length);
        EXPECT_EQ(Sondrel_DecodeAudioBegin(s.get()), SONDREL_OK);
        auto out = decode(s.get(), 0, length);
        Sondrel_DecodeAudioEnd(s.get());
        return out;
    }
};

TEST_F(KlxEncoded, MpegPayloadDecodesLikeThePlainFileAndFixesTheCallEnd) {
    const std::string plainPath = mp3();
    uint32_t plainLength = 0;
    bool unsupported = false;
    const auto plainPcm = decodeAll(plainPath, plainLength, unsupported);
    ASSERT_FALSE(unsupported) << "the decoder answered 'unsupported format' for a plain MPEG file";
    ASSERT_GT(plainLength, 0u);

    KlxFile klx;
    klx.headerSize = 172;
    klx.payloadType = 0;
    klx.callId = 5;
    klx.callStart = -3;
    klx.images = {KlxImage::rgb(2, 2, 3)};
    klx.gap = patternBytes(10);
    klx.payload = readFile(plainPath);
    const std::string path = write(klx, "mpeg.klx");
    uint32_t length = 0;
    EXPECT_EQ(decodeAll(path, length, unsupported), plainPcm);
    EXPECT_EQ(length, plainLength) << "without an index the reader counts the length";

    int32_t code = -1;
    auto s = open(path, code);
    ASSERT_EQ(code, SONDREL_OK);
    WAVEFORMATEX* format = nullptr;
    Sondrel_GetStreamFormat(s.get(), &format);
    ASSERT_NE(callOf(s.get()), nullptr);
    EXPECT_EQ(callOf(s.get())->startTime, 0);
    EXPECT_EQ(callOf(s.get())->endTime, static_cast<int32_t>(plainLength / format->nSamplesPerSec));
    EXPECT_EQ(voidBytesOf(s.get()), 10);
}

TEST_F(KlxEncoded, MpegPayloadTakesTheHeadersIndexAndLength) {
    const std::string plainPath = mp3();
    uint32_t plainLength = 0;
    bool unsupported = false;
    const auto plainPcm = decodeAll(plainPath, plainLength, unsupported);
    ASSERT_FALSE(unsupported) << "the decoder answered 'unsupported format' for a plain MPEG file";
    int32_t code = -1;
    auto plain = open(plainPath, code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t count = 0;
    Sondrel_ExtractIndexs(plain.get(), &count, nullptr);
    std::vector<SeekIndexEntry> index(count);
    Sondrel_ExtractIndexs(plain.get(), &count, index.data());
    ASSERT_GT(count, 0u);

    KlxFile klx;
    klx.payloadType = 0;
    klx.lengthFrames = plainLength - 100;
    for (const auto& e : index) {
        klx.index.push_back({e.framePosition, e.byteOffset});
    }
    klx.payload = readFile(plainPath);
    auto s = open(write(klx, "indexed.klx"), code);
    ASSERT_EQ(code, SONDREL_OK);
    uint32_t length = 0;
    Sondrel_GetStreamLength(s.get(), &length);
    EXPECT_EQ(length, plainLength - 100);
    uint32_t klxCount = 0;
    Sondrel_ExtractIndexs(s.get(), &klxCount, nullptr);
    ASSERT_EQ(klxCount, count);
    std::vector<SeekIndexEntry> klxIndex(klxCount);
    Sondrel_ExtractIndexs(s.get(), &klxCount, klxIndex.data());
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(klxIndex[i].framePosition, index[i].framePosition);
        EXPECT_EQ(klxIndex[i].byteOffset, index[i].byteOffset);
    }
    ASSERT_EQ(Sondrel_DecodeAudioBegin(s.get()), SONDREL_OK);
    const auto decoded = decode(s.get(), 0, length);
    ASSERT_EQ(decoded.size(), plainPcm.size() - 100 * 4);
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), plainPcm.begin()));
}

TEST_F(KlxEncoded, OggPayloadIsReadWithoutItsMetadata) {
    const std::string path = ogg();
    uint32_t plainLength = 0;
    bool unsupported = false;
    const auto plainPcm = decodeAll(path, plainLength, unsupported);
    ASSERT_FALSE(unsupported)
        << "the decoder answered 'unsupported format' for a plain Ogg Vorbis file";

    KlxFile klx;
    klx.payloadType = 1;
    klx.topic = "Not read";
    klx.description = "Not read either";
    klx.callId = 4;
    klx.images = {KlxImage::rgb(2, 2, 3)};
    klx.payload = readFile(path);
    const std::string klxPath = write(klx, "ogg.klx");
    uint32_t length = 0;
    EXPECT_EQ(decodeAll(klxPath, length, unsupported), plainPcm);
    EXPECT_EQ(length, plainLength);

    int32_t code = -1;
    auto s = open(klxPath, code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_EQ(topicOf(s.get()), "");
    EXPECT_EQ(descriptionOf(s.get()), "");
    EXPECT_EQ(callOf(s.get()), nullptr);
    SondrelBitmap* images = nullptr;
    int16_t count = -1;
    Sondrel_GetImageArray(s.get(), &images, &count);
    EXPECT_EQ(count, 0);
}

} // namespace
