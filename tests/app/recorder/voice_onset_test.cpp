// Voice-activated recording: the first word is never clipped ("Keep before sound", the first
// buffer after a long pause), short bursts do not start anything ("Sound must last"), and the
// recording's health (time left, overruns, device lost) reaches the view. A fake device whose
// buffers the test fills; 48,000 Hz 16-bit mono (row 0), so one buffer is 5,120 frames
// (106.7 ms) and 10 ms is 480 frames.

#include "capture_session.h"
#include "onset_buffer.h"
#include "recorder_health.h"
#include "recorder_fakes.h"
#include "silence_detection.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace mireldo::recorder;
using namespace mireldo::platform::audio;
using rectest::fileBytes;
using rectest::square16;

namespace {

using Bytes = std::vector<unsigned char>;
constexpr std::uint32_t kBuf = kCaptureBufferBytes;

// A silent buffer whose samples are all `tag` (a DC level well under any threshold), so that
// where each skipped buffer lands in the record can be told.
Bytes tagged(int tag) {
    Bytes out(kBuf);
    for (std::size_t i = 0; i + 1 < kBuf; i += 2) {
        const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(tag * 10 + i % 7));
        out[i] = static_cast<unsigned char>(v & 0xFF);
        out[i + 1] = static_cast<unsigned char>(v >> 8);
    }
    return out;
}

// A silent buffer with a loud square wave in frames [from, to).
Bytes clickIn(std::uint32_t from, std::uint32_t to) {
    Bytes out = tagged(1);
    const Bytes loud = square16(kBuf, 9000);
    std::memcpy(out.data() + std::size_t{from} * 2, loud.data() + std::size_t{from} * 2,
                std::size_t{to - from} * 2);
    return out;
}

Bytes tail(const Bytes& b, std::size_t n) {
    return Bytes(b.end() - static_cast<std::ptrdiff_t>(n), b.end());
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// Limits the size of files this process writes for one scope; a write past it fails (EFBIG).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

class VoiceOnset : public ::testing::Test {
  protected:
    void SetUp() override {
        rectest::coreApp();
        view.opts.formatRow = 0; // 48000 Hz, 16 bits, mono
        view.opts.longBlankSeconds = 1;
    }

    CaptureSession& make() {
        CaptureSession::Environment env;
        env.openDevice = farm.opener();
        env.freeSpace = [this](const QString&) { return space; };
        env.ticks = [] { return std::uint64_t{0}; };
        env.temporaryFolder = QString::fromStdString(dir.path().string());
        env.fileNumber = 77;
        env.withPlayer = false;
        session = std::make_unique<CaptureSession>(view, env);
        session->setFinalisation(&fin);
        return *session;
    }

    void deliver(const Bytes& data) {
        rectest::FakeDevice& d = farm.last();
        ASSERT_FALSE(d.queued.empty());
        WaveHeader* h = d.queued.front();
        d.queued.pop_front();
        if (!data.empty()) {
            std::memcpy(h->data, data.data(), data.size());
        }
        h->bytesRecorded = static_cast<std::uint32_t>(data.size());
        h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
        session->bufferDone(&d, h);
    }

    Bytes data() const {
        Bytes all = fileBytes(session->temporaryWavPath());
        return all.size() >= 44 ? Bytes(all.begin() + 44, all.end()) : Bytes{};
    }

    testsupport::TempDir dir;
    rectest::FakeView view;
    rectest::DeviceFarm farm;
    rectest::FakeFinalisation fin;
    std::optional<std::uint64_t> space = std::uint64_t{1} << 40;
    std::unique_ptr<CaptureSession> session;
    const Bytes sound = square16(kBuf, 8000);
};

TEST(SilenceRounding, PreRollIsWholeFramesRoundedDownAndHoldRoundedUp) {
    EXPECT_EQ(preRollFrames(5, 8000), 4000u);
    EXPECT_EQ(preRollFrames(5, 11025), 5512u); // 5,512.5 frames: down to a whole frame
    EXPECT_EQ(preRollFrames(0, 48000), 0u);
    EXPECT_EQ(preRollFrames(99, 48000), 96000u); // clamped to 2 s
    EXPECT_EQ(preRollFrames(-3, 48000), 0u);
    EXPECT_EQ(holdFrames(200, 48000), 9600u);
    EXPECT_EQ(holdFrames(1, 11025), 12u);     // 11.025 frames: a burst must last the whole hold
    EXPECT_EQ(holdFrames(9999, 8000), 4000u); // clamped to 500 ms
}

TEST(SilenceRounding, SoundFramesCountOnlyLoudTenMillisecondBlocks) {
    // 2,400 loud frames from frame 2,400: five whole blocks of 480 frames.
    const Bytes click = clickIn(2400, 4800);
    EXPECT_EQ(soundFrames(click.data(), kBuf, 16, 2, 48000, 0), 2400u);
    EXPECT_EQ(soundFrames(tagged(3).data(), kBuf, 16, 2, 48000, 0), 0u);
    // The last block of a buffer is shorter (5,120 = 10 x 480 + 320) and counts what it holds.
    const Bytes end = clickIn(4800, 5120);
    EXPECT_EQ(soundFrames(end.data(), kBuf, 16, 2, 48000, 0), 320u);
}

TEST(OnsetBufferTest, KeepsTheNewestBytesAndHandsThemOverOldestFirst) {
    OnsetBuffer onset(10);
    const unsigned char a[] = {1, 2, 3, 4, 5, 6};
    const unsigned char b[] = {7, 8, 9, 10, 11, 12, 13};
    onset.keep(a, sizeof a);
    onset.keep(b, sizeof b); // 13 bytes in 10: 1, 2 and 3 go
    EXPECT_EQ(onset.size(), 10u);
    Bytes out;
    int pieces = 0;
    onset.take(4, 100, [&](const unsigned char* p, std::size_t n) {
        out.insert(out.end(), p, p + n);
        ++pieces;
        return true;
    });
    EXPECT_EQ(out, (Bytes{10, 11, 12, 13}));
    EXPECT_EQ(onset.size(), 0u);

    // Wrapped around the end of the block: two pieces, in order; a limit leaves the oldest out.
    onset.keep(a, sizeof a);
    onset.keep(b, sizeof b);
    out.clear();
    pieces = 0;
    onset.take(100, 9, [&](const unsigned char* p, std::size_t n) {
        out.insert(out.end(), p, p + n);
        ++pieces;
        return true;
    });
    EXPECT_EQ(out, (Bytes{5, 6, 7, 8, 9, 10, 11, 12, 13}));

    // More than the capacity at once: the newest bytes stay.
    const Bytes big{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    onset.keep(big.data(), big.size());
    out.clear();
    onset.take(100, 100, [&](const unsigned char* p, std::size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
    });
    EXPECT_EQ(out, Bytes(big.begin() + 2, big.end()));
}

TEST(OnsetBufferTest, ABurstCountsOnlyOnceItHasLastedTheHold) {
    OnsetBuffer onset(100);
    EXPECT_FALSE(onset.judge(false, 300, 500));
    EXPECT_FALSE(onset.judge(true, 0, 500)); // silence ends the burst
    EXPECT_FALSE(onset.judge(false, 300, 500));
    EXPECT_TRUE(onset.judge(false, 200, 500));
    EXPECT_TRUE(onset.judge(false, 0, 500)); // once counted, the burst counts to its end
    EXPECT_TRUE(onset.judge(false, 0, 0));
    EXPECT_FALSE(onset.judge(true, 0, 0));
}

TEST_F(VoiceOnset, PreRollZeroStartsAtTheFirstSoundBufferAsBefore) {
    view.opts.silence.dropBlanks = true;
    CaptureSession& s = make();
    s.record();
    deliver(tagged(1));
    deliver(tagged(2));
    EXPECT_EQ(s.dataLength(), 0u);
    deliver(sound);
    EXPECT_EQ(data(), sound);
}

TEST_F(VoiceOnset, TwoSecondsOfPreRollSpanManyBuffersExactlyToTheFrame) {
    view.opts.silence.dropBlanks = true;
    view.opts.silence.preRollTenths = 20; // 96,000 frames, 192,000 bytes: 18.75 buffers
    CaptureSession& s = make();
    s.record();
    std::vector<Bytes> skipped;
    for (int i = 0; i < 25; ++i) {
        skipped.push_back(tagged(i));
        deliver(skipped.back());
    }
    deliver(sound);
    Bytes expected = tail(skipped[6], kBuf * 3 / 4); // 0.75 of a buffer, then 18 whole ones
    for (int i = 7; i < 25; ++i) {
        expected = join({expected, skipped[static_cast<std::size_t>(i)]});
    }
    expected = join({expected, sound});
    ASSERT_EQ(data().size(), 192000u + kBuf);
    EXPECT_EQ(data(), expected);
    // The marker follows the sound; the pre-roll is part of the record before it.
    EXPECT_EQ(s.silence().marker, 44u + 192000u + kBuf);
}

TEST_F(VoiceOnset, PreRollLongerThanTheSkippedSilenceWritesWhatThereIs) {
    view.opts.silence.dropBlanks = true;
    view.opts.silence.preRollTenths = 20;
    CaptureSession& s = make();
    s.record();
    deliver(tagged(1));
    deliver(sound);
    EXPECT_EQ(data(), join({tagged(1), sound}));
    // Silence after the sound is written as always.
    deliver(tagged(2));
    deliver(tagged(3));
    EXPECT_EQ(s.dataLength(), 4u * kBuf);
}

TEST_F(VoiceOnset, AHundredMillisecondClickWithAHoldOf200MillisecondsStartsNothing) {
    view.opts.silence.dropBlanks = true;
    view.opts.silence.holdMilliseconds = 200;
    CaptureSession& s = make();
    s.record();
    deliver(tagged(1));
    // 4,800 frames (100 ms) of click across two buffers: both buffers are loud by the buffer
    // measure, but only ten 10-ms blocks sound.
    deliver(clickIn(2720, 5120));
    deliver(clickIn(0, 2400));
    deliver(tagged(2));
    deliver(tagged(3));
    EXPECT_EQ(s.dataLength(), 0u);
    EXPECT_EQ(view.statuses.back(), RecorderStatus::WaitForSound);
    EXPECT_EQ(s.silence().marker, 44u);

    // Sound that lasts (three loud buffers, 320 ms) starts the record with its first buffer.
    deliver(sound);
    EXPECT_EQ(s.dataLength(), 0u); // 106.7 ms: not yet
    deliver(sound);
    EXPECT_EQ(s.dataLength(), 2u * kBuf); // 213 ms: the held buffer and this one
    EXPECT_EQ(data(), join({sound, sound}));
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Recording);
}

TEST_F(VoiceOnset, HoldAndPreRollTogetherKeepTheTimeBeforeTheHeldBurst) {
    view.opts.silence.dropBlanks = true;
    view.opts.silence.holdMilliseconds = 200;
    view.opts.silence.preRollTenths = 1; // 4,800 frames, 9,600 bytes
    CaptureSession& s = make();
    s.record();
    deliver(tagged(1));
    deliver(tagged(2));
    deliver(sound);
    deliver(sound);
    EXPECT_EQ(data(), join({tail(tagged(2), 9600), sound, sound}));
    EXPECT_EQ(s.silence().marker, 44u + 9600u + 2 * kBuf);
}

TEST_F(VoiceOnset, AClickDoesNotEndALongPauseButSpeechDoesWithItsFirstBuffer) {
    view.opts.silence.actionAtBlank = 1; // threshold 96,000 bytes
    view.opts.silence.holdMilliseconds = 200;
    view.opts.silence.preRollTenths = 5; // 24,000 frames, 48,000 bytes
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    deliver(sound);
    std::vector<Bytes> pause;
    for (int i = 0; i < 20; ++i) {
        pause.push_back(tagged(i));
        deliver(pause.back());
    }
    const std::uint64_t paused = s.dataLength();
    EXPECT_EQ(paused, 12u * kBuf); // long after ten silent buffers (102,400 > 96,000 bytes)
    deliver(clickIn(2720, 5120));
    deliver(clickIn(0, 2400));
    for (int i = 0; i < 6; ++i) {
        pause.push_back(tagged(30 + i));
        deliver(pause.back());
    }
    EXPECT_EQ(s.dataLength(), paused);

    deliver(sound);
    deliver(sound);
    // 48,000 bytes of the skipped pause (4.6875 buffers), then the held sound buffer and the
    // one that made it last.
    const Bytes preRoll =
        join({tail(pause[21], 48000 - 4 * kBuf), pause[22], pause[23], pause[24], pause[25]});
    const Bytes written = data();
    ASSERT_EQ(written.size(), paused + 48000 + 2 * kBuf);
    EXPECT_EQ(Bytes(written.begin() + static_cast<std::ptrdiff_t>(paused), written.end()),
              join({preRoll, sound, sound}));
}

TEST_F(VoiceOnset, AClickWhileRecordingDoesNotPutOffTheLongSilenceAction) {
    view.opts.silence.actionAtBlank = 2; // threshold 96,000 bytes
    view.opts.silence.holdMilliseconds = 200;
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    deliver(sound); // 213 ms: counts
    const std::uint64_t marker = s.silence().marker;
    EXPECT_EQ(marker, 44u + 2 * kBuf);
    for (int i = 0; i < 4; ++i) {
        deliver(tagged(i));
    }
    deliver(clickIn(2720, 5120)); // written, but it does not move the marker
    deliver(clickIn(0, 2400));
    EXPECT_EQ(s.silence().marker, marker);
    for (int i = 0; i < 3; ++i) {
        deliver(tagged(10 + i));
    }
    EXPECT_TRUE(fin.saves.empty());
    // The tenth buffer after the sound, the clicks among them: the silence is long (102,400 >
    // 96,000 bytes); had the clicks counted as sound, it would come six buffers later.
    deliver(tagged(20));
    ASSERT_EQ(fin.saves, std::vector<bool>{true});
    EXPECT_EQ(fin.savedCopies[0].size(), 44u + 12 * kBuf);
}

TEST_F(VoiceOnset, AFailedPreRollWriteStopsRecordingAndKeepsWholeFrames) {
    view.opts.silence.dropBlanks = true;
    view.opts.silence.preRollTenths = 20;
    CaptureSession& s = make();
    s.record();
    for (int i = 0; i < 25; ++i) {
        deliver(tagged(i));
    }
    {
        FileSizeLimit limit(44 + 100001); // the pre-roll fails part-way, inside a frame
        deliver(sound);
    }
    EXPECT_FALSE(s.recording());
    EXPECT_EQ(s.fault(), RecordingFault::Write);
    EXPECT_EQ(s.dataLength() % 2, 0u);
    EXPECT_LE(s.dataLength(), 100001u);
    EXPECT_TRUE(s.fileOpen()); // what was written stays for the user
}

TEST_F(VoiceOnset, EveryBufferReachesTheLevelMeterWrittenOrSkipped) {
    view.opts.silence.dropBlanks = true;
    CaptureSession& s = make();
    s.record();
    deliver(tagged(1));
    deliver(sound);
    EXPECT_EQ(view.levelBuffers, 2);
}

TEST_F(VoiceOnset, HealthTellsTimeLeftOverrunsAndALostDevice) {
    space = 104857600 + 96000 * 3600; // one hour above the low-space stop at 96,000 bytes/s
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    ASSERT_FALSE(view.healths.empty());
    EXPECT_EQ(view.healths.back().secondsLeft, std::optional<std::uint64_t>(3600));
    EXPECT_EQ(view.healths.back().overruns, 0u);
    const std::size_t told = view.healths.size();
    deliver(sound); // nothing changed: nothing told
    EXPECT_EQ(view.healths.size(), told);

    farm.last().overrunCount = 3;
    deliver(sound);
    EXPECT_EQ(view.healths.back().overruns, 3u);
    EXPECT_EQ(s.health().overruns, 3u);

    space.reset();
    deliver(sound);
    EXPECT_FALSE(view.healths.back().secondsLeft.has_value());

    // An empty buffer while recording: the device is gone.
    deliver(Bytes{});
    EXPECT_FALSE(s.recording());
    EXPECT_TRUE(view.healths.back().deviceLost);
    EXPECT_EQ(view.healths.back().overruns, 3u);

    // New Record closes the device: the line is cleared.
    view.answers.push_back(RecorderAnswer::No);
    s.newRecord();
    EXPECT_FALSE(s.deviceOpen());
    EXPECT_EQ(view.healths.back(), RecorderHealth{});
}

TEST(HealthText, TimeLeftOverrunsAndALostDevice) {
    EXPECT_EQ(hoursAndMinutes(0), QStringLiteral("0:00"));
    EXPECT_EQ(hoursAndMinutes(3599), QStringLiteral("0:59")); // minutes round down
    EXPECT_EQ(hoursAndMinutes(36000 + 540), QStringLiteral("10:09"));
    RecorderHealth h;
    EXPECT_TRUE(healthText(h).isEmpty());
    h.secondsLeft = 7260;
    EXPECT_EQ(healthText(h), QStringLiteral("2:01 left"));
    h.overruns = 3;
    EXPECT_EQ(healthText(h), QStringLiteral("2:01 left, Overruns: 3"));
    h.deviceLost = true;
    EXPECT_EQ(healthText(h), QStringLiteral("Device lost, Overruns: 3"));
}

} // namespace
