// mireldo-cli record end to end on the virtual back-end: a WAV made with sox plays as the
// input; the saved files are read back with ffprobe.

#include "record_command.h"
#include "stale_files.h"
#include "test_support.h"

#include <QDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <unistd.h>
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
    std::string makeInput(const std::string& name, const std::vector<double>& bursts, double pause,
                          int rate = 44100, int channels = 2) {
        const std::string path = dir.file(name);
        std::string cmd = shellQuote(MIRELDO_SOX_EXE) + " -n -r " + std::to_string(rate) + " -c " +
                          std::to_string(channels) + " -b 16 " + shellQuote(path);
        for (std::size_t i = 0; i < bursts.size(); ++i) {
            if (i > 0) {
                cmd += " : synth " + std::to_string(pause) + " sine 0 vol 0 :";
            }
            cmd += " synth " + std::to_string(bursts[i]) + " sine " + std::to_string(440 + 110 * i);
        }
        EXPECT_EQ(runCommand(cmd + " 2>&1").exitCode, 0) << cmd;
        return path;
    }

    // The command line of a recording run (records in progress go to rec()).
    std::string recordCommand(const std::string& input, const std::string& args, int speed) const {
        const std::string cfg = (dir.path() / "cfg").string();
        return "HOME=" + shellQuote(cfg) + " MIRELDO_CONFIG_DIR=" + shellQuote(cfg) +
               " MIRELDO_TEMP_DIR=" + shellQuote(rec()) +
               " MIRELDO_AUDIO_MODE=virtual MIRELDO_VIRTUAL_SPEED=" + std::to_string(speed) +
               " MIRELDO_VIRTUAL_INPUT=" + shellQuote(input) + " " +
               shellQuote(testsupport::binDir() + "/mireldo-cli") + " record " + args +
               " --folder " + shellQuote(out());
    }

    testsupport::CommandResult record(const std::string& input, const std::string& args,
                                      int speed) {
        return runCommand(recordCommand(input, args, speed) + " 2>/dev/null");
    }

    // Starts a recording run in the background; its output, diagnostics, exit status and
    // process id go to files named by `tag`.
    void startRecording(const std::string& tag, const std::string& input, const std::string& args,
                        int speed) {
        const std::string cmd = "sh -c " +
                                shellQuote("echo $$ > " + shellQuote(dir.file(tag + ".pid")) +
                                           "; exec env " + recordCommand(input, args, speed)) +
                                " > " + shellQuote(dir.file(tag + ".out")) + " 2> " +
                                shellQuote(dir.file(tag + ".err")) + "; echo $? > " +
                                shellQuote(dir.file(tag + ".status"));
        ASSERT_EQ(runCommand("( " + cmd + " ) > /dev/null 2>&1 &").exitCode, 0);
    }

    // Waits (seconds at most) for the background run `tag` to end; its exit status, -1 when
    // it did not end.
    int waitForRun(const std::string& tag) {
        const std::string status = dir.file(tag + ".status");
        if (!waitFor([&] { return std::filesystem::exists(status) && !text(status).empty(); })) {
            return -1;
        }
        return std::stoi(text(status));
    }

    // The first temporary WAV in rec() holding more than `bytes`; empty when none comes
    // within the time limit.
    std::string waitForRecording(std::uintmax_t bytes) {
        std::string found;
        waitFor([&] {
            std::error_code error;
            for (const auto& e : std::filesystem::directory_iterator(rec(), error)) {
                const std::string name = e.path().filename().string();
                if (name.rfind("mireldo_temp_", 0) == 0 && e.path().extension() == ".wav" &&
                    std::filesystem::file_size(e.path(), error) > bytes) {
                    found = e.path().string();
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    static bool waitFor(const std::function<bool()>& done, int seconds = 60) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            QThread::msleep(5);
        }
        return true;
    }

    static std::string text(const std::string& path) {
        std::ifstream in(path);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    // The bytes of the data chunk of a WAV file.
    static std::vector<uint8_t> pcmOf(const std::string& path) {
        const std::vector<uint8_t> bytes = testsupport::readFile(path);
        std::size_t at = 12;
        while (at + 8 <= bytes.size()) {
            const uint32_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 |
                                  static_cast<uint32_t>(bytes[at + 7]) << 24;
            if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
                const std::size_t end = std::min<std::size_t>(bytes.size(), at + 8 + size);
                return {bytes.begin() + static_cast<std::ptrdiff_t>(at + 8),
                        bytes.begin() + static_cast<std::ptrdiff_t>(end)};
            }
            at += 8 + size + (size & 1);
        }
        return {};
    }

    // The start-up recovery of the window over rec(), into recovered().
    mireldo::StaleFileReport recoverAsTheWindowDoes(bool processTest) const {
        mireldo::StaleFileOptions options;
        options.temporaryFolder = QString::fromStdString(rec());
        options.recordFolder = QString::fromStdString(recovered());
        options.homeFolder = QString::fromStdString(dir.file("home"));
        if (!processTest) {
            options.isRunningProcess = [](std::int64_t) { return false; };
        }
        return mireldo::removeStaleTemporaryFiles(options);
    }

    std::string out() const { return (dir.path() / "out").string(); }
    std::string rec() const { return (dir.path() / "rec").string(); }
    std::string recovered() const { return (dir.path() / "recovered").string(); }

    static std::string probe(const std::string& path, const std::string& entry) {
        const auto r =
            runCommand(toolBeside(MIRELDO_FFMPEG_EXE, "ffprobe") + " -v error -show_entries " +
                       entry + " -of default=nw=1:nk=1 " + shellQuote(path));
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
    const auto r = record(input,
                          "--format 3 --drop-silence --action 2 --long-silence 2 "
                          "--encode wav",
                          5);
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

TEST_F(RecordCli, SplitsLoseNothingOnAnInputThatRunsOnWhileClosed) {
    // 16 s of tones and pauses played by an input that runs on whatever the recorder does, as
    // a sound card does, from the moment recording starts; a record is split every 3 s (96,000
    // bytes at 16 kHz mono) and at every long silence. Put end to end, the saved records are the
    // input exactly.
    const std::string input = makeInput("run.wav", {3.5, 4.0, 2.5}, 3.0, 16000, 1);
    const std::string cmd =
        "MIRELDO_VIRTUAL_INPUT_FREE_RUNNING=1 MIRELDO_RECORD_SIZE_LIMIT=96044 " +
        recordCommand(input,
                      "--format 8 --action 2 --long-silence 2 "
                      "--encode wav",
                      10);
    const auto r = runCommand(cmd + " 2>/dev/null");
    ASSERT_EQ(r.exitCode, 0);
    const auto saved = lines(r.output);
    ASSERT_GE(saved.size(), 6u) << r.output;
    std::vector<uint8_t> joined;
    for (const std::string& path : saved) {
        const auto pcm = pcmOf(path);
        joined.insert(joined.end(), pcm.begin(), pcm.end());
    }
    const auto original = pcmOf(input);
    ASSERT_EQ(joined.size(), original.size()) << "bytes lost or added at the splits";
    EXPECT_TRUE(joined == original);
    // Nothing was left behind in the recording folder.
    EXPECT_TRUE(QDir(QString::fromStdString(rec())).entryList(QDir::Files).isEmpty());
}

TEST_F(RecordCli, LongSilenceAction4SavesOneFileAndStops) {
    const std::string input = makeInput("bursts4.wav", {1.0, 1.5}, 4.0);
    const auto r = record(input,
                          "--format 3 --drop-silence --action 4 --long-silence 2 "
                          "--encode mp3",
                          5);
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
    EXPECT_TRUE(
        mireldo::cli::parseRecordArguments(
            QStringList{QStringLiteral("--input"), QStringLiteral("2"), QStringLiteral("--encode"),
                        QStringLiteral("OGG"), QStringLiteral("--drop-silence"),
                        QStringLiteral("--quality"), QStringLiteral("0"),
                        QStringLiteral("--discard-shorter"), QStringLiteral("3"),
                        QStringLiteral("--duration"), QStringLiteral("1.5")},
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
        EXPECT_FALSE(mireldo::cli::parseRecordArguments(bad, x).isEmpty())
            << bad.join(u' ').toStdString();
    }
}

TEST(RecordArguments, PreRollHoldAndMeasureNoise) {
    mireldo::cli::RecordOptions o;
    EXPECT_TRUE(mireldo::cli::parseRecordArguments(
                    QStringList{QStringLiteral("--pre-roll"), QStringLiteral("0.5"),
                                QStringLiteral("--hold"), QStringLiteral("200"),
                                QStringLiteral("--measure-noise")},
                    o)
                    .isEmpty());
    EXPECT_EQ(o.preRollTenths, 5);
    EXPECT_EQ(o.holdMilliseconds, 200);
    EXPECT_TRUE(o.measureNoise);
    mireldo::cli::RecordOptions edges;
    EXPECT_TRUE(mireldo::cli::parseRecordArguments(
                    QStringList{QStringLiteral("--pre-roll"), QStringLiteral("2"),
                                QStringLiteral("--hold"), QStringLiteral("0")},
                    edges)
                    .isEmpty());
    EXPECT_EQ(edges.preRollTenths, 20);
    EXPECT_FALSE(edges.measureNoise);
    for (const QStringList& bad :
         {QStringList{QStringLiteral("--pre-roll"), QStringLiteral("2.1")},
          QStringList{QStringLiteral("--pre-roll"), QStringLiteral("-0.1")},
          QStringList{QStringLiteral("--pre-roll"), QStringLiteral("x")},
          QStringList{QStringLiteral("--hold"), QStringLiteral("501")},
          QStringList{QStringLiteral("--hold"), QStringLiteral("-1")},
          QStringList{QStringLiteral("--hold")}}) {
        mireldo::cli::RecordOptions x;
        EXPECT_FALSE(mireldo::cli::parseRecordArguments(bad, x).isEmpty())
            << bad.join(u' ').toStdString();
    }
}

// 8000 Hz 16-bit mono: `silentFrames` of digital silence, then `toneFrames` of a loud tone.
std::vector<uint8_t> silenceThenTone(int silentFrames, int toneFrames) {
    std::vector<uint8_t> pcm;
    for (int i = 0; i < silentFrames + toneFrames; ++i) {
        const double v =
            i < silentFrames ? 0.0 : 12000.0 * std::sin(i * 2 * 3.14159265 * 440 / 8000);
        testsupport::putU16(pcm, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v))));
    }
    return pcm;
}

TEST_F(RecordCli, PreRollKeepsHalfASecondBeforeTheFirstSoundBuffer) {
    // The tone starts at 1.5 s (24,000 bytes), inside the third buffer (20,480..30,720): the
    // record starts 0.5 s (8,000 bytes) before that buffer, at byte 12,480 of the input.
    const std::vector<uint8_t> pcm = silenceThenTone(12000, 8000);
    const std::string input = dir.file("late.wav");
    testsupport::writeFile(input, testsupport::makeWav(1, 8000, 16, pcm));
    const auto r = record(input, "--format 12 --drop-silence --pre-roll 0.5 --encode wav", 8);
    ASSERT_EQ(r.exitCode, 0);
    const auto saved = lines(r.output);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(pcmOf(saved[0]), std::vector<uint8_t>(pcm.begin() + 12480, pcm.end()));

    // Without pre-roll the record starts at the first sound buffer, as it always did.
    const auto plain = record(input, "--format 12 --drop-silence --encode wav", 8);
    ASSERT_EQ(plain.exitCode, 0);
    const auto plainSaved = lines(plain.output);
    ASSERT_EQ(plainSaved.size(), 1u);
    EXPECT_EQ(pcmOf(plainSaved[0]), std::vector<uint8_t>(pcm.begin() + 20480, pcm.end()));
}

TEST_F(RecordCli, MeasureNoisePrintsTheNoiseAndTheLevelItProposes) {
    // Uniform noise in [-520, 520] from a fixed generator: about 260, which needs level 2.
    std::vector<uint8_t> pcm;
    std::uint32_t state = 99;
    for (int i = 0; i < 8000 * 4; ++i) {
        state = state * 1664525u + 1013904223u;
        const int v = static_cast<int>((state >> 8) % 1041u) - 520;
        testsupport::putU16(pcm, static_cast<uint16_t>(static_cast<int16_t>(v)));
    }
    const std::string input = dir.file("noise.wav");
    testsupport::writeFile(input, testsupport::makeWav(1, 8000, 16, pcm));
    const auto r = record(input, "--format 12 --measure-noise", 8);
    ASSERT_EQ(r.exitCode, 0);
    const auto printed = lines(r.output);
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_NE(printed[0].find(": --noise-level 2"), std::string::npos) << printed[0];
    const int measured = std::stoi(printed[0].substr(6));
    EXPECT_NEAR(measured, 260, 10);
    // Nothing was recorded or saved.
    EXPECT_TRUE(std::filesystem::is_empty(out()));
}

TEST_F(RecordCli, AMissingFolderIsAUsageError) {
    const std::string input = makeInput("x.wav", {0.3}, 0);
    const std::string cfg = (dir.path() / "cfg").string();
    const auto r = runCommand(
        "HOME=" + shellQuote(cfg) + " MIRELDO_CONFIG_DIR=" + shellQuote(cfg) +
        " MIRELDO_AUDIO_MODE=virtual " + shellQuote(testsupport::binDir() + "/mireldo-cli") +
        " record --folder " + shellQuote(dir.file("nowhere")) + " 2>/dev/null");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.output.empty());
}

TEST(RecordArguments, ALongSilenceARecordCannotHoldIsAUsageError) {
    // 3,000 s of 48 kHz 16-bit stereo (576,000,000 bytes) fits in a record; 20,000 s does not,
    // but at 8 kHz 8-bit mono (160,000,000 bytes) it does.
    mireldo::cli::RecordOptions o;
    EXPECT_TRUE(mireldo::cli::parseRecordArguments(
                    QStringList{QStringLiteral("--format"), QStringLiteral("1"),
                                QStringLiteral("--long-silence"), QStringLiteral("3000")},
                    o)
                    .isEmpty());
    EXPECT_EQ(o.longSilenceSeconds, 3000);
    mireldo::cli::RecordOptions tooLong;
    EXPECT_FALSE(mireldo::cli::parseRecordArguments(
                     QStringList{QStringLiteral("--long-silence"), QStringLiteral("20000"),
                                 QStringLiteral("--format"), QStringLiteral("1")},
                     tooLong)
                     .isEmpty());
    mireldo::cli::RecordOptions small;
    EXPECT_TRUE(mireldo::cli::parseRecordArguments(
                    QStringList{QStringLiteral("--long-silence"), QStringLiteral("20000"),
                                QStringLiteral("--format"), QStringLiteral("26")},
                    small)
                    .isEmpty());
}

TEST_F(RecordCli, ALongSilenceARecordCannotHoldExitsWithAUsageError) {
    const std::string input = makeInput("x.wav", {0.3}, 0);
    const auto r = record(input, "--format 1 --long-silence 20000", 10);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.output.empty());
}

TEST_F(RecordCli, AWriteErrorExitsOneAndStillSavesWhatWasRecorded) {
    const std::string input = makeInput("long.wav", {3.0}, 0);
    // Files of at most 400 blocks of 512 bytes (204,800 bytes): the record cannot grow past
    // that, as on a full disk. The signal such a write raises is ignored, so it fails.
    const auto r = runCommand("ulimit -f 400; trap '' XFSZ; " +
                              recordCommand(input, "--format 3 --encode wav", 10) + " 2> " +
                              shellQuote(dir.file("err")));
    EXPECT_EQ(r.exitCode, 1);
    const auto saved = lines(r.output);
    ASSERT_EQ(saved.size(), 1u) << r.output;
    const std::vector<uint8_t> bytes = testsupport::readFile(saved[0]);
    ASSERT_GT(bytes.size(), 44u);
    EXPECT_LE(bytes.size(), 204800u);
    const std::vector<uint8_t> data = pcmOf(saved[0]);
    EXPECT_EQ(data.size(), bytes.size() - 44); // the header agrees with the file
    EXPECT_EQ(data.size() % 4, 0u);            // whole frames only
    const std::vector<uint8_t> sent = pcmOf(input);
    ASSERT_LE(data.size(), sent.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), sent.begin()));
    EXPECT_NE(text(dir.file("err")).find("Fail to create a file"), std::string::npos);
}

TEST_F(RecordCli, FailedSplitSavesKeepEveryRecordRecordOnAndExitOne) {
    const std::vector<double> bursts{1.0, 1.5, 0.8};
    const std::string input = makeInput("bursts.wav", bursts, 4.0);
    startRecording("split", input,
                   "--format 3 --drop-silence --action 2 --long-silence 2 "
                   "--encode wav",
                   2);
    // The record folder goes away while the first record is captured: no save can succeed.
    ASSERT_FALSE(waitForRecording(44).empty());
    std::filesystem::remove_all(out());
    ASSERT_EQ(waitForRun("split"), 1);
    EXPECT_TRUE(lines(text(dir.file("split.out"))).empty());
    // Every record stays in the recording folder, its path told.
    std::vector<std::string> kept;
    for (const std::string& line : lines(text(dir.file("split.err")))) {
        const std::string mark = "it is kept in ";
        const auto at = line.find(mark);
        if (at != std::string::npos) {
            const std::string rest = line.substr(at + mark.size());
            kept.push_back(rest.substr(0, rest.find(" (")));
        }
    }
    ASSERT_EQ(kept.size(), bursts.size()) << text(dir.file("split.err"));
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i].rfind(rec() + "/mireldo_temp_", 0), 0u) << kept[i];
        EXPECT_TRUE(std::filesystem::exists(kept[i])) << kept[i];
    }
    // The window's next start recovers them, each holding its burst.
    const mireldo::StaleFileReport report = recoverAsTheWindowDoes(true);
    ASSERT_EQ(report.recovered.size(), 3);
    std::vector<double> durations;
    for (const QString& path : report.recovered) {
        durations.push_back(duration(path.toStdString()));
    }
    std::sort(durations.begin(), durations.end());
    const std::vector<double> expected{0.8, 1.0, 1.5};
    for (std::size_t i = 0; i < durations.size(); ++i) {
        EXPECT_GE(durations[i], expected[i] - 0.06);
        EXPECT_LE(durations[i], expected[i] + 2.2); // the silence up to the split stays
    }
}

TEST_F(RecordCli, TheWindowsRecoveryLeavesALiveRecordingAloneAndItIsSavedWhole) {
    const std::string input = makeInput("tone.wav", {2.0}, 0);
    startRecording("live", input, "--format 3 --encode wav", 2);
    const std::string live = waitForRecording(44);
    ASSERT_FALSE(live.empty());
    // Only the lock protects the file here: the process test is told the recorder is dead.
    const mireldo::StaleFileReport report = recoverAsTheWindowDoes(false);
    EXPECT_TRUE(report.recovered.isEmpty());
    EXPECT_TRUE(report.deleted.isEmpty());
    EXPECT_TRUE(report.kept.contains(QString::fromStdString(live)));
    ASSERT_EQ(waitForRun("live"), 0) << text(dir.file("live.err"));
    const auto saved = lines(text(dir.file("live.out")));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(pcmOf(saved[0]), pcmOf(input)); // every frame of the input, nothing else
    EXPECT_FALSE(std::filesystem::exists(live));
}

TEST_F(RecordCli, AKilledRecordingIsRecoveredWhole) {
    const std::string input = makeInput("tone.wav", {6.0}, 0);
    startRecording("killed", input, "--format 3 --encode wav", 1);
    const std::string live = waitForRecording(100000);
    ASSERT_FALSE(live.empty());
    const pid_t pid = std::stoi(text(dir.file("killed.pid")));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_EQ(waitForRun("killed"), 128 + SIGKILL);

    const mireldo::StaleFileReport report = recoverAsTheWindowDoes(true);
    ASSERT_EQ(report.recovered.size(), 1) << report.kept.join(u' ').toStdString();
    const std::string path = report.recovered[0].toStdString();
    const std::vector<uint8_t> bytes = testsupport::readFile(path);
    const std::vector<uint8_t> data = pcmOf(path);
    EXPECT_EQ(data.size(), bytes.size() - 44);
    EXPECT_GE(data.size(), 100000u - 44);
    EXPECT_EQ(data.size() % 4, 0u);
    const std::vector<uint8_t> sent = pcmOf(input);
    ASSERT_LE(data.size(), sent.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), sent.begin()));
}

} // namespace
