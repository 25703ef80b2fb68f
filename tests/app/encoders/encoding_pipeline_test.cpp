// The encoding pipeline with the real plug-ins from <build>/bin: slot and bit rate rules,
// compression with progress and cancel, on-the-fly compression and the copy of its result.

#include "encoding_pipeline.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

using namespace mireldo::encoders;

namespace {

std::string ffprobe() {
    const std::string ffmpeg = MIRELDO_FFMPEG_EXE;
    return ffmpeg.substr(0, ffmpeg.rfind('/') + 1) + "ffprobe";
}

/// "codec_name,duration,bit_rate" of the first audio stream, as ffprobe reads it.
std::string probe(const std::string& path) {
    const auto r = testsupport::runCommand(
        ffprobe() + " -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate" +
        " -show_entries format=duration,bit_rate -of default=nw=1 " +
        testsupport::shellQuote(path));
    return r.exitCode == 0 ? r.output : std::string{};
}

std::string field(const std::string& probeText, const std::string& key) {
    const auto at = probeText.find(key + "=");
    if (at == std::string::npos) {
        return {};
    }
    const auto start = at + key.size() + 1;
    return probeText.substr(start, probeText.find('\n', start) - start);
}

/// 16-bit PCM: a tone of `seconds` at `rate` with `channels`, as raw bytes.
std::vector<uint8_t> tone(std::uint32_t rate, int channels, double seconds, double hz = 440) {
    std::vector<uint8_t> out;
    const auto frames = static_cast<std::size_t>(rate * seconds);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(9000 * std::sin(2 * M_PI * hz * double(i) / rate));
        for (int c = 0; c < channels; ++c) {
            testsupport::putU16(out, static_cast<uint16_t>(v));
        }
    }
    return out;
}

class FakeProgress : public CompressProgress {
  public:
    int cancelAfter = -1; ///< the call of cancelRequested (0-based) that answers true
    int checks = 0;
    std::vector<int> percents;
    int pauses = 0;
    void setPercent(int p) override { percents.push_back(p); }
    bool cancelRequested() override { return checks++ == cancelAfter; }
    void pause(int ms) override {
        EXPECT_EQ(ms, 60);
        ++pauses;
    }
};

class PipelineTest : public ::testing::Test {
  protected:
    // Loaded once and never unloaded: unloading the WMA plug-in takes FFmpeg's libraries with
    // it, which leak what they allocate when loaded (LeakSanitizer would report it).
    static EncoderTable& table() {
        static EncoderTable* t = [] {
            auto* loaded = new EncoderTable;
            loaded->load(QString::fromStdString(testsupport::binDir()));
            return loaded;
        }();
        return *t;
    }
    QString path(const char* name) const {
        return QString::fromStdString((dir.path() / name).string());
    }
    CompressSource wavSource(std::uint32_t rate, int channels, double seconds) {
        const auto pcm = tone(rate, channels, seconds);
        const auto wav = testsupport::makeWav(static_cast<uint16_t>(channels), rate, 16, pcm);
        const QString p = path("record.wav");
        testsupport::writeFile(p.toStdString(), wav);
        CompressSource s;
        s.wavPath = p;
        s.dataStart = 44;
        s.format = PcmShape{rate, channels, 16};
        return s;
    }
    testsupport::TempDir dir;
};

TEST_F(PipelineTest, AllFourPluginsAreLoaded) {
    for (int m = 0; m < 4; ++m) {
        EXPECT_TRUE(table().isLoaded(m)) << m;
    }
}

TEST_F(PipelineTest, OutputSlotFallsBackToWav) {
    EXPECT_EQ(outputSlot(table(), kEncodeMp3, PcmShape{44100, 2, 16}), kEncodeMp3);
    EXPECT_EQ(outputSlot(table(), kEncodeMp3, PcmShape{16000, 1, 16}), kEncodeMp3);
    EXPECT_EQ(outputSlot(table(), kEncodeMp3, PcmShape{11025, 1, 16}), kEncodeWav);
    EXPECT_EQ(outputSlot(table(), kEncodeWma, PcmShape{11025, 1, 16}), kEncodeWma);
    EXPECT_EQ(outputSlot(table(), kEncodeOgg, PcmShape{44100, 2, 8}), kEncodeWav);
    EXPECT_EQ(outputSlot(table(), 7, PcmShape{44100, 2, 16}), kEncodeWav);
    EncoderTable empty; // never loaded
    EXPECT_EQ(outputSlot(empty, kEncodeOgg, PcmShape{44100, 2, 16}), kEncodeWav);
}

TEST_F(PipelineTest, BitrateTableAndWmaOverride) {
    EXPECT_EQ(bitrateFor(table().slot(kEncodeMp3), 0), 8u);
    EXPECT_EQ(bitrateFor(table().slot(kEncodeOgg), 0), 8u);
    EXPECT_EQ(bitrateFor(table().slot(kEncodeWma), 0), 320u);
    EXPECT_EQ(bitrateFor(table().slot(kEncodeMp3), 10), 128u);
    EXPECT_EQ(bitrateFor(table().slot(kEncodeMp3), 15), 320u);
    EXPECT_EQ(bitrateFor(table().slot(kEncodeMp3), 99), 320u);
}

TEST_F(PipelineTest, QualityZeroReachesTheMp3PluginAs8Kbps) {
    const CompressSource src = wavSource(16000, 1, 3.0);
    const QString out = path("q0.mp3");
    const auto kbps = bitrateFor(table().slot(kEncodeMp3), 0);
    FakeProgress progress;
    const CompressOutcome r = compress(table(), kEncodeMp3, kbps, src, out, &progress, nullptr);
    ASSERT_TRUE(r.ok);
    const std::string p = probe(out.toStdString());
    EXPECT_EQ(field(p, "codec_name"), "mp3") << p;
    const double bitRate = std::stod(field(p, "bit_rate").empty() ? "0" : field(p, "bit_rate"));
    EXPECT_NEAR(bitRate, 8000, 1500) << p;
}

TEST_F(PipelineTest, EveryPluginWritesAFileFfprobeReadsWithTheRightLength) {
    const CompressSource src = wavSource(44100, 2, 2.0);
    const char* names[] = {"a.mp3", "a.wma", "a.ogg", "a.wav"};
    const char* codecs[] = {"mp3", "wmav2", "vorbis", "pcm_s16le"};
    for (int m = 0; m < 4; ++m) {
        const QString out = path(names[m]);
        FakeProgress progress;
        const CompressOutcome r =
            compress(table(), m, bitrateFor(table().slot(m), 10), src, out, &progress, nullptr);
        ASSERT_TRUE(r.ok) << names[m];
        const std::string p = probe(out.toStdString());
        EXPECT_EQ(field(p, "codec_name"), codecs[m]) << p;
        EXPECT_NEAR(std::stod(field(p, "duration").empty() ? "0" : field(p, "duration")), 2.0, 0.15)
            << names[m] << "\n"
            << p;
        // Progress reaches 100 and the pacing sleeps once per tenth at most.
        ASSERT_FALSE(progress.percents.empty());
        EXPECT_EQ(progress.percents.back(), 100);
        EXPECT_LE(progress.pauses, 11);
    }
}

TEST_F(PipelineTest, CancelDeletesThePartialDestination) {
    const CompressSource src = wavSource(44100, 2, 3.0); // several 204,800-byte chunks
    const QString out = path("cancelled.ogg");
    FakeProgress progress;
    progress.cancelAfter = 1;
    const CompressOutcome r = compress(table(), kEncodeOgg, 128, src, out, &progress, nullptr);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(PipelineTest, FailuresDeleteTheDestinationAndAreNotCancels) {
    CompressSource src = wavSource(44100, 2, 0.5);
    src.wavPath = path("missing.wav");
    const QString out = path("x.mp3");
    const CompressOutcome r = compress(table(), kEncodeMp3, 128, src, out, nullptr, nullptr);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.cancelled);
    EXPECT_FALSE(QFileInfo::exists(out));
    // An unwritable destination fails without touching anything.
    const CompressOutcome r2 = compress(table(), kEncodeMp3, 128, wavSource(44100, 2, 0.5),
                                        path("no/such/folder/x.mp3"), nullptr, nullptr);
    EXPECT_FALSE(r2.ok);
}

class OnTheFlyTest : public PipelineTest {
  protected:
    // Feeds `pcm` to `c` in capture-sized buffers.
    static void feedAll(OnTheFlyCompressor& c, const std::vector<uint8_t>& pcm) {
        for (std::size_t at = 0; at < pcm.size(); at += 10240) {
            const auto n =
                static_cast<std::uint32_t>(std::min<std::size_t>(10240, pcm.size() - at));
            c.feed(pcm.data() + at, n);
        }
    }
};

TEST_F(OnTheFlyTest, UnchangedSettingsCopyTheCompressedFileChangedOnesCompressAgain) {
    const CompressSource src = wavSource(44100, 2, 2.0);
    OnTheFlyCompressor c(table());
    const QString temp = path("mireldo_temp_1.mp3");
    c.start(kEncodeMp3, 10, src.format, temp);
    ASSERT_TRUE(c.active());
    EXPECT_EQ(c.bitrate(), 128u);
    // The on-the-fly stream gets other audio than the WAV, so a copy is told apart.
    feedAll(c, tone(44100, 2, 2.0, 1000));
    c.finish(false);
    ASSERT_TRUE(c.flushed());
    ASSERT_TRUE(QFileInfo::exists(temp));
    const auto compressed = testsupport::readFile(temp.toStdString());
    EXPECT_EQ(c.length(), compressed.size());

    const QString same = path("same.mp3");
    ASSERT_TRUE(compress(table(), kEncodeMp3, 128, src, same, nullptr, &c).ok);
    EXPECT_EQ(testsupport::readFile(same.toStdString()), compressed);

    const QString changed = path("changed.mp3");
    ASSERT_TRUE(compress(table(), kEncodeMp3, 160, src, changed, nullptr, &c).ok);
    EXPECT_NE(testsupport::readFile(changed.toStdString()), compressed);
    EXPECT_FALSE(probe(changed.toStdString()).empty());

    const QString otherSlot = path("other.ogg");
    ASSERT_TRUE(compress(table(), kEncodeOgg, 128, src, otherSlot, nullptr, &c).ok);
    EXPECT_EQ(field(probe(otherSlot.toStdString()), "codec_name"), "vorbis");
}

TEST_F(OnTheFlyTest, FeedingAfterAFlushEndsTheCompressionInsteadOfFeedingIt) {
    for (int method : {kEncodeMp3, kEncodeWma, kEncodeOgg, kEncodeWav}) {
        OnTheFlyCompressor c(table());
        const QString temp = path("mireldo_temp_2.mp3");
        c.start(method, 10, PcmShape{44100, 2, 16}, temp);
        ASSERT_TRUE(c.active()) << method;
        feedAll(c, tone(44100, 2, 0.5));
        c.finish(false);
        EXPECT_TRUE(QFileInfo::exists(temp));
        feedAll(c, tone(44100, 2, 0.2));
        EXPECT_FALSE(c.active()) << method;
        EXPECT_TRUE(c.path().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(temp));
    }
}

TEST_F(OnTheFlyTest, DiscardDeletesTheFileAndTruncateCutsIt) {
    OnTheFlyCompressor c(table());
    const QString temp = path("mireldo_temp_3.mp3");
    c.start(kEncodeWav, 3, PcmShape{8000, 1, 16}, temp);
    ASSERT_TRUE(c.active());
    feedAll(c, tone(8000, 1, 1.0));
    EXPECT_EQ(c.length(), 44u + 16000u);
    c.truncate(44 + 8000);
    EXPECT_EQ(c.length(), 44u + 8000u);
    EXPECT_EQ(QFileInfo(temp).size(), 44 + 8000);
    c.finish(true);
    EXPECT_FALSE(c.active());
    EXPECT_FALSE(QFileInfo::exists(temp));
}

TEST_F(OnTheFlyTest, NothingStartsWithoutThePluginOrAFile) {
    EncoderTable empty; // never loaded
    OnTheFlyCompressor none(empty);
    none.start(kEncodeMp3, 10, PcmShape{44100, 2, 16}, path("t.mp3"));
    EXPECT_FALSE(none.active());
    EXPECT_FALSE(QFileInfo::exists(path("t.mp3")));

    OnTheFlyCompressor noFolder(table());
    noFolder.start(kEncodeMp3, 10, PcmShape{44100, 2, 16}, path("no/such/t.mp3"));
    EXPECT_FALSE(noFolder.active());
    EXPECT_TRUE(noFolder.path().isEmpty());
}

} // namespace
