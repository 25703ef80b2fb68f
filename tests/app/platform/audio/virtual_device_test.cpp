// The virtual devices on their own: pacing, position, pause, reset, the WAV they write, and
// the continuous input source.

#include "audio/virtual_clock.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "core_app.h"
#include "message_receiver.h"
#include "returned_buffers.h"
#include "test_support.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace mireldo::platform;
using namespace mireldo::platform::audio;
using platformtest::coreApp;
using testsupport::ScopedEnv;
using testsupport::testPcm;
using testsupport::wavPayload;

namespace {

bool pumpUntil(const std::function<bool()>& done) {
    return platformtest::processEventsUntil(done, 10000);
}

struct Block {
    explicit Block(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {
        header.data = reinterpret_cast<char*>(bytes_.data());
        header.bufferLength = static_cast<std::uint32_t>(bytes_.size());
        prepareHeader(header);
    }
    std::vector<std::uint8_t> bytes_;
    WaveHeader header;
};

class VirtualDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override { coreApp(); }
    testsupport::TempDir dir_;
    std::string out_ = dir_.file("out.wav");
    ScopedEnv mode_{"MIRELDO_AUDIO_MODE", "virtual"};
    ScopedEnv output_{"MIRELDO_VIRTUAL_OUTPUT", out_};
    platformtest::ReturnedBuffers owner_;
};

const PcmFormat kStereo{2, 8000, 16};

TEST_F(VirtualDeviceTest, OutputIsPacedByTheClockAndPositionsFollowIt) {
    ScopedEnv speed("MIRELDO_VIRTUAL_SPEED", "1");
    ManualClock clock;
    auto out = openWaveOut(WAVE_MAPPER, kStereo, owner_.handle());
    ASSERT_TRUE(out);
    Block a(testPcm(4000, 2, 16, 1)); // half a second of audio
    Block b(testPcm(4000, 2, 16, 2));
    ASSERT_EQ(DeviceError::None, out->write(&a.header));
    ASSERT_EQ(DeviceError::None, out->write(&b.header));
    EXPECT_EQ(unprepareHeader(a.header), DeviceError::StillPlaying) << "held by the device";

    clock.advance(std::chrono::milliseconds(499));
    QCoreApplication::processEvents();
    EXPECT_TRUE(owner_.done.empty()) << "not due before its last frame has played";
    std::uint32_t position = 0;
    out->getPosition(&position);
    EXPECT_EQ(position, 3992u);

    clock.advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(pumpUntil([&] { return owner_.done.size() == 1; }));
    out->getPosition(&position);
    EXPECT_EQ(position, 4000u);
    clock.advance(std::chrono::milliseconds(500));
    ASSERT_TRUE(pumpUntil([&] { return owner_.done.size() == 2; }));
    EXPECT_EQ(owner_.done[0], &a.header);
    EXPECT_EQ(owner_.done[1], &b.header);
    EXPECT_TRUE(b.header.flags & WHDR_DONE);
    clock.advance(std::chrono::seconds(1));
    out->getPosition(&position);
    EXPECT_EQ(position, 8000u) << "an empty device stands still";
    out->close();
    auto expected = a.bytes_;
    expected.insert(expected.end(), b.bytes_.begin(), b.bytes_.end());
    EXPECT_EQ(wavPayload(out_), expected);
}

TEST_F(VirtualDeviceTest, PauseHoldsThePositionAndResetHandsEverythingBack) {
    ScopedEnv speed("MIRELDO_VIRTUAL_SPEED", "1");
    ManualClock clock;
    auto out = openWaveOut(WAVE_MAPPER, kStereo, owner_.handle());
    ASSERT_TRUE(out);
    Block a(testPcm(8000, 2, 16, 1));
    Block b(testPcm(8000, 2, 16, 2));
    out->write(&a.header);
    out->write(&b.header);
    clock.advance(std::chrono::milliseconds(300));
    out->pause();
    std::uint32_t p1 = 0;
    std::uint32_t p2 = 0;
    out->getPosition(&p1);
    EXPECT_EQ(p1, 2400u);
    clock.advance(std::chrono::seconds(2));
    QCoreApplication::processEvents();
    out->getPosition(&p2);
    EXPECT_EQ(p1, p2);
    EXPECT_TRUE(owner_.done.empty());
    ASSERT_EQ(DeviceError::None, out->reset());
    // Reset is synchronous: both headers are already marked done and no longer held.
    EXPECT_EQ(a.header.flags & WHDR_INQUEUE, 0u);
    EXPECT_EQ(b.header.flags & WHDR_INQUEUE, 0u);
    out->getPosition(&p2);
    EXPECT_EQ(p2, 0u);
    ASSERT_TRUE(pumpUntil([&] { return owner_.done.size() == 2; }));
    out->close();
    EXPECT_EQ(DeviceError::InvalidHandle, out->write(&a.header));
    EXPECT_EQ(wavPayload(out_).size(), std::size_t{p1} * 4) << "what played before the pause";
}

TEST_F(VirtualDeviceTest, OutputAppendsForTheSameFormatAndRestartsForAnother) {
    ScopedEnv speed("MIRELDO_VIRTUAL_SPEED", "1000");
    Block a(testPcm(800, 2, 16, 1));
    Block b(testPcm(800, 2, 16, 2));
    for (Block* block : {&a, &b}) {
        auto out = openWaveOut(WAVE_MAPPER, kStereo, owner_.handle());
        ASSERT_TRUE(out);
        block->header.flags = WHDR_PREPARED;
        out->write(&block->header);
        ASSERT_TRUE(pumpUntil([&] { return headerFlags(block->header) & WHDR_DONE; }));
        out->close();
    }
    auto both = a.bytes_;
    both.insert(both.end(), b.bytes_.begin(), b.bytes_.end());
    EXPECT_EQ(wavPayload(out_), both);

    auto mono = openWaveOut(WAVE_MAPPER, PcmFormat{1, 8000, 8}, owner_.handle());
    ASSERT_TRUE(mono);
    Block c(testPcm(300, 1, 8, 3));
    mono->write(&c.header);
    ASSERT_TRUE(pumpUntil([&] { return headerFlags(c.header) & WHDR_DONE; }));
    mono->close();
    EXPECT_EQ(wavPayload(out_), c.bytes_);
}

TEST_F(VirtualDeviceTest, RefusesWhatNoDeviceCanDo) {
    DeviceError error = DeviceError::None;
    EXPECT_FALSE(openWaveOut(WAVE_MAPPER, PcmFormat{3, 8000, 16}, owner_.handle(), &error));
    EXPECT_EQ(error, DeviceError::BadFormat);
    EXPECT_FALSE(openWaveOut(1, kStereo, owner_.handle(), &error));
    EXPECT_EQ(error, DeviceError::BadDeviceId);
    EXPECT_EQ(waveOutDeviceNames().size(), 1);
    EXPECT_EQ(waveInDeviceNames().size(), 1);
    auto out = openWaveOut(0, kStereo, owner_.handle());
    ASSERT_TRUE(out);
    Block odd(std::vector<std::uint8_t>(7, 0)); // not a whole number of frames
    EXPECT_EQ(out->write(&odd.header), DeviceError::InvalidParam);
    Block unprepared(std::vector<std::uint8_t>(8, 0));
    unprepared.header.flags = 0;
    EXPECT_EQ(out->write(&unprepared.header), DeviceError::Unprepared);
}

TEST_F(VirtualDeviceTest, InputIsOneSourceThatGoesOnAcrossReopensAndReportsItsEnd) {
    ScopedEnv speed("MIRELDO_VIRTUAL_SPEED", "1000");
    const auto pcm = testPcm(3000, 1, 16, 9);
    const std::string in = dir_.file("in.wav");
    testsupport::writeFile(in, testsupport::makeWav(1, 8000, 16, pcm));
    ScopedEnv input("MIRELDO_VIRTUAL_INPUT", in);
    const PcmFormat mono{1, 8000, 16};

    std::vector<std::uint8_t> captured;
    Block first(std::vector<std::uint8_t>(2000, 0)); // 1000 frames
    {
        auto dev = openWaveIn(WAVE_MAPPER, mono, owner_.handle());
        ASSERT_TRUE(dev);
        dev->addBuffer(&first.header);
        dev->start();
        ASSERT_TRUE(pumpUntil([&] { return owner_.data.size() == 1; }));
        EXPECT_EQ(first.header.bytesRecorded, 2000u);
        dev->close();
    }
    captured.insert(captured.end(), first.bytes_.begin(), first.bytes_.end());
    Block second(std::vector<std::uint8_t>(3000, 0));
    Block third(std::vector<std::uint8_t>(3000, 0));
    auto dev = openWaveIn(WAVE_MAPPER, mono, owner_.handle());
    ASSERT_TRUE(dev);
    dev->addBuffer(&second.header);
    dev->addBuffer(&third.header);
    dev->start();
    ASSERT_TRUE(pumpUntil([&] { return owner_.data.size() == 3; }));
    EXPECT_TRUE(dev->endOfInput());
    EXPECT_FALSE(second.header.flags & WHDR_ENDOFINPUT);
    EXPECT_TRUE(third.header.flags & WHDR_ENDOFINPUT);
    EXPECT_EQ(third.header.bytesRecorded, 1000u);
    captured.insert(captured.end(), second.bytes_.begin(), second.bytes_.end());
    captured.insert(captured.end(), third.bytes_.begin(), third.bytes_.begin() + 1000);
    EXPECT_EQ(captured, pcm) << "the second opening went on where the first stopped";
    dev->close();

    DeviceError error = DeviceError::None;
    EXPECT_FALSE(openWaveIn(WAVE_MAPPER, PcmFormat{2, 8000, 16}, owner_.handle(), &error));
    EXPECT_EQ(error, DeviceError::BadFormat) << "the file's format is the only one it has";
}

TEST_F(VirtualDeviceTest, ToneInputStopsAndResetsLikeADevice) {
    ScopedEnv speed("MIRELDO_VIRTUAL_SPEED", "1");
    ScopedEnv input("MIRELDO_VIRTUAL_INPUT", "tone:1000");
    ManualClock clock;
    auto dev = openWaveIn(WAVE_MAPPER, PcmFormat{1, 8000, 16}, owner_.handle());
    ASSERT_TRUE(dev);
    Block a(std::vector<std::uint8_t>(16000, 0)); // 1 s
    Block b(std::vector<std::uint8_t>(16000, 0));
    dev->addBuffer(&a.header);
    dev->addBuffer(&b.header);
    dev->start();
    clock.advance(std::chrono::milliseconds(300));
    dev->stop(); // hands back the part-filled buffer, keeps the empty one
    ASSERT_TRUE(pumpUntil([&] { return owner_.data.size() == 1; }));
    EXPECT_EQ(owner_.data[0], &a.header);
    EXPECT_EQ(a.header.bytesRecorded, 4800u) << "the 300 ms the clock moved";
    int peak = 0;
    for (std::uint32_t i = 0; i + 1 < a.header.bytesRecorded; i += 2) {
        peak =
            std::max(peak, std::abs(static_cast<std::int16_t>(a.bytes_[i] | a.bytes_[i + 1] << 8)));
    }
    EXPECT_NEAR(peak, 16384, 200) << "a half-scale tone";
    EXPECT_TRUE(b.header.flags & WHDR_INQUEUE);
    dev->reset();
    EXPECT_FALSE(b.header.flags & WHDR_INQUEUE);
    ASSERT_TRUE(pumpUntil([&] { return owner_.data.size() == 2; }));
    EXPECT_FALSE(dev->endOfInput());
}

} // namespace
