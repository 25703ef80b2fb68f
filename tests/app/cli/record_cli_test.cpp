// mireldo-cli record end to end on the virtual back-end: a WAV made with sox plays as the
// input; the saved files are read back with ffprobe.

#include "record_command.h"
#include "test_support.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

std::string toolBeside(const std::string& ffmpeg, const std::string& tool) {
    return ffmpeg.substr(0, ffmpeg.rfind('/') + 1) + tool;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            out.push_back(line);
        }
    }
    return out;
}

class RecordCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.path() / "cfg");
        std::filesystem::create_directories(dir.path() / "out");
    }

    // A 16-bit input of tones (`bursts`, in seconds) separated by `pause` seconds of digital
    // silence, at 44.1 kHz stereo unless told (the virtual input plays it in the capture
    // format, so the two must agree).
    std::string makeInput(const std::string& name, const std::vector<double>& bursts,
                          double pause, int rate = 44100, int channels = 2) {
        const std::string path = dir.file(name);
        std::string cmd = shellQuote(MIRELDO_SOX_EXE) + " -n -r " + std::to_string(rate) +
                          " -c " + std::to_string(channels) + " -b 16 " + shellQuote(path);
        for (std::size_t i = 0; i < bursts.size(); ++i) {
            if (i > 0) {
                cmd += " : synth " + std::to_string(pause) + " sine 0 vol 0 :";
            }
            cmd += " synth " + std::to_string(bursts[i]) + " sine " + std::to_string(440 + 110 * i);
        }
        EXPECT_EQ(runCommand(cmd + " 2>&1").exitCode, 0) << cmd;
        return path;
    }

    testsupport::CommandResult record(const std::string& input, const std::string& args,
                                      int speed) {
        const std::string cfg = (dir.path() / "cfg").string();
        return runCommand("HOME=" + shellQuote(cfg) + " MIRELDO_CONFIG_DIR=" + shellQuote(cfg) +
                          " MIRELDO_AUDIO_MODE=virtual MIRELDO_VIRTUAL_SPEED=" +
                          std::to_string(speed) + " MIRELDO_VIRTUAL_INPUT=" + shellQuote(input) +
                          " " + shellQuote(testsupport::binDir() + "/mireldo-cli") + " record " +
                          args + " --folder " + shellQuote(out()) + " 2>/dev/null");
    }

    std::string out() const { return (dir.path() / "out").string(); }

    static std::string probe(const std::string& path, const std::string& entry) {
        const auto r = runCommand(toolBeside(MIRELDO_FFMPEG_EXE, "ffprobe") +
                                  " -v error -show_entries " + entry +
                                  " -of default=nw=1:nk=1 " + shellQuote(path));
        return r.exitCode == 0 && !r.output.empty() ? r.output.substr(0, r.output.find('\n'))
                                                    : std::string{};
    }
    static double duration(const std::string& path) {
        const std::string d = probe(path, "format=duration");
        return d.empty() ? -1 : std::stod(d);
    }

    testsupport::TempDir dir;
};

TEST_F(RecordCli, LongSilenceAction2SavesOneFilePerBurst) {
    const std::vector<double> bursts{1.0, 1.5, 0.8};
    const std::string input = makeInput("bursts.wav", bursts, 4.0);
    const auto r = record(input, "--format 3 --drop-silence --action 2 --long-silence 2 "
                                 "--encode wav", 5);
    ASSERT_EQ(r.exitCode, 0);
    const auto saved = lines(r.output);
    ASSERT_EQ(saved.size(), bursts.size()) << r.output;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        EXPECT_EQ(saved[i].rfind(out() + "/", 0), 0u) << saved[i];
        // Leading and trailing silence are dropped in whole capture buffers (10,240 bytes,
        // 58 ms here): at most two buffers of silence stay around each burst.
        const double d = duration(saved[i]);
        EXPECT_GE(d, bursts[i] - 0.06) << saved[i];
        EXPECT_LE(d, bursts[i] + 0.12) << saved[i];
    }
    EXPECT_EQ(QDir(QString::fromStdString(out())).entryList(QDir::Files).size(), 3);
}

TEST_F(RecordCli, LongSilenceAction4SavesOneFileAndStops) {
    const std::string input = makeInput("bursts4.wav", {1.0, 1.5}, 4.0);
    const auto r = record(input, "--format 3 --drop-silence --action 4 --long-silence 2 "
                                 "--encode mp3", 5);
    ASSERT_EQ(r.exitCode, 0);
    const auto saved = lines(r.output);
    ASSERT_EQ(saved.size(), 1u) << r.output;
    EXPECT_EQ(probe(saved[0], "stream=codec_name"), "mp3");
    EXPECT_NEAR(duration(saved[0]), 1.0, 0.15);
}

TEST_F(RecordCli, EveryFormatSavesAFileFfprobeReads) {
    const std::string input = makeInput("one.wav", {1.2}, 0, 48000, 2);
    const char* encodings[] = {"mp3", "wma", "ogg", "wav"};
    const char* codecs[] = {"mp3", "wmav2", "vorbis", "pcm_s16le"};
    for (int i = 0; i < 4; ++i) {
        const auto r = record(input, std::string("--format 1 --encode ") + encodings[i], 10);
        ASSERT_EQ(r.exitCode, 0) << encodings[i];
        const auto saved = lines(r.output);
        ASSERT_EQ(saved.size(), 1u) << r.output;
        EXPECT_EQ(saved[0].substr(saved[0].size() - 3), encodings[i]);
        EXPECT_EQ(probe(saved[0], "stream=codec_name"), codecs[i]) << saved[0];
        EXPECT_EQ(probe(saved[0], "stream=sample_rate"), "48000");
        EXPECT_NEAR(duration(saved[0]), 1.2, 0.15) << saved[0];
    }
    // Files saved within one second get " (2)", " (3)" ... instead of replacing each other.
    EXPECT_EQ(QDir(QString::fromStdString(out())).entryList(QDir::Files).size(), 4);
}

TEST_F(RecordCli, Mp3Below16kHzSavesAWav) {
    const std::string input = makeInput("low.wav", {0.5}, 0, 11025, 1);
    const auto r = record(input, "--format 10 --encode mp3 --quality 0", 10);
    ASSERT_EQ(r.exitCode, 0);
    const auto saved = lines(r.output);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].substr(saved[0].size() - 4), ".wav");
    EXPECT_EQ(probe(saved[0], "stream=sample_rate"), "11025");
}

TEST_F(RecordCli, DurationEndsTheRunAndShortRecordsAreDiscarded) {
    const std::string input = makeInput("long.wav", {30.0}, 0, 8000, 1);
    // Half a second at four times real time: about two seconds of input, in whole buffers
    // of 0.64 s.
    const auto r = record(input, "--format 12 --encode wav --duration 0.5", 4);
    ASSERT_EQ(r.exitCode, 0);
    const auto saved = lines(r.output);
    ASSERT_EQ(saved.size(), 1u);
    const double d = duration(saved[0]);
    EXPECT_GE(d, 0.64);
    EXPECT_LE(d, 2.6);

    const auto discarded =
        record(input, "--format 12 --encode wav --duration 0.5 --discard-shorter 5", 4);
    EXPECT_EQ(discarded.exitCode, 0);
    EXPECT_TRUE(lines(discarded.output).empty()) << discarded.output;
}

TEST(RecordArguments, FlagsOverrideAndBadValuesAreRefused) {
    mireldo::cli::RecordOptions o;
    EXPECT_TRUE(mireldo::cli::parseRecordArguments(
                    QStringList{QStringLiteral("--input"), QStringLiteral("2"),
                                QStringLiteral("--encode"), QStringLiteral("OGG"),
                                QStringLiteral("--drop-silence"), QStringLiteral("--quality"),
                                QStringLiteral("0"), QStringLiteral("--discard-shorter"),
                                QStringLiteral("3"), QStringLiteral("--duration"),
                                QStringLiteral("1.5")},
                    o)
                    .isEmpty());
    EXPECT_EQ(o.inputDevice, 2);
    EXPECT_EQ(o.encodeMethod, 2);
    EXPECT_TRUE(o.dropSilence);
    EXPECT_EQ(o.quality, 0);
    EXPECT_TRUE(o.discardShort);
    EXPECT_EQ(o.discardShorterSeconds, 3);
    ASSERT_TRUE(o.durationSeconds);
    EXPECT_DOUBLE_EQ(*o.durationSeconds, 1.5);

    for (const QStringList& bad :
         {QStringList{QStringLiteral("--action"), QStringLiteral("5")},
          QStringList{QStringLiteral("--quality"), QStringLiteral("16")},
          QStringList{QStringLiteral("--noise-level"), QStringLiteral("-1")},
          QStringList{QStringLiteral("--encode"), QStringLiteral("flac")},
          QStringList{QStringLiteral("--format"), QStringLiteral("28")},
          QStringList{QStringLiteral("--duration"), QStringLiteral("0")},
          QStringList{QStringLiteral("--folder")}, QStringList{QStringLiteral("--loud")}}) {
        mireldo::cli::RecordOptions x;
        EXPECT_FALSE(mireldo::cli::parseRecordArguments(bad, x).isEmpty()) << bad.join(u' ').toStdString();
    }
}

TEST_F(RecordCli, AMissingFolderIsAUsageError) {
    const std::string input = makeInput("x.wav", {0.3}, 0);
    const std::string cfg = (dir.path() / "cfg").string();
    const auto r = runCommand("HOME=" + shellQuote(cfg) + " MIRELDO_CONFIG_DIR=" +
                              shellQuote(cfg) + " MIRELDO_AUDIO_MODE=virtual " +
                              shellQuote(testsupport::binDir() + "/mireldo-cli") +
                              " record --folder " + shellQuote(dir.file("nowhere")) +
                              " 2>/dev/null");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.output.empty());
}

} // namespace
