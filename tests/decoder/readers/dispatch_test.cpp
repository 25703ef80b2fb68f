#include "sondrel_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testsupport;
using namespace sondreltest;

namespace {

// A KLX short header: size, magic, payload offset, payload type, then zeros up to `length`.
std::vector<uint8_t> klxHeader(uint32_t headerSize, uint32_t payloadType, int32_t callId,
                               size_t length, const char* magic = "FXLK") {
    std::vector<uint8_t> h;
    putU32(h, headerSize);
    putBytes(h, magic);
    putU32(h, headerSize);
    putU32(h, payloadType);
    h.resize(length, 0);
    if (length >= 168) {
        const auto id = static_cast<uint32_t>(callId);
        for (int i = 0; i < 4; ++i) {
            h[164 + i] = static_cast<uint8_t>(id >> (8 * i));
        }
    }
    return h;
}

class Dispatch : public ::testing::Test {
  protected:
    TempDir dir;
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        writeFile(path, bytes);
        return path;
    }
    std::vector<uint8_t> wav() { return makeWav(2, 44100, 16, patternBytes(400)); }
};

TEST_F(Dispatch, ExtensionIsTakenFromTheLastDotIgnoringCase) {
    EXPECT_EQ(openCode(write("Song.WAV", wav())), SONDREL_OK);
    EXPECT_EQ(openCode(write("Song.wAv", wav())), SONDREL_OK);
    EXPECT_EQ(openCode(write("noextension", wav())), SONDREL_ERR_UNSUPPORTED);
    // The only dot lies in a folder name: the "extension" is "/take1", unsupported.
    EXPECT_EQ(openCode(write("release.wav/take1", wav())), SONDREL_ERR_UNSUPPORTED);
    EXPECT_EQ(openCode(write("song.wav.bak", wav())), SONDREL_ERR_UNSUPPORTED);
    EXPECT_EQ(openCode(write("song.xyz", wav())), SONDREL_ERR_UNSUPPORTED);
}

TEST_F(Dispatch, FileSystemFailuresMapToTheirCodes) {
    EXPECT_EQ(openCode(dir.file("missing.wav")), SONDREL_ERR_NOT_FOUND);
    EXPECT_EQ(openCode(dir.file("no/such/folder/x.wav")), SONDREL_ERR_NOT_FOUND);
    EXPECT_EQ(openCode(""), SONDREL_ERR_UNSUPPORTED);
    std::filesystem::create_directory(dir.path() / "folder.wav");
    EXPECT_EQ(openCode(dir.file("folder.wav")), SONDREL_ERR_ACCESS);
    // A file in place of a folder in the path.
    write("plain", {1});
    EXPECT_EQ(openCode(dir.file("plain/x.wav")), SONDREL_ERR_NOT_FOUND);
}

TEST_F(Dispatch, FailedOpenNeverWritesTheHandle) {
    SondrelStream* sentinel = reinterpret_cast<SondrelStream*>(0x1);
    SondrelStream* handle = sentinel;
    EXPECT_EQ(Sondrel_OpenStream(&handle, dir.file("missing.wav").c_str(), 1, 1),
              SONDREL_ERR_NOT_FOUND);
    EXPECT_EQ(handle, sentinel);
    EXPECT_EQ(Sondrel_OpenStream(&handle, write("x.wav", makeWav(2, 44100, 16, {})).c_str(), 1, 1),
              SONDREL_ERR_EMPTY);
    EXPECT_EQ(handle, sentinel);
}

TEST_F(Dispatch, KlxPrecheckRefusesWhatIsNotAContainer) {
    EXPECT_EQ(openCode(dir.file("missing.klx")), SONDREL_ERR_NOT_FOUND);
    EXPECT_EQ(openCode(dir.file("missing.KLX")), SONDREL_ERR_NOT_FOUND);
    EXPECT_EQ(openCode(write("short.klx", klxHeader(160, 2, -1, 150))), SONDREL_ERR_UNSUPPORTED);
    EXPECT_EQ(openCode(write("magic.klx", klxHeader(160, 2, -1, 200, "FXLQ"))),
              SONDREL_ERR_UNSUPPORTED);
    EXPECT_EQ(openCode(write("type3.klx", klxHeader(160, 3, -1, 200))), SONDREL_ERR_UNSUPPORTED);
}

TEST_F(Dispatch, KlxCallRecordsAreRefusedOnlyWhenTheCallerSaysSo) {
    const std::string withCall = write("call.klx", klxHeader(180, 2, 0, 300));
    EXPECT_EQ(openCode(withCall, 0), SONDREL_ERR_CALL_RECORD);
    EXPECT_NE(openCode(withCall, 1), SONDREL_ERR_CALL_RECORD);

    // A negative call id means no call record.
    EXPECT_NE(openCode(write("nocall.klx", klxHeader(180, 2, -1, 300)), 0),
              SONDREL_ERR_CALL_RECORD);
    // A 164-byte header has no call id, whatever the bytes at its place hold.
    const std::string small = write("small.klx", klxHeader(164, 2, 0, 300));
    EXPECT_NE(openCode(small, 0), SONDREL_ERR_CALL_RECORD);
    EXPECT_EQ(openCode(small, 0), openCode(small, 1));
    // A file too short to hold the call id is not refused for it.
    EXPECT_NE(openCode(write("cut.klx", klxHeader(180, 2, 0, 165)), 0), SONDREL_ERR_CALL_RECORD);
}

} // namespace
