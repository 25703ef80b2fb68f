// The ALSA back-end's devices on real ALSA, configured by a private .asoundrc: capture through
// the file plugin over the null device, and devices that are missing or out of range.

#include "alsa_home.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "core_app.h"
#include "message_receiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace mireldo::platform;
using namespace mireldo::platform::audio;
using platformtest::coreApp;
using platformtest::processEventsUntil;
using testsupport::AlsaHome;
using testsupport::filePlugin;
using testsupport::testPcm;

namespace {

TEST(AlsaFilePlugin, CaptureDeliversTheInputBytesInOrder) {
    coreApp();
    testsupport::TempDir files;
    const auto source = testPcm(30000, 1, 16, 11);
    testsupport::writeFile(files.file("in.raw"), source);
    AlsaHome home(filePlugin(files.file("out.raw"), files.file("in.raw")));

    struct Owner : MessageReceiver {
        Owner() {
            onMessage<WaveBufferDone>(MM_WIM_DATA,
                                      [this](const WaveBufferDone& b) { got.push_back(b.header); });
        }
        std::vector<WaveHeader*> got;
    } owner;
    DeviceError error = DeviceError::None;
    auto in = openWaveIn(WAVE_MAPPER, PcmFormat{1, 16000, 16}, owner.handle(), &error);
    ASSERT_TRUE(in) << "error " << error;
    std::vector<std::vector<char>> blocks(3, std::vector<char>(10240));
    std::vector<WaveHeader> headers(3);
    for (std::size_t i = 0; i < 3; ++i) {
        headers[i].data = blocks[i].data();
        headers[i].bufferLength = 10240;
        prepareHeader(headers[i]);
        ASSERT_EQ(DeviceError::None, in->addBuffer(&headers[i]));
    }
    ASSERT_EQ(DeviceError::None, in->start());
    ASSERT_TRUE(processEventsUntil([&] { return owner.got.size() == 3; }, 10000));
    in->close();
    std::vector<std::uint8_t> captured;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(owner.got[i], &headers[i]);
        EXPECT_EQ(headers[i].bytesRecorded, 10240u);
        captured.insert(captured.end(), blocks[i].begin(), blocks[i].end());
    }
    EXPECT_TRUE(std::equal(captured.begin(), captured.end(), source.begin()));
}

TEST(AlsaDevices, MissingDevicesAreRefused) {
    coreApp();
    AlsaHome home("pcm.!default {\n  type hw\n  card 9\n}\n");
    ReceiverHandle nobody;
    DeviceError error = DeviceError::None;
    EXPECT_FALSE(openWaveOut(WAVE_MAPPER, PcmFormat{2, 44100, 16}, nobody, &error));
    EXPECT_NE(error, DeviceError::None);
    const auto count = static_cast<int>(waveOutDeviceNames().size());
    EXPECT_FALSE(openWaveOut(count, PcmFormat{2, 44100, 16}, nobody, &error));
    EXPECT_EQ(error, DeviceError::BadDeviceId);
}

} // namespace
