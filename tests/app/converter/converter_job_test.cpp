#include "converter_fixtures.h"
#include "converter_job.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace mireldo::converter;
using convtest::qs;

namespace {

constexpr int kMp3 = 0, kWav = 1, kOgg = 2, kWma = 3;

// Records what the job reports and cancels when told to.
class RecordingView : public JobView {
  public:
    int cancelAtSource = -1; ///< request cancel once this source has started
    int current = -1;
    int pauses = 0;
    int unreadable = 0;
    std::vector<ConvertResult> finished;

    void sourceStarted(int index) override { current = index; }
    void sourceFinished(int, ConvertResult r, const QString&) override { finished.push_back(r); }
    bool cancelRequested() override { return cancelAtSource >= 0 && current >= cancelAtSource; }
    void pause(int ms) override { pauses += ms == 50 ? 1 : 1000; }
    void sourceUnreadable(const QString&) override { ++unreadable; }
};

JobOptions options(const std::string& destination, int type, bool merge = false) {
    JobOptions o;
    o.choices.destination = qs(destination);
    o.choices.typeIndex = type;
    o.merge = merge;
    return o;
}

std::vector<JobSource> sourcesOf(std::initializer_list<std::string> paths) {
    std::vector<JobSource> s;
    for (const auto& p : paths) {
        s.push_back({qs(p), {}});
    }
    return s;
}

JobOutcome run(const std::vector<JobSource>& sources, const JobOptions& o) {
    RecordingView view;
    return runJob(convtest::builtTable(), sources, o, view);
}

class ConverterJob : public ::testing::Test {
  protected:
    testsupport::TempDir dir;
    std::string file(const std::string& name) { return dir.file(name); }
};

} // namespace

TEST_F(ConverterJob, RangesCutTheSourceAndOutOfRangeEndsFallBack) {
    const auto src = convtest::writeTone(file("tone.wav"), 8000, 1, 8000);
    struct Case {
        float start, end;
        std::uint32_t frames;
    };
    // 0.5 s to past the end: to the last frame. Start = end: all. Start past the end: from 0.
    for (const Case c : {Case{0.5f, 5.0f, 4000}, Case{0.3f, 0.3f, 8000}, Case{3.0f, 4.0f, 8000},
                         Case{0.25f, 0.5f, 2001}}) {
        std::filesystem::remove(file("cut.wav"));
        std::vector<JobSource> s{{qs(src), {c.start, c.end}}};
        const auto out = run(s, options(file("cut.wav"), kWav));
        ASSERT_EQ(out.results, std::vector{ConvertResult::Converted});
        const auto d = convtest::decodeAll(file("cut.wav"));
        EXPECT_EQ(d.frames, c.frames) << c.start << "-" << c.end;
    }
    // The cut starts at the right sample: unchanged format copies the decoded values.
    const auto whole = convtest::decodeAll(src);
    const auto cut = convtest::decodeAll(file("cut.wav"));
    ASSERT_EQ(cut.samples.size(), 2001u);
    EXPECT_TRUE(std::equal(cut.samples.begin(), cut.samples.end(), whole.samples.begin() + 2000));
}

TEST_F(ConverterJob, MergeConvertsLaterSourcesToTheFirstSourcesFormat) {
    const auto a = convtest::writeTone(file("a.wav"), 44100, 2, 44100);
    const auto b = convtest::writeTone(file("b.wav"), 22050, 1, 11025);
    const auto out = run(sourcesOf({a, b}), options(file("merged.wav"), kWav, true));
    EXPECT_EQ(out.results, (std::vector{ConvertResult::Converted, ConvertResult::Converted}));
    EXPECT_EQ(out.outputs, QStringList{qs(file("merged.wav"))});
    EXPECT_EQ(out.successCount, 2);
    const auto d = convtest::decodeAll(file("merged.wav"));
    EXPECT_EQ(d.rate, 44100u);
    EXPECT_EQ(d.channels, 2);
    // 11,025 frames at half the rate give 2 x 11,024 + 1 frames at 44,100 Hz.
    EXPECT_EQ(d.frames, 44100u + 22049u);
}

TEST_F(ConverterJob, MergesInEveryFormatHoldTheSummedLength) {
    const auto a = convtest::writeTone(file("a.wav"), 44100, 2, 44100);
    const auto b = convtest::writeTone(file("b.wav"), 22050, 1, 15435); // 0.7 s
    for (int type : {kMp3, kWav, kOgg, kWma}) {
        const std::string dest = file("merged" + std::to_string(type));
        const auto out = run(sourcesOf({a, b}), options(dest, type, true));
        ASSERT_EQ(out.outputs.size(), 1) << type;
        EXPECT_NEAR(convtest::probeSeconds(out.outputs[0].toStdString()), 1.7, 0.1) << type;
    }
}

TEST_F(ConverterJob, MergeKeepsTheSourcesAroundAnUnreadableOne) {
    const auto a = convtest::writeTone(file("a.wav"), 16000, 1, 16000);
    testsupport::writeFile(file("bad.wav"), {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
    const auto c = convtest::writeTone(file("c.wav"), 16000, 1, 8000);
    RecordingView view;
    const auto out = runJob(convtest::builtTable(), sourcesOf({a, file("bad.wav"), c}),
                            options(file("m.wav"), kWav, true), view);
    EXPECT_EQ(out.results, (std::vector{ConvertResult::Converted, ConvertResult::ReadFailed,
                                        ConvertResult::Converted}));
    EXPECT_EQ(view.unreadable, 1);
    EXPECT_EQ(out.outputs.size(), 1);
    EXPECT_EQ(convtest::decodeAll(file("m.wav")).frames, 24000u);
}

TEST_F(ConverterJob, CancelInTheSecondSourceKeepsTheFirstOutputOnly) {
    std::filesystem::create_directory(file("out"));
    const auto a = convtest::writeTone(file("a.wav"), 44100, 2, 88200);
    const auto b = convtest::writeTone(file("b.wav"), 44100, 2, 88200);
    const auto c = convtest::writeTone(file("c.wav"), 44100, 2, 88200);
    RecordingView view;
    view.cancelAtSource = 1;
    const auto out =
        runJob(convtest::builtTable(), sourcesOf({a, b, c}), options(file("out"), kMp3), view);
    EXPECT_TRUE(out.cancelled);
    EXPECT_EQ(out.results, (std::vector{ConvertResult::Converted, ConvertResult::Cancelled}));
    EXPECT_TRUE(std::filesystem::exists(file("out/a.mp3")));
    EXPECT_FALSE(std::filesystem::exists(file("out/b.mp3")));
    EXPECT_FALSE(std::filesystem::exists(file("out/c.mp3")));
    EXPECT_TRUE(convtest::hiddenFiles(file("out")).empty());
}

TEST_F(ConverterJob, CancelledMergeStillLeavesACompleteFile) {
    const auto a = convtest::writeTone(file("a.wav"), 44100, 2, 44100);
    const auto b = convtest::writeTone(file("b.wav"), 44100, 2, 441000);
    RecordingView view;
    view.cancelAtSource = 1;
    const auto out =
        runJob(convtest::builtTable(), sourcesOf({a, b}), options(file("m.mp3"), kMp3, true), view);
    EXPECT_TRUE(out.cancelled);
    const double seconds = convtest::probeSeconds(file("m.mp3"));
    EXPECT_GT(seconds, 0.95);
    EXPECT_LT(seconds, 2.0);
}

TEST_F(ConverterJob, ASourceIsNeverWrittenOver) {
    const auto src = convtest::writeTone(file("same.wav"), 8000, 1, 4000);
    const auto before = testsupport::readFile(src);
    auto o = options(src, kWav);
    o.skipExisting = false;
    EXPECT_EQ(run(sourcesOf({src}), o).results, std::vector{ConvertResult::WriteFailed});
    // Through another name of the same file, too.
    std::filesystem::create_hard_link(src, file("link.wav"));
    o.choices.destination = qs(file("link.wav"));
    EXPECT_EQ(run(sourcesOf({src}), o).results, std::vector{ConvertResult::WriteFailed});
    EXPECT_EQ(testsupport::readFile(src), before);
    EXPECT_TRUE(convtest::hiddenFiles(dir.path().string()).empty());
}

TEST_F(ConverterJob, ExistingOutputsAreSkippedOrReplacedOnlyWhenFinished) {
    const auto src = convtest::writeTone(file("s.wav"), 8000, 1, 4000);
    const std::vector<std::uint8_t> old{'o', 'l', 'd'};
    testsupport::writeFile(file("s.ogg"), old);
    auto o = options(file("s.ogg"), kOgg);
    EXPECT_EQ(run(sourcesOf({src}), o).results, std::vector{ConvertResult::Skipped});
    EXPECT_EQ(testsupport::readFile(file("s.ogg")), old);

    // A failed conversion with the skip check cleared leaves the old file as it was.
    o.skipExisting = false;
    testsupport::writeFile(file("bad.wav"), {'x'});
    o.choices.destination = qs(file("s.ogg"));
    std::vector<JobSource> bad{{qs(file("bad.wav")), {}}};
    EXPECT_EQ(run(bad, o).results, std::vector{ConvertResult::ReadFailed});
    EXPECT_EQ(testsupport::readFile(file("s.ogg")), old);

    EXPECT_EQ(run(sourcesOf({src}), o).results, std::vector{ConvertResult::Converted});
    EXPECT_NEAR(convtest::probeSeconds(file("s.ogg")), 0.5, 0.05);
    EXPECT_TRUE(convtest::hiddenFiles(dir.path().string()).empty());

    // A merge whose output exists skips every source.
    const auto m = run(sourcesOf({src, src, src}), options(file("s.ogg"), kOgg, true));
    EXPECT_EQ(m.results, std::vector<ConvertResult>(3, ConvertResult::Skipped));
    EXPECT_EQ(m.successCount, 0);
}

TEST_F(ConverterJob, UnwritableDestinationFailsEverySource) {
    const auto src = convtest::writeTone(file("s.wav"), 8000, 1, 800);
    const auto out = run(sourcesOf({src, src}), options(file("missing/folder"), kWav));
    EXPECT_EQ(out.results, std::vector<ConvertResult>(2, ConvertResult::WriteFailed));
    EXPECT_TRUE(out.outputs.isEmpty());
}

TEST_F(ConverterJob, EightBitSourcesAreWidened) {
    const auto src = convtest::writeTone(file("b8.wav"), 8000, 1, 1000, 8);
    const auto bytes = testsupport::readFile(src);
    ASSERT_EQ(run(sourcesOf({src}), options(file("w16.wav"), kWav)).results,
              std::vector{ConvertResult::Converted});
    const auto d = convtest::decodeAll(file("w16.wav"));
    ASSERT_EQ(d.bits, 16);
    ASSERT_EQ(d.samples.size(), 1000u);
    for (std::size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(d.samples[i], (bytes[44 + i] - 128) * 256) << i;
    }
}

TEST_F(ConverterJob, PacingPausesElevenTimesPerSourceOnlyWhenAsked) {
    const auto src = convtest::writeTone(file("p.wav"), 44100, 2, 100000);
    auto o = options(file("paced"), kWav);
    o.pacing = true;
    RecordingView paced;
    runJob(convtest::builtTable(), sourcesOf({src}), o, paced);
    EXPECT_EQ(paced.pauses, 11);
    o.pacing = false;
    o.skipExisting = false;
    RecordingView fast;
    runJob(convtest::builtTable(), sourcesOf({src}), o, fast);
    EXPECT_EQ(fast.pauses, 0);
}

TEST_F(ConverterJob, ChecksBeforeAJob) {
    auto o = options("  ", kWav);
    EXPECT_EQ(checkJob(convtest::builtTable(), {}, o), JobRefusal::NoSources);
    EXPECT_EQ(checkJob(convtest::builtTable(), sourcesOf({"x"}), o), JobRefusal::NoDestination);
    mireldo::encoders::EncoderTable empty;
    EXPECT_EQ(checkJob(empty, sourcesOf({"x"}), options("/tmp/o", kMp3)),
              JobRefusal::EncoderNotLoaded);
    EXPECT_EQ(statusTextId(ConvertResult::NoMemory), 170);
    EXPECT_EQ(statusTextId(ConvertResult::Skipped), 174);
}
