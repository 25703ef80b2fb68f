// mireldo-cli play, run as a program on the virtual back-end: what it plays, its messages
// and exit status, and Ctrl+C.

#include "play_command.h"
#include "sondrel.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

class CliTest : public ::testing::Test {
  protected:
    std::string cli(const std::string& args, const std::string& speed = "500") {
        return "MIRELDO_AUDIO_MODE=virtual MIRELDO_VIRTUAL_SPEED=" + speed +
               " MIRELDO_VIRTUAL_OUTPUT=" + shellQuote(out_) + " " +
               shellQuote(testsupport::binDir() + "/mireldo-cli") + " " + args;
    }
    std::string wav(const std::string& name, std::uint32_t frames, std::uint32_t seed) {
        pcm_ = testsupport::patternBytes(std::size_t{frames} * 4, seed);
        const std::string path = dir_.file(name);
        testsupport::writeFile(path, testsupport::makeWav(2, 44100, 16, pcm_));
        return path;
    }
    std::vector<std::uint8_t> played() {
        auto bytes = testsupport::readFile(out_);
        return bytes.size() < 44 ? std::vector<std::uint8_t>{}
                                 : std::vector<std::uint8_t>(bytes.begin() + 44, bytes.end());
    }

    testsupport::TempDir dir_;
    std::string out_ = dir_.file("played.wav");
    std::vector<std::uint8_t> pcm_;
};

TEST_F(CliTest, PlaysFilesOneAfterAnotherBitForBit) {
    const std::string a = wav("a.wav", 50000, 1);
    const auto first = pcm_;
    const std::string b = wav("b.wav", 70000, 2);
    auto expected = first;
    expected.insert(expected.end(), pcm_.begin(), pcm_.end());
    const auto r = runCommand(cli("play " + shellQuote(a) + " " + shellQuote(b)));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(played(), expected);
    // Without a terminal one final line per file: "position / total  name".
    EXPECT_NE(r.output.find("0:01 / 0:01  " + a), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(" / 0:01  " + b), std::string::npos) << r.output;
}

TEST_F(CliTest, AFileThatCannotBeOpenedGivesItsReasonAndAFailingStatus) {
    const std::string a = wav("a.wav", 20000, 1);
    const std::string missing = dir_.file("missing.wav");
    const std::string text = dir_.file("notes.txt");
    testsupport::writeFile(text, {'h', 'i'});
    const auto r = runCommand(cli("play " + shellQuote(missing) + " " + shellQuote(text) + " " +
                                  shellQuote(a) + " 2>&1"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find(missing + ": file not found"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(text + ": unsupported file"), std::string::npos) << r.output;
    EXPECT_EQ(played(), pcm_) << "the playable file still plays";
}

TEST_F(CliTest, DeviceAndUsageErrors) {
    const std::string a = wav("a.wav", 2000, 1);
    auto r = runCommand(cli("play " + shellQuote(a) + " --device 4 2>&1"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Failed to open the audio device."), std::string::npos) << r.output;
    EXPECT_EQ(runCommand(cli("play 2>/dev/null")).exitCode, 2);
    EXPECT_EQ(runCommand(cli("play --device x " + shellQuote(a) + " 2>/dev/null")).exitCode, 2);
    EXPECT_EQ(runCommand(cli("play --bogus " + shellQuote(a) + " 2>/dev/null")).exitCode, 2);
    EXPECT_EQ(runCommand(cli("dance 2>/dev/null")).exitCode, 2);
    r = runCommand(cli("devices"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("0  Virtual output"), std::string::npos) << r.output;
}

TEST_F(CliTest, InterruptStopsALoopingPlayCleanly) {
    const std::string a = wav("a.wav", 44100, 1); // one second, at real time
    const std::string command =
        "exec env " + cli("play --loop " + shellQuote(a) + " >/dev/null", "1");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // into the second round
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child); // a player that ignored Ctrl+C hangs here
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const auto out = played();
    EXPECT_GT(out.size(), pcm_.size()) << "the loop went round";
    // The output is a whole number of frames of the file, round after round.
    ASSERT_EQ(out.size() % 4, 0u);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] != pcm_[i % pcm_.size()]) {
            ADD_FAILURE() << "byte " << i;
            break;
        }
    }
}

TEST(CliFormat, TimesAndReasons) {
    using mireldo::cli::formatTime;
    EXPECT_EQ(formatTime(0, 44100), QStringLiteral("0:00"));
    EXPECT_EQ(formatTime(44100 * 61 + 44099, 44100), QStringLiteral("1:01"));
    EXPECT_EQ(formatTime(8000ull * 3725, 8000), QStringLiteral("1:02:05"));
    EXPECT_EQ(formatTime(100, 0), QStringLiteral("0:00"));
    EXPECT_STREQ(mireldo::cli::decoderErrorText(SONDREL_ERR_EMPTY), "the file holds no audio");
}

} // namespace
