#include "sondrel_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

using namespace testsupport;
using namespace sondreltest;

namespace {

TEST(SondrelApi, LibraryExportsExactlyTheFourteenFunctions) {
    const auto result =
        runCommand("nm -D --defined-only " + shellQuote(SONDREL_LIBRARY_PATH) + " 2>&1");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::set<std::string> exported;
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (type == "T" || type == "W" || type == "D" || type == "B") {
            exported.insert(name);
        }
    }
    const std::set<std::string> expected{
        "Sondrel_OpenStream",      "Sondrel_CloseStream",       "Sondrel_GetStreamFormat",
        "Sondrel_GetStreamLength", "Sondrel_DecodeAudioBegin",  "Sondrel_DecodeAudio",
        "Sondrel_DecodeAudioEnd",  "Sondrel_GetImageArray",     "Sondrel_GetTopic",
        "Sondrel_GetDescription",  "Sondrel_GetCallRecordInfo", "Sondrel_GetNumberOfVoidBytes",
        "Sondrel_ExtractIndexs",   "Sondrel_GetMP3SampleRate"};
    EXPECT_EQ(exported, expected);
}

TEST(SondrelApi, PlainStreamHasNoContainerMetadata) {
    TempDir dir;
    const std::string path = dir.file("plain.wav");
    writeFile(path, makeWav(2, 44100, 16, patternBytes(400)));
    int32_t code = -1;
    auto s = open(path, code);
    ASSERT_EQ(code, SONDREL_OK);

    char topic[129];
    std::memset(topic, 'x', sizeof topic);
    EXPECT_EQ(Sondrel_GetTopic(s.get(), topic, sizeof topic), SONDREL_OK);
    EXPECT_STREQ(topic, "");
    char description[2049];
    std::memset(description, 'x', sizeof description);
    EXPECT_EQ(Sondrel_GetDescription(s.get(), description, sizeof description), SONDREL_OK);
    EXPECT_STREQ(description, "");

    SondrelBitmap* images = reinterpret_cast<SondrelBitmap*>(0x1);
    int16_t count = -1;
    EXPECT_EQ(Sondrel_GetImageArray(s.get(), &images, &count), SONDREL_OK);
    EXPECT_EQ(images, nullptr);
    EXPECT_EQ(count, 0);

    CallRecordInfo* call = reinterpret_cast<CallRecordInfo*>(0x1);
    EXPECT_EQ(Sondrel_GetCallRecordInfo(s.get(), &call), SONDREL_OK);
    EXPECT_EQ(call, nullptr);

    int32_t voidBytes = -1;
    EXPECT_EQ(Sondrel_GetNumberOfVoidBytes(s.get(), &voidBytes), SONDREL_OK);
    EXPECT_EQ(voidBytes, 0);

    uint32_t indexCount = 99;
    SeekIndexEntry entry{};
    EXPECT_EQ(Sondrel_ExtractIndexs(s.get(), &indexCount, &entry), SONDREL_OK);
    EXPECT_EQ(indexCount, 0u);
}

TEST(SondrelApi, TextCopiesRespectTheBufferSize) {
    TempDir dir;
    const std::string path = dir.file("plain.wav");
    writeFile(path, makeWav(1, 8000, 8, patternBytes(10)));
    int32_t code = -1;
    auto s = open(path, code);
    ASSERT_EQ(code, SONDREL_OK);
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(Sondrel_GetTopic(s.get(), buffer, 0), SONDREL_OK);
    EXPECT_EQ(buffer[0], 'a') << "a zero-sized buffer is never written";
    EXPECT_EQ(Sondrel_GetTopic(s.get(), buffer, 1), SONDREL_OK);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'b');
}

TEST(SondrelApi, NullArgumentsAreAnsweredNotDereferenced) {
    uint32_t frames = 0;
    EXPECT_NE(Sondrel_OpenStream(nullptr, "x.wav", 1, 1), SONDREL_OK);
    SondrelStream* s = nullptr;
    EXPECT_EQ(Sondrel_OpenStream(&s, nullptr, 1, 1), SONDREL_ERR_NOT_FOUND);
    EXPECT_NE(Sondrel_GetStreamLength(nullptr, &frames), SONDREL_OK);
    EXPECT_NE(Sondrel_DecodeAudio(nullptr, 0, 1, &frames, &frames), SONDREL_OK);
    EXPECT_NE(Sondrel_CloseStream(nullptr), SONDREL_OK);
    EXPECT_NE(Sondrel_GetMP3SampleRate("x.mp3", nullptr), SONDREL_OK);
}

TEST(SondrelApi, StreamsAreIndependentAndReopenable) {
    TempDir dir;
    const auto a = patternBytes(400, 1);
    const auto b = patternBytes(800, 2);
    writeFile(dir.file("a.wav"), makeWav(2, 44100, 16, a));
    writeFile(dir.file("b.wav"), makeWav(1, 8000, 16, b));
    int32_t code = -1;
    auto sa = open(dir.file("a.wav"), code);
    auto sb = open(dir.file("b.wav"), code);
    auto sa2 = open(dir.file("a.wav"), code);
    ASSERT_TRUE(sa && sb && sa2);
    EXPECT_EQ(decode(sb.get(), 0, 400), b);
    EXPECT_EQ(decode(sa.get(), 0, 100), a);
    sa.reset();
    EXPECT_EQ(decode(sa2.get(), 0, 100), a);
}

} // namespace
