// Splits lose nothing: the virtual input runs on by a manual clock whether or not the device
// is there to take its audio (as a sound card does), the clock moves several buffers at a
// time (so buffers are in flight when a record splits), and the records a run saves, put
// end to end, must be the input frame for frame: as WAV copies exactly, as MP3 made on the fly
// with every record's length within one encoder frame and the audio in place. The real
// saving code runs, with the real plug-ins, its saves on their worker thread.

#include "capture_session.h"
#include "encoder_table.h"
#include "record_saving.h"
#include "recorder_fakes.h"
#include "test_support.h"
#include "audio/virtual_clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

using namespace mireldo::recorder;
using mireldo::platform::audio::ManualClock;

namespace {

using Samples = std::vector<std::int16_t>;

constexpr std::uint32_t kRate = 16000; // row 8: 16000 Hz, 16 bits, mono
constexpr int kFormatRow = 8;
constexpr std::uint32_t kMp3FrameSamples = 1152;

// 11.5 s: tones with two pauses of digital silence, long enough for the long-silence action.
Samples makeInput() {
    const std::pair<double, bool> parts[] = {
        {2.2, true}, {2.5, false}, {3.0, true}, {2.5, false}, {1.3, true}};
    Samples out;
    double phase = 0;
    int part = 0;
    for (const auto& [seconds, loud] : parts) {
        const auto count = static_cast<std::size_t>(seconds * kRate);
        const double step = 2.0 * M_PI * (330.0 + 110.0 * part++) / kRate;
        for (std::size_t i = 0; i < count; ++i) {
            // A tone with a slow swell, so that no stretch of it repeats another.
            const double swell = 0.5 + 0.4 * std::sin(static_cast<double>(out.size()) / 3000.0);
            out.push_back(
                loud ? static_cast<std::int16_t>(std::lround(14000.0 * swell * std::sin(phase)))
                     : std::int16_t{0});
            phase += step;
        }
    }
    return out;
}

std::vector<std::uint8_t> bytesOf(const Samples& s) {
    std::vector<std::uint8_t> out(s.size() * 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto u = static_cast<std::uint16_t>(s[i]);
        out[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
        out[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
    return out;
}

Samples samplesOf(const std::vector<std::uint8_t>& bytes, std::size_t from) {
    Samples out;
    for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
        out.push_back(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    return out;
}

// Decodes `path` with ffmpeg to 16000 Hz mono 16-bit samples.
Samples decode(const QString& path) {
    const std::string cmd = testsupport::shellQuote(MIRELDO_FFMPEG_EXE) + " -v error -i " +
                            testsupport::shellQuote(path.toStdString()) +
                            " -f s16le -ac 1 -ar 16000 -";
    const testsupport::CommandResult r = testsupport::runCommand(cmd);
    EXPECT_EQ(r.exitCode, 0) << cmd;
    return samplesOf(std::vector<std::uint8_t>(r.output.begin(), r.output.end()), 0);
}

// Saves into one folder without asking; every save a second after the last (names differ).
class TestHost final : public FinalisationHost {
  public:
    SaveSettings settings;
    std::vector<QString> saved; // in the order the saves completed
    int percentReports = 0;

    SaveSettings saveSettings() const override { return settings; }
    std::optional<QString> askSaveAs(const QString&, const QString&, const QString&) override {
        ADD_FAILURE() << "an automatic save asked for a name";
        return std::nullopt;
    }
    bool confirm(const QString&) override { return false; }
    void setWaitCursor(bool) override {}
    std::unique_ptr<mireldo::encoders::CompressProgress> makeProgress() override { return nullptr; }
    void recordSaved(const QString& path) override { saved.push_back(path); }
    QDateTime now() const override {
        return QDateTime(QDate(2024, 3, 2), QTime(9, 5, 0)).addSecs(clock_++);
    }
    void sleepMs(int) override {}

  private:
    mutable int clock_ = 0;
};

class ProgressView final : public rectest::FakeView {
  public:
    std::vector<int> progress;
    void showSaveProgress(int percent) override { progress.push_back(percent); }
};

void settle() {
    for (int round = 0; round < 20; ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

const mireldo::encoders::EncoderTable& plugins() {
    static auto* const table = [] {
        auto* t = new mireldo::encoders::EncoderTable;
        t->load();
        return t;
    }();
    return *table;
}

struct Split {
    const char* name;
    bool sizeLimit; ///< split at a record size of 2.5 s; else action 2 after 1 s of silence
};

struct RunResult {
    std::vector<QString> records; // every saved file, in order
    std::vector<QString> kept;
    std::vector<QString> messages;
    std::vector<int> progress;
    std::vector<RecorderStatus> statuses;
    bool pendingAfterClose = false;
};

// How a run records.
struct RunSettings {
    int encodeMethod = 3;
    bool sizeLimit = true; ///< split at 2.5 s; else the long-silence action 2 after 1 s
    bool dropBlanks = false;
    QString recordFolder; ///< empty: a folder of the run's own
    /// End as the window closes (New Record's question answered Yes, then the close), not
    /// as mireldo-cli ends.
    bool closeAsTheWindow = false;
};

class GaplessRun : public ::testing::Test {
  protected:
    void SetUp() override {
        rectest::coreApp();
        ASSERT_TRUE(plugins().isLoaded(0)) << "mpeg_enc is not built";
        input = makeInput();
        ::setenv("MIRELDO_AUDIO_MODE", "virtual", 1);
        ::setenv("MIRELDO_VIRTUAL_SPEED", "1", 1);
        ::setenv("MIRELDO_VIRTUAL_INPUT_FREE_RUNNING", "1", 1);
    }
    void TearDown() override {
        ::unsetenv("MIRELDO_VIRTUAL_INPUT");
        ::unsetenv("MIRELDO_VIRTUAL_INPUT_FREE_RUNNING");
    }

    // Records the whole input and saves what is left at the end, as mireldo-cli does (a record
    // that cannot be saved is kept).
    RunResult run(const std::string& tag, const RunSettings& how) {
        // A file of its own: a free-running input starts playing when it is first opened.
        const std::string inputPath = dir.file(tag + "-input.wav");
        testsupport::writeFile(inputPath, testsupport::makeWav(1, kRate, 16, bytesOf(input)));
        ::setenv("MIRELDO_VIRTUAL_INPUT", inputPath.c_str(), 1);
        const auto out = dir.path() / (tag + "-out");
        const auto tmp = dir.path() / (tag + "-tmp");
        std::filesystem::create_directories(out);
        std::filesystem::create_directories(tmp);

        ProgressView view;
        view.opts.formatRow = kFormatRow;
        view.opts.encodeMethod = how.encodeMethod;
        view.opts.longBlankSeconds = 1;
        view.opts.silence.dropBlanks = how.dropBlanks;
        view.opts.silence.actionAtBlank = how.sizeLimit ? 0 : 2;
        TestHost host;
        host.settings.recordFolder =
            how.recordFolder.isEmpty() ? QString::fromStdString(out.string()) : how.recordFolder;
        RecordSaving saving(plugins(), host);
        CaptureSession::Environment env;
        env.freeSpace = [](const QString&) { return std::optional<std::uint64_t>(1ull << 40); };
        env.temporaryFolder = QString::fromStdString(tmp.string());
        env.withPlayer = false;
        if (how.sizeLimit) {
            env.sizeLimit = 44 + kRate * 2 * 5 / 2; // 2.5 s
        }
        RunResult result;
        {
            CaptureSession session(view, env);
            session.setFinalisation(&saving);
            session.record();
            settle();
            // 2.5 buffers a step: several buffers come back at once and one is always
            // partly filled, so a split happens with audio in flight.
            constexpr std::chrono::milliseconds kStep{800};
            for (int i = 0; i < 40 && session.recording(); ++i) {
                clock.advance(kStep);
                settle();
            }
            EXPECT_FALSE(session.recording()) << "the input did not end";
            EXPECT_EQ(session.fault(), RecordingFault::None);
            if (how.closeAsTheWindow) {
                view.answers = {RecorderAnswer::Yes};
                EXPECT_TRUE(session.requestClose());
                result.pendingAfterClose = saving.savesPending();
            }
            saving.waitForSaves();
            if (session.dataLength() != 0) {
                saving.save(session, true);
                if (!session.saved()) {
                    session.keepRecord();
                }
            }
        }
        result.records = host.saved;
        result.kept = view.kept;
        result.messages = view.messages;
        result.progress = view.progress;
        result.statuses = view.statuses;
        return result;
    }

    // The records' samples (after their headers), end to end.
    static Samples joined(const std::vector<QString>& paths) {
        Samples all;
        for (const QString& path : paths) {
            const Samples s = samplesOf(testsupport::readFile(path.toStdString()), 44);
            all.insert(all.end(), s.begin(), s.end());
        }
        return all;
    }

    ManualClock clock;
    testsupport::TempDir dir;
    Samples input;
};

class GaplessSplit : public GaplessRun, public ::testing::WithParamInterface<Split> {};

TEST_P(GaplessSplit, TheRecordsOfARunHoldTheInputFrameForFrame) {
    RunSettings how;
    how.sizeLimit = GetParam().sizeLimit;
    // WAV: copies of the records, which put end to end are the input exactly.
    const RunResult wav = run("wav", how);
    EXPECT_TRUE(wav.kept.empty());
    ASSERT_GE(wav.records.size(), 4u) << "too few splits to prove anything";
    Samples joined;
    std::vector<std::size_t> lengths;
    for (const QString& path : wav.records) {
        EXPECT_TRUE(path.endsWith(QStringLiteral(".wav"))) << path.toStdString();
        const auto bytes = testsupport::readFile(path.toStdString());
        ASSERT_GE(bytes.size(), 44u);
        const Samples s = samplesOf(bytes, 44);
        EXPECT_EQ(bytes[40] | bytes[41] << 8 | bytes[42] << 16 | bytes[43] << 24,
                  static_cast<int>(s.size() * 2)); // the header has the record's size
        lengths.push_back(s.size());
        joined.insert(joined.end(), s.begin(), s.end());
    }
    ASSERT_EQ(joined.size(), input.size()) << "frames lost or added at the splits";
    EXPECT_TRUE(joined == input) << "frames out of place";
    if (!GetParam().sizeLimit) {
        // The records end at long silences, so the tones come whole.
        EXPECT_TRUE(
            std::all_of(lengths.begin(), lengths.end(), [](std::size_t n) { return n >= kRate; }));
    }

    // MP3 compressed on the fly, the same run: every record's length within one encoder
    // frame of its WAV twin's, and the audio where it belongs.
    how.encodeMethod = 0;
    const RunResult mp3 = run("mp3", how);
    EXPECT_TRUE(mp3.kept.empty());
    ASSERT_EQ(mp3.records.size(), wav.records.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < mp3.records.size(); ++i) {
        const QString& path = mp3.records[i];
        EXPECT_TRUE(path.endsWith(QStringLiteral(".mp3"))) << path.toStdString();
        const Samples s = decode(path);
        const auto diff = static_cast<long long>(s.size()) - static_cast<long long>(lengths[i]);
        EXPECT_LE(std::llabs(diff), kMp3FrameSamples) << "record " << i;
        // The decoded record against the input where the record began: close where it sounds.
        double signal = 0;
        double noise = 0;
        for (std::size_t k = 0; k < std::min(s.size(), lengths[i]); ++k) {
            const double want = input[at + k];
            signal += want * want;
            noise += (want - s[k]) * (want - s[k]);
        }
        if (signal > 0) {
            EXPECT_GT(10.0 * std::log10(signal / std::max(noise, 1.0)), 15.0)
                << "record " << i << " is not the input at its place";
        }
        at += lengths[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Splits, GaplessSplit,
                         ::testing::Values(Split{"SizeLimit", true},
                                           Split{"LongSilenceAction2", false}),
                         [](const ::testing::TestParamInfo<Split>& paramInfo) {
                             return std::string(paramInfo.param.name);
                         });

TEST_F(GaplessRun, SavesThatFailKeepEveryRecordWhileRecordingGoesOn) {
    // A record folder nothing can be written into, not even by root.
    RunSettings how;
    how.recordFolder = QStringLiteral("/proc");
    const RunResult r = run("failing", how);
    EXPECT_TRUE(r.records.empty());
    ASSERT_GE(r.kept.size(), 4u);
    EXPECT_EQ(
        std::count(r.messages.begin(), r.messages.end(), QStringLiteral("Failed to save file.")),
        static_cast<long>(r.kept.size()));
    // Every record stays whole in the recording folder, unlocked and with its sizes, and
    // together they are still the input: recording never paused for a failed save.
    for (const QString& path : r.kept) {
        const auto bytes = testsupport::readFile(path.toStdString());
        ASSERT_GE(bytes.size(), 44u) << path.toStdString();
        EXPECT_EQ(bytes[40] | bytes[41] << 8 | bytes[42] << 16 | bytes[43] << 24,
                  static_cast<int>(bytes.size() - 44));
    }
    EXPECT_TRUE(joined(r.kept) == input);
}

TEST_F(GaplessRun, ClosingTheWindowWaitsForTheSavesStillRunning) {
    RunSettings how;
    how.closeAsTheWindow = true;
    const RunResult r = run("close", how);
    EXPECT_FALSE(r.pendingAfterClose);
    EXPECT_TRUE(r.kept.empty());
    ASSERT_GE(r.records.size(), 4u);
    EXPECT_TRUE(joined(r.records) == input);
}

TEST_F(GaplessRun, ACompressionInTheBackgroundShowsItsProgressAndRecordingShowsThroughout) {
    // With drop-silence, a record split at a long silence loses its silent tail, so its
    // on-the-fly MP3 no longer fits and the record is compressed again from the WAV.
    RunSettings how;
    how.encodeMethod = 0;
    how.sizeLimit = false;
    how.dropBlanks = true;
    const RunResult r = run("progress", how);
    EXPECT_TRUE(r.kept.empty());
    ASSERT_GE(r.records.size(), 3u);
    ASSERT_FALSE(r.progress.empty());
    EXPECT_NE(std::find(r.progress.begin(), r.progress.end(), 100), r.progress.end());
    EXPECT_EQ(r.progress.back(), -1); // cleared when the save ended
    // The status line never left "Recording ..." for a split's save.
    const auto firstPause = std::find(r.statuses.begin(), r.statuses.end(), RecorderStatus::Paused);
    EXPECT_EQ(std::count(r.statuses.begin(), firstPause, RecorderStatus::Saving), 0);
    EXPECT_EQ(std::count(r.statuses.begin(), firstPause, RecorderStatus::Ready), 0);
    // The tones are saved whole: each record decodes to sound of the input's length or more.
    for (const QString& path : r.records) {
        EXPECT_TRUE(path.endsWith(QStringLiteral(".mp3")));
        EXPECT_GE(decode(path).size(), kRate);
    }
}

} // namespace
