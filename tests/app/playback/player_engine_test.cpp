// The player engine on the virtual back-end, run many times faster than real time: what it
// plays (the virtual output's WAV) against what the decoder gives, and the position reports.

#include "audio/virtual_clock.h"
#include "audio_play_thread.h"
#include "player_test_util.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace mireldo::playback;
using namespace mireldo::platform;
using namespace mireldo::platform::audio;
using namespace playertest;

namespace {

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        coreApp();
        ASSERT_TRUE(player_.CreateThread());
        player_.SetNotify(log_.handle(), ReportLog::kMessage, 5);
    }
    void TearDown() override {
        player_.Stop();
        EXPECT_TRUE(player_.Quit(30));
    }

    std::string makeInput(const std::string& name, std::uint32_t frames, std::uint16_t channels,
                          std::uint32_t rate, std::uint16_t bits, std::uint32_t seed = 7) {
        pcm_[name] = testPcm(frames, channels, bits, seed);
        const std::string path = dir_.file(name);
        testsupport::writeFile(path, testsupport::makeWav(channels, rate, bits, pcm_[name]));
        return path;
    }

    // Streams live until after TearDown's Stop, as an owner closes a stream only after Stop.
    Stream& open(const std::string& path) {
        streams_.push_back(std::make_unique<Stream>(path));
        return *streams_.back();
    }

    bool waitForEnd(int timeoutMs = 20000) {
        return pumpUntil([&] { return log_.ends() > 0; }, timeoutMs);
    }

    std::vector<std::uint8_t> played() { return wavPayload(outputPath_); }

    testsupport::TempDir dir_;
    std::string outputPath_ = dir_.file("played.wav");
    ScopedEnv mode_{"MIRELDO_AUDIO_MODE", "virtual"};
    ScopedEnv output_{"MIRELDO_VIRTUAL_OUTPUT", outputPath_};
    ScopedEnv speed_{"MIRELDO_VIRTUAL_SPEED", "400"};
    std::map<std::string, std::vector<std::uint8_t>> pcm_;
    std::vector<std::unique_ptr<Stream>> streams_;
    ReportLog log_;
    CAudioPlayThread player_;
};

// Each sample moved toward silence by volume / 65535, truncated toward zero.
std::vector<std::uint8_t> scaled(const std::vector<std::uint8_t>& pcm, std::uint16_t channels,
                                 std::uint16_t bits, std::uint32_t volume) {
    std::vector<std::uint8_t> out = pcm;
    const long left = volume & 0xFFFF;
    const long right = channels == 2 ? volume >> 16 : left;
    if (bits == 16) {
        for (std::size_t i = 0; i + 1 < out.size(); i += 2) {
            const long v = (channels == 2 && (i / 2) % 2 == 1) ? right : left;
            const auto s = static_cast<std::int16_t>(out[i] | out[i + 1] << 8);
            const auto r = static_cast<std::uint16_t>(static_cast<std::int16_t>(s * v / 65535));
            out[i] = static_cast<std::uint8_t>(r & 0xFF);
            out[i + 1] = static_cast<std::uint8_t>(r >> 8);
        }
    } else {
        for (std::size_t i = 0; i < out.size(); ++i) {
            const long v = (channels == 2 && i % 2 == 1) ? right : left;
            out[i] = static_cast<std::uint8_t>(128 + (out[i] - 128L) * v / 65535);
        }
    }
    return out;
}

TEST_F(PlayerTest, PlaysTheDecodedStreamBitForBitAtFullVolume) {
    // 7 s: more than the five seconds kept queued, and not a whole number of buffers.
    Stream& s = open(makeInput("a.wav", 44100 * 7 + 333, 2, 44100, 16));
    ASSERT_EQ(0, player_.Play(-1, s.handle(), s.format(), s.length(), 0));
    EXPECT_TRUE(player_.IsOpen());
    ASSERT_TRUE(waitForEnd());
    player_.Stop();
    EXPECT_FALSE(player_.IsOpen());
    EXPECT_EQ(played(), pcm_["a.wav"]);
    EXPECT_EQ(log_.reports.back().position, s.length());
}

TEST_F(PlayerTest, ScalesEverySampleAtOtherVolumes) {
    struct Case {
        std::uint16_t channels;
        std::uint16_t bits;
        std::uint32_t volume;
    };
    for (const Case c : {Case{2, 16, 0x4000C000u}, Case{1, 16, 0x00008001u},
                         Case{2, 8, 0xFFFF1234u}, Case{1, 8, 0u}}) {
        SCOPED_TRACE(testing::Message()
                     << c.channels << " ch " << c.bits << " bit vol " << std::hex << c.volume);
        const std::string name = "v" + std::to_string(c.channels) + std::to_string(c.bits) + ".wav";
        Stream& s = open(makeInput(name, 30000, c.channels, 22050, c.bits));
        std::filesystem::remove(outputPath_);
        log_.reports.clear();
        player_.SetVolume(c.volume);
        ASSERT_EQ(0, player_.Play(-1, s.handle(), s.format(), s.length(), 0));
        ASSERT_TRUE(waitForEnd());
        player_.Stop();
        EXPECT_EQ(played(), scaled(pcm_[name], c.channels, c.bits, c.volume));
    }
}

TEST_F(PlayerTest, StreamShorterThanOneBufferReportsTheTotalWithTheEndFlag) {
    Stream& s = open(makeInput("short.wav", 1000, 2, 44100, 16));
    ASSERT_EQ(0, player_.Play(-1, s.handle(), s.format(), s.length(), 0));
    ASSERT_TRUE(waitForEnd());
    pumpFor(50); // nothing may follow the end
    ASSERT_EQ(log_.ends(), 1);
    EXPECT_EQ(log_.reports.back().position, 1000u);
    EXPECT_TRUE(log_.reports.back().end);
    player_.Stop();
    EXPECT_EQ(played(), pcm_["short.wav"]);
}

TEST_F(PlayerTest, PositionsOnlyMoveForwardAndTheEndIsReportedOnce) {
    ScopedEnv slower("MIRELDO_VIRTUAL_SPEED", "40"); // several timer ticks per buffer
    Stream& s = open(makeInput("p.wav", 44100 * 6, 2, 44100, 16));
    ASSERT_EQ(0, player_.Play(-1, s.handle(), s.format(), s.length(), 0));
    ASSERT_TRUE(waitForEnd());
    pumpFor(100); // timer ticks after the end send nothing
    ASSERT_GT(log_.reports.size(), 5u) << "the timer reports between buffers";
    for (std::size_t i = 1; i < log_.reports.size(); ++i) {
        EXPECT_GT(log_.reports[i].position, log_.reports[i - 1].position) << "report " << i;
    }
    EXPECT_EQ(log_.ends(), 1);
    EXPECT_TRUE(log_.reports.back().end);
    EXPECT_EQ(log_.reports.back().position, s.length());
}

TEST_F(PlayerTest, SeekWrapsModuloTheTotal) {
    const std::uint32_t frames = 44100 * 3;
    Stream& s = open(makeInput("seek.wav", frames, 2, 44100, 16));
    ASSERT_EQ(0, player_.Play(-1, s.handle(), s.format(), s.length(), 0));
    ASSERT_EQ(1, player_.Pause());
    const std::uint32_t target = 2 * frames + 12345; // wraps to 12345
    player_.Seek(target);
    const std::size_t before = log_.reports.size();
    player_.Resume();
    ASSERT_TRUE(waitForEnd());
    player_.Stop();
    ASSERT_GT(log_.reports.size(), before);
    for (std::size_t i = before; i < log_.reports.size(); ++i) {
        EXPECT_GE(log_.reports[i].position, 12345u);
    }
    // Whatever played before the seek, the output ends with the stream from frame 12345 on.
    const auto out = played();
    const auto& in = pcm_["seek.wav"];
    const std::size_t tail = in.size() - 12345 * 4;
    ASSERT_GE(out.size(), tail);
    EXPECT_TRUE(std::equal(in.end() - static_cast<long>(tail), in.end(),
                           out.end() - static_cast<long>(tail)));
}

TEST_F(PlayerTest, PauseStopsReportsAndResumeContinues) {
    ScopedEnv slower("MIRELDO_VIRTUAL_SPEED", "20");
    Stream& s = open(makeInput("pause.wav", 44100 * 4, 2, 44100, 16));
    ASSERT_EQ(0, player_.Play(-1, s.handle(), s.format(), s.length(), 0));
    ASSERT_TRUE(pumpUntil([&] { return log_.reports.size() >= 2; }));
    ASSERT_EQ(1, player_.Pause());
    EXPECT_TRUE(player_.IsPaused());
    pumpFor(20); // reports posted before the pause arrive
    const std::size_t atPause = log_.reports.size();
    const std::uint32_t position = log_.reports.back().position;
    pumpFor(300); // would be 6 s of audio at this speed
    EXPECT_EQ(log_.reports.size(), atPause) << "no reports while paused";
    player_.Resume();
    EXPECT_FALSE(player_.IsPaused());
    ASSERT_TRUE(waitForEnd());
    EXPECT_GT(log_.reports[atPause].position, position);
    player_.Stop();
    EXPECT_EQ(played(), pcm_["pause.wav"]) << "pausing loses nothing";
}

// Wraps the virtual output, remembering every header written and the order of opens and
// closes.
class WatchedOutput : public WaveOut {
  public:
    WatchedOutput(WaveOutPtr inner, std::string name, std::vector<std::string>& events,
                  std::vector<WaveHeader*>& written)
        : WaveOut(inner->format()), inner_(std::move(inner)), name_(std::move(name)),
          events_(events), written_(written) {}
    DeviceError write(WaveHeader* h) override {
        {
            std::lock_guard lock(mutex_);
            written_.push_back(h);
        }
        return inner_->write(h);
    }
    DeviceError pause() override { return inner_->pause(); }
    DeviceError restart() override { return inner_->restart(); }
    DeviceError reset() override { return inner_->reset(); }
    DeviceError getPosition(std::uint32_t* s) override { return inner_->getPosition(s); }
    DeviceError setVolume(std::uint32_t v) override { return inner_->setVolume(v); }
    DeviceError getVolume(std::uint32_t* v) override { return inner_->getVolume(v); }
    DeviceError close() override {
        if (!closed_) {
            closed_ = true;
            events_.push_back("close " + name_);
        }
        return inner_->close();
    }

    static std::mutex mutex_;

  private:
    WaveOutPtr inner_;
    std::string name_;
    std::vector<std::string>& events_;
    std::vector<WaveHeader*>& written_;
    bool closed_ = false;
};
std::mutex WatchedOutput::mutex_;

class WatchedPlayerTest : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        player_.SetOutputOpener(
            [this](int device, const PcmFormat& format, ReceiverHandle owner) -> WaveOutPtr {
                auto inner = openWaveOut(device, format, owner);
                if (!inner) {
                    return nullptr;
                }
                const std::string name = std::to_string(format.sampleRate);
                events_.push_back("open " + name);
                return std::make_shared<WatchedOutput>(inner, name, events_, written_);
            });
    }
    std::vector<std::string> events_;
    std::vector<WaveHeader*> written_;
};

TEST_F(WatchedPlayerTest, StopWithBuffersQueuedReturnsOnlyWhenAllCameBack) {
    ScopedEnv realTime("MIRELDO_VIRTUAL_SPEED", "1");
    Stream& s = open(makeInput("stop.wav", 44100 * 8, 2, 44100, 16));
    ASSERT_EQ(0, player_.Play(-1, s.handle(), s.format(), s.length(), 0));
    // Let the engine queue its five seconds, then stop long before they have played.
    ASSERT_TRUE(pumpUntil([&] {
        std::lock_guard lock(WatchedOutput::mutex_);
        return written_.size() >= 5;
    }));
    player_.Stop();
    std::lock_guard lock(WatchedOutput::mutex_);
    for (WaveHeader* h : written_) {
        // Handed back by the device and taken back by the engine (which unprepares it).
        EXPECT_EQ(h->flags & (WHDR_INQUEUE | WHDR_PREPARED), 0u);
    }
    EXPECT_FALSE(player_.IsOpen());
    pumpFor(30);
    EXPECT_EQ(log_.ends(), 0) << "a stop is not the end of the stream";
}

TEST_F(WatchedPlayerTest, SameFormatReusesTheOutputAndAnotherOpensANewOneFirst) {
    Stream& a = open(makeInput("a.wav", 5000, 2, 44100, 16, 1));
    Stream& b = open(makeInput("b.wav", 6000, 2, 44100, 16, 2));
    Stream& c = open(makeInput("c.wav", 7000, 1, 22050, 16, 3));
    ASSERT_EQ(0, player_.Play(-1, a.handle(), a.format(), a.length(), 0));
    ASSERT_TRUE(waitForEnd());
    log_.reports.clear();
    ASSERT_EQ(0, player_.Play(-1, b.handle(), b.format(), b.length(), 0));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(events_, (std::vector<std::string>{"open 44100"}));
    log_.reports.clear();
    ASSERT_EQ(0, player_.Play(-1, c.handle(), c.format(), c.length(), 0));
    EXPECT_EQ(events_, (std::vector<std::string>{"open 44100", "open 22050", "close 44100"}));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(log_.reports.back().position, 7000u);
    player_.Stop();
    EXPECT_EQ(events_.back(), "close 22050");
    // The output holds the last format's stream only: the file restarts for a new format.
    EXPECT_EQ(played(), pcm_["c.wav"]);
}

TEST_F(WatchedPlayerTest, RefusedStreamClosesOnlyTheOutputJustOpened) {
    Stream& a = open(makeInput("a.wav", 5000, 2, 44100, 16));
    Stream& c = open(makeInput("c.wav", 5000, 1, 8000, 8));
    ASSERT_EQ(0, player_.Play(-1, a.handle(), a.format(), a.length(), 0));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(2, player_.Play(-1, nullptr, c.format(), c.length(), 0));
    EXPECT_EQ(events_, (std::vector<std::string>{"open 44100", "open 8000", "close 8000"}));
    EXPECT_TRUE(player_.IsOpen());
}

TEST_F(PlayerTest, AnOutputThatCannotBeOpenedAnswersOne) {
    Stream& s = open(makeInput("a.wav", 5000, 2, 44100, 16));
    EXPECT_EQ(1, player_.Play(7, s.handle(), s.format(), s.length(), 0)); // no device 7
    EXPECT_FALSE(player_.IsOpen());
}

TEST_F(PlayerTest, IsPausedIsFalseWithoutAnOpenOutput) {
    EXPECT_EQ(1, player_.Pause());
    EXPECT_FALSE(player_.IsPaused());
    Stream& s = open(makeInput("a.wav", 44100 * 2, 2, 44100, 16));
    ASSERT_EQ(0, player_.Play(-1, s.handle(), s.format(), s.length(), 0));
    ASSERT_EQ(1, player_.Pause());
    EXPECT_TRUE(player_.IsPaused());
    player_.Stop();
    EXPECT_FALSE(player_.IsPaused());
}

TEST_F(PlayerTest, PlaysAgainFromAnyStartAfterStop) {
    Stream& s = open(makeInput("a.wav", 30000, 2, 44100, 16));
    ASSERT_EQ(0, player_.Play(-1, s.handle(), s.format(), s.length(), 0));
    player_.Stop();
    std::filesystem::remove(outputPath_);
    log_.reports.clear();
    ASSERT_EQ(0, player_.Play(-1, s.handle(), s.format(), s.length(), 20000));
    ASSERT_TRUE(waitForEnd());
    player_.Stop();
    const auto& in = pcm_["a.wav"];
    EXPECT_EQ(played(), std::vector<std::uint8_t>(in.begin() + 20000 * 4, in.end()));
}

// The engine may report a stream's end just before the owner stops it and plays the next one;
// that report, still queued, must not reach the owner as the end of the next stream. On a
// manual clock, with a synchronous request as the barrier that lets the engine handle what the
// device handed back, the stale end is sent before the owner looks at its queue.
TEST_F(PlayerTest, ReportsOfAStoppedOrReplacedStreamNeverReachTheOwner) {
    ManualClock clock;
    Stream& a = open(makeInput("a.wav", 2000, 2, 44100, 16));
    Stream& b = open(makeInput("b.wav", 3000, 2, 44100, 16, 9));
    const auto playThrough = [&] {
        player_.FreeBuffers(); // the engine has queued what it decoded
        clock.advance(std::chrono::seconds(1));
        player_.FreeBuffers(); // ...and handled the buffers the device gave back
    };

    ASSERT_EQ(0, player_.Play(-1, a.handle(), a.format(), a.length(), 0));
    playThrough();
    player_.Stop();
    QCoreApplication::processEvents();
    EXPECT_TRUE(log_.reports.empty()); // a's end arrived after the Stop

    ASSERT_EQ(0, player_.Play(-1, a.handle(), a.format(), a.length(), 0));
    playThrough();
    ASSERT_EQ(0, player_.Play(-1, b.handle(), b.format(), b.length(), 0));
    QCoreApplication::processEvents();
    EXPECT_TRUE(log_.reports.empty()); // a's end arrived after b was played

    playThrough();
    QCoreApplication::processEvents();
    ASSERT_EQ(log_.ends(), 1);
    EXPECT_EQ(log_.reports.back().position, 3000u); // b's end, and b's only
    EXPECT_TRUE(log_.reports.back().end);
}

TEST(PlayerThread, RequestsAfterQuitFailWithoutBlocking) {
    coreApp();
    CAudioPlayThread player;
    ASSERT_TRUE(player.CreateThread());
    EXPECT_TRUE(player.Quit(30));
    EXPECT_EQ(0, player.Pause());
    player.Stop();   // returns at once
    player.Seek(10); // likewise
    EXPECT_FALSE(player.IsOpen());
}

TEST(PlayerThread, PlayThatCannotReachTheEngineAnswersThreeAndKeepsNoOutput) {
    coreApp();
    testsupport::TempDir dir;
    ScopedEnv mode("MIRELDO_AUDIO_MODE", "virtual");
    ScopedEnv output("MIRELDO_VIRTUAL_OUTPUT", dir.file("played.wav"));
    const std::string path = dir.file("a.wav");
    testsupport::writeFile(path, testsupport::makeWav(2, 44100, 16, testPcm(5000, 2, 16)));
    Stream s(path);
    std::vector<std::string> events;
    std::vector<WaveHeader*> written;
    std::weak_ptr<WaveOut> opened;
    CAudioPlayThread player;
    player.SetOutputOpener(
        [&](int device, const PcmFormat& format, ReceiverHandle owner) -> WaveOutPtr {
            auto inner = openWaveOut(device, format, owner);
            if (!inner) {
                return nullptr;
            }
            auto out = std::make_shared<WatchedOutput>(inner, "out", events, written);
            opened = out;
            return out;
        });
    ASSERT_TRUE(player.CreateThread());
    ASSERT_TRUE(player.Quit(30));

    EXPECT_EQ(3, player.Play(-1, s.handle(), s.format(), s.length(), 0));
    EXPECT_EQ(events, std::vector<std::string>{"close out"}) << "the output just opened is closed";
    // The request that could not be posted is gone with its reference to the output.
    EXPECT_TRUE(opened.expired());
    EXPECT_FALSE(player.IsOpen());
    EXPECT_TRUE(written.empty());
}

} // namespace
