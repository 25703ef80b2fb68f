// Capture end to end through the virtual audio back-end: a WAV file plays as the input at
// twenty times real time, and the temporary WAV (and the records "saved" by a finalisation
// that copies it) must hold exactly the buffers the silence rules keep.

#include "capture_session.h"
#include "recorder_fakes.h"
#include "test_support.h"

#include <gtest/gtest.h>

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
        ::setenv("MIRELDO_VIRTUAL_SPEED", "20", 1);
        std::filesystem::create_directory(dir.path() / "tmp");

        view.opts.formatRow = 12; // 8000 Hz, 16 bits, mono
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
        return rectest::pumpUntil(
            [&] {
                return !session->recording() && session->status() == RecorderStatus::Paused;
            },
            15000);
    }

    Bytes record() const { return payload(fileBytes(session->temporaryWavPath())); }

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
        // Four silent buffers are written; the rest of the pause and the first buffer of
        // the following sound are skipped.
        EXPECT_EQ(record(), join(join(soundA, firstPause), slice(input, kSoundB + 1, kTotal)));
        break;
    case 2: {
        ASSERT_EQ(fin.saves, std::vector<bool>{true});
        const Bytes saved = fin.savedCopies[0];
        EXPECT_EQ(payload(saved), join(soundA, firstPause));
        // The new record begins where the sound comes back, at most one buffer early (the
        // input ran on while the first record was closed, so buffers no longer line up with
        // the input's), and runs to the end of the input.
        const Bytes second = record();
        ASSERT_GE(second.size(), (kTotal - kSoundB) * kBuf - 256);
        ASSERT_LT(second.size(), (kTotal - kSoundB + 1) * kBuf);
        EXPECT_TRUE(std::equal(second.begin(), second.end(), input.end() -
                                                                 static_cast<std::ptrdiff_t>(
                                                                     second.size())));
        break;
    }
    case 3: {
        // Stopped when the posted Stop was handled: after the buffer that made the silence
        // long, or one later when that buffer was already on its way.
        const Bytes r = record();
        const Bytes upTo = join(soundA, firstPause);
        ASSERT_GE(r.size(), upTo.size());
        ASSERT_LE(r.size(), upTo.size() + kBuf);
        EXPECT_TRUE(std::equal(upTo.begin(), upTo.end(), r.begin()));
        EXPECT_TRUE(std::equal(r.begin(), r.end(), input.begin() + 2 * kBuf));
        EXPECT_TRUE(fin.saves.empty());
        EXPECT_TRUE(session->deviceOpen());
        break;
    }
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
    ::setenv("MIRELDO_VIRTUAL_SPEED", "50", 1);
    std::filesystem::create_directory(dir.path() / "tmp");

    rectest::FakeView view;
    view.opts.formatRow = 12;
    CaptureSession::Environment env;
    env.freeSpace = [](const QString&) { return std::optional<std::uint64_t>(1ull << 40); };
    env.temporaryFolder = QString::fromStdString((dir.path() / "tmp").string());
    CaptureSession session(view, env);
    session.record();
    ASSERT_TRUE(rectest::pumpUntil([&] { return !session.recording(); }));
    ASSERT_EQ(session.dataLength(), input.size());

    session.sliderMoved(static_cast<std::uint32_t>(kSoundB * kBuf / 2));
    session.play();
    ASSERT_TRUE(session.playing());
    EXPECT_TRUE(view.buttons.stop);
    EXPECT_FALSE(view.buttons.record);
    ASSERT_TRUE(rectest::pumpUntil([&] { return !session.playing(); }));
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Paused);
    EXPECT_EQ(session.position(), kTotal * kBuf / 2);
    EXPECT_TRUE(view.buttons.playCutSave);

    const Bytes played = payload(fileBytes(QString::fromStdString(outputPath)));
    EXPECT_EQ(played, slice(input, kSoundB, kTotal));
    ::unsetenv("MIRELDO_VIRTUAL_OUTPUT");
    ::unsetenv("MIRELDO_VIRTUAL_INPUT");
}

} // namespace
