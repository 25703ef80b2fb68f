// Capture end to end through the virtual audio back-end: a WAV file plays as the input, paced
// by a manual clock the test moves one capture buffer at a time, and the temporary WAV (and
// the records "saved" by a finalisation that copies it) must hold exactly the buffers the
// silence rules keep. Between two steps the window thread handles everything the step caused,
// so the outcome depends on nothing but the rules.

#include "capture_session.h"
#include "recorder_fakes.h"
#include "test_support.h"
#include "audio/virtual_clock.h"
#include "audio/virtual_input.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

using namespace mireldo::recorder;
using rectest::fileBytes;
using rectest::square16;

namespace {

using Bytes = std::vector<unsigned char>;
constexpr std::size_t kBuf = kCaptureBufferBytes;

// Input, in whole capture buffers of 8000 Hz 16-bit mono (0.64 s each): two buffers of
// silence, three of sound, eight of silence (5.12 s), three of sound.
constexpr std::size_t kSoundA = 2;
constexpr std::size_t kPause = 5;
constexpr std::size_t kSoundB = 13;
constexpr std::size_t kTotal = 16;

Bytes makeInput() {
    Bytes pcm;
    for (std::size_t i = 0; i < kTotal; ++i) {
        const bool loud = (i >= kSoundA && i < kPause) || i >= kSoundB;
        const Bytes part = loud ? square16(kBuf, 9000 + static_cast<int>(i) * 100)
                                : square16(kBuf, 12, static_cast<int>(i));
        pcm.insert(pcm.end(), part.begin(), part.end());
    }
    return pcm;
}

Bytes slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from * kBuf),
                 b.begin() + static_cast<std::ptrdiff_t>(to * kBuf));
}

Bytes join(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

Bytes payload(const Bytes& wav) {
    return wav.size() >= 44 ? Bytes(wav.begin() + 44, wav.end()) : Bytes{};
}

using mireldo::platform::audio::ManualClock;

// One capture buffer of the input (8000 Hz 16-bit mono) at real-time speed.
constexpr std::chrono::milliseconds kBufferTime{kBuf * 1000 / (8000 * 2)};

// Handles what is posted to the window thread, and what that posts in turn, until nothing is
// left. Only this thread and the clock's caller (this thread) move the capture along.
void settle() {
    for (int round = 0; round < 20; ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// Moves `clock` on by `step` until `done` holds, handling the window thread's events after
// every step; at most `steps` steps.
bool stepUntil(ManualClock& clock, std::chrono::nanoseconds step, int steps,
               const std::function<bool()>& done) {
    for (int i = 0; i < steps && !done(); ++i) {
        clock.advance(step);
        settle();
    }
    return done();
}

// Moves the clock on until the session's player has played the record to its end (seconds at
// most). The player's own thread hands the output its buffers in its own time; a buffer it is
// late with plays at a later step, so only the number of steps depends on the machine.
bool playUntilEnd(ManualClock& clock, mireldo::recorder::CaptureSession& session) {
    const QDeadlineTimer deadline(20000);
    while (session.playing() && !deadline.hasExpired()) {
        clock.advance(std::chrono::milliseconds(20));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return !session.playing();
}

class CaptureEndToEnd : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        rectest::coreApp();
        input = makeInput();
        const auto wav = testsupport::makeWav(1, 8000, 16, input);
        // A fresh input file per test: the virtual input remembers how far each file was read.
        inputPath = dir.file("input.wav");
        testsupport::writeFile(inputPath, wav);
        ::setenv("MIRELDO_AUDIO_MODE", "virtual", 1);
        ::setenv("MIRELDO_VIRTUAL_INPUT", inputPath.c_str(), 1);
        ::setenv("MIRELDO_VIRTUAL_SPEED", "1", 1);
        std::filesystem::create_directory(dir.path() / "tmp");

        view.opts.formatRow = 12;       // 8000 Hz, 16 bits, mono
        view.opts.longBlankSeconds = 2; // 32,000 bytes: long after the fourth silent buffer
        view.opts.silence.dropBlanks = true;
        view.opts.silence.actionAtBlank = GetParam();

        CaptureSession::Environment env;
        env.freeSpace = [](const QString&) { return std::optional<std::uint64_t>(1ull << 40); };
        env.temporaryFolder = QString::fromStdString((dir.path() / "tmp").string());
        env.withPlayer = false;
        session = std::make_unique<CaptureSession>(view, env);
        session->setFinalisation(&fin);
    }
    void TearDown() override { ::unsetenv("MIRELDO_VIRTUAL_INPUT"); }

    bool runUntilPaused() {
        session->record();
        settle();
        // One buffer per step: the input ends after kTotal buffers, so a few more steps end it.
        return stepUntil(clock, kBufferTime, static_cast<int>(kTotal) * 3, [&] {
            return !session->recording() && session->status() == RecorderStatus::Paused;
        });
    }

    Bytes record() const { return payload(fileBytes(session->temporaryWavPath())); }

    ManualClock clock;
    testsupport::TempDir dir;
    std::string inputPath;
    Bytes input;
    rectest::FakeView view;
    rectest::FakeFinalisation fin;
    std::unique_ptr<CaptureSession> session;
};

TEST_P(CaptureEndToEnd, KeepsWhatTheRulesPredict) {
    ASSERT_TRUE(runUntilPaused());
    // Every record starts with sound: the leading silence was dropped.
    const Bytes soundA = slice(input, kSoundA, kPause);
    const Bytes firstPause = slice(input, kPause, kPause + 4); // up to the long silence
    switch (GetParam()) {
    case 0:
        EXPECT_EQ(record(), slice(input, kSoundA, kTotal));
        EXPECT_TRUE(fin.saves.empty());
        break;
    case 1:
        // Four silent buffers are written; the rest of the pause is skipped, and the record
        // goes on with the first buffer of the following sound.
        EXPECT_EQ(record(), join(join(soundA, firstPause), slice(input, kSoundB, kTotal)));
        break;
    case 2: {
        ASSERT_EQ(fin.saves, std::vector<bool>{true});
        const Bytes saved = fin.savedCopies[0];
        EXPECT_EQ(payload(saved), join(soundA, firstPause));
        // The new record begins where the sound comes back and runs to the end of the input:
        // the input did not move while the first record was closed.
        EXPECT_EQ(record(), slice(input, kSoundB, kTotal));
        break;
    }
    case 3:
        // Stopped when the posted Stop was handled, before the next buffer came.
        EXPECT_EQ(record(), join(soundA, firstPause));
        EXPECT_TRUE(fin.saves.empty());
        EXPECT_TRUE(session->deviceOpen());
        break;
    case 4:
        ASSERT_EQ(fin.saves, std::vector<bool>{true});
        EXPECT_EQ(payload(fin.savedCopies[0]), join(soundA, firstPause));
        EXPECT_EQ(record(), join(soundA, firstPause));
        EXPECT_TRUE(session->deviceOpen());
        break;
    }
    // The header describes the file as it stands.
    const Bytes wav = fileBytes(session->temporaryWavPath());
    ASSERT_GE(wav.size(), 44u);
    const std::uint32_t dataSize = std::uint32_t{wav[40]} | std::uint32_t{wav[41]} << 8 |
                                   std::uint32_t{wav[42]} << 16 | std::uint32_t{wav[43]} << 24;
    EXPECT_EQ(dataSize, wav.size() - 44);
}

INSTANTIATE_TEST_SUITE_P(ActionAtBlank, CaptureEndToEnd, ::testing::Values(0, 1, 2, 3, 4));

// "Keep before sound" of 0.5 s: wherever skipped silence ends in sound (the leading silence,
// the long pause of action 1, the silence before the record that action 2 starts), the record
// begins exactly 0.5 s before the first sound buffer: 4,000 frames, 8,000 bytes of the last
// skipped buffer. Pre-roll is exact to the frame; it is not rounded to whole buffers.
class CaptureWithPreRoll : public CaptureEndToEnd {
  protected:
    void SetUp() override {
        CaptureEndToEnd::SetUp();
        view.opts.silence.preRollTenths = 5;
    }
    static Bytes from(const Bytes& b, std::size_t byte, std::size_t toBuffer) {
        return Bytes(b.begin() + static_cast<std::ptrdiff_t>(byte),
                     b.begin() + static_cast<std::ptrdiff_t>(toBuffer * kBuf));
    }
};

TEST_P(CaptureWithPreRoll, RecordsStartHalfASecondBeforeTheirFirstSoundBuffer) {
    constexpr std::size_t kPreRoll = 8000;
    ASSERT_TRUE(runUntilPaused());
    const Bytes leadIn = from(input, kSoundA * kBuf - kPreRoll, kPause + 4);
    const Bytes resumed = from(input, kSoundB * kBuf - kPreRoll, kTotal);
    switch (GetParam()) {
    case 0:
        EXPECT_EQ(record(), from(input, kSoundA * kBuf - kPreRoll, kTotal));
        break;
    case 1:
        // The four silent buffers before the pause counts as long are written as always.
        EXPECT_EQ(record(), join(leadIn, resumed));
        break;
    case 2:
        ASSERT_EQ(fin.saves, std::vector<bool>{true});
        EXPECT_EQ(payload(fin.savedCopies[0]), leadIn);
        EXPECT_EQ(record(), resumed);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(ActionAtBlank, CaptureWithPreRoll, ::testing::Values(0, 1, 2));

// Overruns injected in the virtual input: the frames are lost from the record, as with a sound
// card, and the session counts each one in its health.
using CaptureWithOverruns = CaptureEndToEnd;

TEST_P(CaptureWithOverruns, InjectedOverrunsAreCountedAndTheirAudioIsMissing) {
    session->record();
    settle();
    ASSERT_TRUE(stepUntil(clock, kBufferTime, 20, [&] { return session->dataLength() != 0; }));
    ASSERT_NE(session->device(), nullptr);
    EXPECT_TRUE(mireldo::platform::audio::injectVirtualOverrun(*session->device(), 1000));
    clock.advance(kBufferTime);
    settle();
    EXPECT_TRUE(mireldo::platform::audio::injectVirtualOverrun(*session->device(), 1000));
    ASSERT_TRUE(stepUntil(clock, kBufferTime, static_cast<int>(kTotal) * 3,
                          [&] { return !session->recording(); }));
    EXPECT_EQ(session->device()->overruns(), 2u);
    EXPECT_EQ(session->health().overruns, 2u);
    ASSERT_FALSE(view.healths.empty());
    EXPECT_EQ(view.healths.back().overruns, 2u);
    // 2 x 1,000 frames of 2 bytes never reached the record.
    EXPECT_EQ(record().size(), (kTotal - kSoundA) * kBuf - 4000);
}

INSTANTIATE_TEST_SUITE_P(NoAction, CaptureWithOverruns, ::testing::Values(0));

} // namespace

namespace {

// Records the whole input, then plays the record back through the recorder's own player
// into the virtual output's WAV file.
TEST(CapturePlayback, PlaysTheRecordFromThePositionAndStopsAtItsEnd) {
    rectest::coreApp();
    testsupport::TempDir dir;
    const Bytes input = makeInput();
    const std::string inputPath = dir.file("input.wav");
    testsupport::writeFile(inputPath, testsupport::makeWav(1, 8000, 16, input));
    const std::string outputPath = dir.file("played.wav");
    ::setenv("MIRELDO_AUDIO_MODE", "virtual", 1);
    ::setenv("MIRELDO_VIRTUAL_INPUT", inputPath.c_str(), 1);
    ::setenv("MIRELDO_VIRTUAL_OUTPUT", outputPath.c_str(), 1);
    ::setenv("MIRELDO_VIRTUAL_SPEED", "1", 1);
    ManualClock clock;
    std::filesystem::create_directory(dir.path() / "tmp");

    rectest::FakeView view;
    view.opts.formatRow = 12;
    CaptureSession::Environment env;
    env.freeSpace = [](const QString&) { return std::optional<std::uint64_t>(1ull << 40); };
    env.temporaryFolder = QString::fromStdString((dir.path() / "tmp").string());
    CaptureSession session(view, env);
    session.record();
    settle();
    ASSERT_TRUE(stepUntil(clock, kBufferTime, static_cast<int>(kTotal) * 3,
                          [&] { return !session.recording(); }));
    ASSERT_EQ(session.dataLength(), input.size());

    session.sliderMoved(static_cast<std::uint32_t>(kSoundB * kBuf / 2));
    session.play();
    ASSERT_TRUE(session.playing());
    EXPECT_TRUE(view.buttons.stop);
    EXPECT_FALSE(view.buttons.record);
    ASSERT_TRUE(playUntilEnd(clock, session));
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Paused);
    EXPECT_EQ(session.position(), kTotal * kBuf / 2);
    EXPECT_TRUE(view.buttons.playCutSave);

    const Bytes played = payload(fileBytes(QString::fromStdString(outputPath)));
    EXPECT_EQ(played, slice(input, kSoundB, kTotal));
    ::unsetenv("MIRELDO_VIRTUAL_OUTPUT");
    ::unsetenv("MIRELDO_VIRTUAL_INPUT");
}

} // namespace
