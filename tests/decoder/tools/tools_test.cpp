#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testsupport;

namespace {

std::string tool(const std::string& name) {
    return shellQuote(binDir() + "/" + name);
}

class Tools : public ::testing::Test {
  protected:
    void SetUp() override {
        pcm = patternBytes(4 * 22050);
        wav = dir.file("in.wav");
        writeFile(wav, makeWav(2, 44100, 16, pcm));
    }
    TempDir dir;
    std::vector<uint8_t> pcm;
    std::string wav;
};

TEST_F(Tools, InfoDescribesAStream) {
    const auto r = runCommand(tool("sondrel-info") + " " + shellQuote(wav));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("result: 0 (success)\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("format: PCM 2 ch, 44100 Hz, 16 bit, block 4, 176400 bytes/s\n"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("length: 22050 frames (0:00:00.5)\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("images: 0\n"), std::string::npos);
    EXPECT_NE(r.output.find("call record: none\n"), std::string::npos);
    EXPECT_NE(r.output.find("void bytes: 0\n"), std::string::npos);
    EXPECT_NE(r.output.find("seek index: 0 entries\n"), std::string::npos);
}

TEST_F(Tools, InfoReportsEachFileAndFailsWithTheCode) {
    const auto r = runCommand(tool("sondrel-info") + " " + shellQuote(wav) + " " +
                              shellQuote(dir.file("gone.wav")) + " 2>/dev/null");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("result: 0 (success)"), std::string::npos);
    EXPECT_NE(r.output.find("result: 1 (file not found)"), std::string::npos);
}

TEST_F(Tools, DecodeWritesACanonicalWavFile) {
    const std::string out = dir.file("out.wav");
    const auto r =
        runCommand(tool("sondrel-decode") + " " + shellQuote(wav) + " " + shellQuote(out));
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(readFile(out), makeWav(2, 44100, 16, pcm));
    EXPECT_FALSE(std::filesystem::exists(out + ".part"));
}

TEST_F(Tools, DecodeRangeToStandardOutput) {
    const auto r =
        runCommand(tool("sondrel-decode") + " " + shellQuote(wav) + " - --from 100 --frames 50");
    ASSERT_EQ(r.exitCode, 0);
    const std::string expected(pcm.begin() + 400, pcm.begin() + 600);
    EXPECT_EQ(r.output, expected);

    // A range reaching past the end yields what is there.
    const auto tail = runCommand(tool("sondrel-decode") + " " + shellQuote(wav) +
                                 " - --from 22000 --frames 1000");
    EXPECT_EQ(tail.output.size(), 200u);
}

TEST_F(Tools, DecodeFailuresLeaveNoOutputAndExitNonZero) {
    const std::string out = dir.file("out.wav");
    auto r = runCommand(tool("sondrel-decode") + " " + shellQuote(dir.file("gone.wav")) + " " +
                        shellQuote(out) + " 2>&1");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("file not found"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(out));

    r = runCommand(tool("sondrel-decode") + " " + shellQuote(wav) + " - --from x 2>&1");
    EXPECT_EQ(r.exitCode, 2);
    r = runCommand(tool("sondrel-decode") + " " + shellQuote(wav) + " 2>&1");
    EXPECT_EQ(r.exitCode, 2);
    r = runCommand(tool("sondrel-decode") + " " + shellQuote(wav) + " " +
                   shellQuote(dir.file("no/such/dir/out.wav")) + " 2>&1");
    EXPECT_NE(r.exitCode, 0);
}

} // namespace
