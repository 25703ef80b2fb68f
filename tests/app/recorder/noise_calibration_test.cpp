// Noise calibration: the proposal rule at its edges, a virtual input of noise at a known level
// (paced by a manual clock), and inputs that fail or end early.

#include "noise_calibration.h"
#include "recorder_fakes.h"
#include "test_support.h"
#include "audio/virtual_clock.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

using namespace mireldo::recorder;
using namespace mireldo::platform::audio;

namespace {

void settle() {
    for (int round = 0; round < 20; ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// `frames` frames of 16-bit mono white noise, uniform in [-amplitude, amplitude], from a fixed
// generator: its mean absolute deviation is about amplitude / 2.
std::vector<std::uint8_t> noise16(int frames, int amplitude) {
    std::vector<std::uint8_t> pcm;
    std::uint32_t state = 12345;
    for (int i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        const int v =
            static_cast<int>((state >> 8) % static_cast<std::uint32_t>(2 * amplitude + 1)) -
            amplitude;
        testsupport::putU16(pcm, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    }
    return pcm;
}

TEST(NoiseProposal, TheLowestLevelWithAThresholdOfOneAndAHalfTimesTheNoise) {
    // 16-bit thresholds 290, 300, 500, 850, 1050.
    EXPECT_EQ(proposeNoiseLevel(0, 16), 0);
    EXPECT_EQ(proposeNoiseLevel(193, 16), 0); // 289.5 <= 290
    EXPECT_EQ(proposeNoiseLevel(194, 16), 1); // 291 > 290, <= 300
    EXPECT_EQ(proposeNoiseLevel(200, 16), 1); // exactly 300
    EXPECT_EQ(proposeNoiseLevel(201, 16), 2);
    EXPECT_EQ(proposeNoiseLevel(700, 16), 4); // exactly 1050
    EXPECT_EQ(proposeNoiseLevel(701, 16), 4); // none is enough: the highest
    // 8-bit thresholds 10, 15, 20, 30, 40.
    EXPECT_EQ(proposeNoiseLevel(10, 8), 1);
    EXPECT_EQ(proposeNoiseLevel(20, 8), 3);
}

class NoiseCalibrationVirtual : public ::testing::Test {
  protected:
    void SetUp() override {
        rectest::coreApp();
        ::setenv("MIRELDO_AUDIO_MODE", "virtual", 1);
        ::setenv("MIRELDO_VIRTUAL_SPEED", "1", 1);
    }
    void TearDown() override { ::unsetenv("MIRELDO_VIRTUAL_INPUT"); }

    // Listens to `pcm` (8000 Hz 16-bit mono) as the virtual input, moving the clock one
    // buffer at a time.
    std::optional<NoiseMeasurement> measure(const std::vector<std::uint8_t>& pcm) {
        const std::string path = dir.file("noise.wav");
        testsupport::writeFile(path, testsupport::makeWav(1, 8000, 16, pcm));
        ::setenv("MIRELDO_VIRTUAL_INPUT", path.c_str(), 1);
        ManualClock clock;
        NoiseCalibration calibration;
        CaptureOptions options;
        options.formatRow = 12; // 8000 Hz, 16 bits, mono
        std::optional<NoiseMeasurement> result;
        if (!calibration.start(options, [&](const NoiseMeasurement& m) { result = m; })) {
            return std::nullopt;
        }
        EXPECT_TRUE(calibration.running());
        for (int step = 0; step < 60 && !result; ++step) {
            clock.advance(std::chrono::milliseconds(640)); // one buffer of 10,240 bytes
            settle();
        }
        EXPECT_FALSE(calibration.running());
        return result;
    }

    testsupport::TempDir dir;
};

TEST_F(NoiseCalibrationVirtual, NoiseOfAKnownLevelProposesTheExpectedLevel) {
    // Deviation about 260: 1.5 x 260 = 390 needs threshold 500, level 2.
    const auto result = measure(noise16(8000 * 5, 520));
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->ok);
    EXPECT_NEAR(static_cast<double>(result->deviation), 260.0, 10.0);
    EXPECT_EQ(result->level, 2);
}

TEST_F(NoiseCalibrationVirtual, TheLoudestBufferDecides) {
    // Quiet noise, with one buffer of louder noise within the three seconds.
    std::vector<std::uint8_t> pcm = noise16(8000 * 5, 100);
    const auto loud = noise16(5120, 1000);
    std::memcpy(pcm.data() + 10240 * 2, loud.data(), loud.size());
    const auto result = measure(pcm);
    ASSERT_TRUE(result.has_value());
    EXPECT_NEAR(static_cast<double>(result->deviation), 500.0, 15.0);
    EXPECT_EQ(result->level, 3); // 1.5 x 500 = 750 needs threshold 850
}

TEST_F(NoiseCalibrationVirtual, AnInputShorterThanThreeSecondsAnswersWithWhatItHad) {
    const auto result = measure(noise16(8000, 100)); // one second
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->ok);
    EXPECT_EQ(result->level, 0);
}

TEST(NoiseCalibrationFailures, AnInputThatDoesNotOpenStartsNothing) {
    rectest::coreApp();
    rectest::DeviceFarm farm;
    farm.fail = true;
    NoiseCalibration calibration(farm.opener());
    bool called = false;
    EXPECT_FALSE(
        calibration.start(CaptureOptions{}, [&](const NoiseMeasurement&) { called = true; }));
    EXPECT_FALSE(calibration.running());
    EXPECT_FALSE(called);
}

TEST(NoiseCalibrationFailures, ADeviceThatFailsGivesNoAnswerAndIsClosed) {
    rectest::coreApp();
    rectest::DeviceFarm farm;
    NoiseCalibration calibration(farm.opener());
    std::optional<NoiseMeasurement> result;
    ASSERT_TRUE(
        calibration.start(CaptureOptions{}, [&](const NoiseMeasurement& m) { result = m; }));
    rectest::FakeDevice& d = farm.last();
    ASSERT_FALSE(d.queued.empty());
    WaveHeader* h = d.queued.front();
    d.queued.pop_front();
    h->bytesRecorded = 0; // handed back empty: the device is gone
    calibration.bufferDone(&d, h);
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->ok);
    EXPECT_FALSE(calibration.running());
    EXPECT_EQ(d.closes, 1);
}

// A device that, as real ones do, posts every queued header back when it is reset.
class PostingDevice : public rectest::FakeDevice {
  public:
    PostingDevice(const PcmFormat& f, mireldo::platform::ReceiverHandle owner)
        : FakeDevice(f), owner_(owner) {}
    DeviceError reset() override {
        for (WaveHeader* h : queued) {
            h->bytesRecorded = 0;
            h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
            const WaveIn* device = this;
            mireldo::platform::postMessage(owner_, mireldo::platform::MM_WIM_DATA,
                                           WaveBufferDone{device, h});
        }
        queued.clear();
        return DeviceError::None;
    }
    DeviceError close() override { return reset(); }

  private:
    mireldo::platform::ReceiverHandle owner_;
};

TEST(NoiseCalibrationFailures, ARestartIsNotConfusedByTheBuffersTheLastDeviceHandedBack) {
    rectest::coreApp();
    // The same device object both times: a device opened again at the same address.
    std::shared_ptr<PostingDevice> device;
    const auto opener = [&device](int, const PcmFormat& f, mireldo::platform::ReceiverHandle owner,
                                  DeviceError*) -> WaveInPtr {
        if (!device) {
            device = std::make_shared<PostingDevice>(f, owner);
        }
        return device;
    };
    NoiseCalibration calibration(opener);
    std::vector<NoiseMeasurement> results;
    const auto done = [&](const NoiseMeasurement& m) { results.push_back(m); };
    ASSERT_TRUE(calibration.start(CaptureOptions{}, done));
    calibration.cancel(); // the device posts its buffers back, empty
    ASSERT_TRUE(calibration.start(CaptureOptions{}, done));
    settle();
    // Those empty buffers would read as a failed device.
    EXPECT_TRUE(calibration.running());
    EXPECT_TRUE(results.empty());
    calibration.cancel();
}

TEST(NoiseCalibrationFailures, CancelClosesTheDeviceWithoutAnAnswer) {
    rectest::coreApp();
    rectest::DeviceFarm farm;
    NoiseCalibration calibration(farm.opener());
    bool called = false;
    ASSERT_TRUE(
        calibration.start(CaptureOptions{}, [&](const NoiseMeasurement&) { called = true; }));
    calibration.cancel();
    EXPECT_FALSE(calibration.running());
    EXPECT_EQ(farm.last().closes, 1);
    settle();
    EXPECT_FALSE(called);
}

} // namespace
