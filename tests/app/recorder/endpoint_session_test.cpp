// The capture session in the endpoint mode: it opens the sound server's source named by the
// options, says why a source's format cannot be recorded, and tells the user once per Record
// when audio was lost. With fakes for the device and the view.

#include "capture_session.h"
#include "recorder_fakes.h"
#include "string_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace mireldo::recorder;
using namespace mireldo::platform::audio;

namespace {

class EndpointSession : public ::testing::Test {
  protected:
    void SetUp() override {
        rectest::coreApp();
        view.opts.endpointMode = true;
        view.opts.endpointSelected = true;
        view.opts.endpointName = QStringLiteral("mic.front");
        view.opts.formatRow = 3; // 44100 Hz, 16 bits, stereo
    }

    CaptureSession& make() {
        CaptureSession::Environment env;
        env.openDevice = [this](int, const PcmFormat&, mireldo::platform::ReceiverHandle,
                                DeviceError* error) -> WaveInPtr {
            ++deviceOpens;
            *error = DeviceError::Failed;
            return nullptr;
        };
        env.openEndpoint = [this](const QString& name, const PcmFormat& f,
                                  mireldo::platform::ReceiverHandle, DeviceError* error,
                                  EndpointFormat* unsupported) -> WaveInPtr {
            names.push_back(name);
            if (refuse) {
                *error = DeviceError::BadFormat;
                *unsupported = *refuse;
                return nullptr;
            }
            device = std::make_shared<rectest::FakeDevice>(f);
            return device;
        };
        env.temporaryFolder = QString::fromStdString(dir.path().string());
        env.freeSpace = [](const QString&) { return std::optional<std::uint64_t>(1ull << 40); };
        env.withPlayer = false;
        session = std::make_unique<CaptureSession>(view, env);
        return *session;
    }

    testsupport::TempDir dir;
    rectest::FakeView view;
    std::optional<EndpointFormat> refuse;
    std::shared_ptr<rectest::FakeDevice> device;
    std::vector<QString> names;
    int deviceOpens = 0;
    std::unique_ptr<CaptureSession> session;
};

} // namespace

TEST_F(EndpointSession, OpensTheNamedSourceInsteadOfAnInputDevice) {
    CaptureSession& s = make();
    s.record();
    EXPECT_TRUE(s.recording());
    EXPECT_EQ(deviceOpens, 0);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], QStringLiteral("mic.front"));
    EXPECT_EQ(device->format(), (PcmFormat{2, 44100, 16}));
}

TEST_F(EndpointSession, AnUnsupportedFormatIsShownThenTheFailedOpen) {
    refuse = EndpointFormat{24, 6, 96000, 1};
    CaptureSession& s = make();
    s.record();
    EXPECT_FALSE(s.deviceOpen());
    EXPECT_FALSE(s.fileOpen());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0],
              QStringLiteral("Device audio format not  supported.\n\nBits Depth: 24, Channels: "
                             "6, Sample rate: 96000, Tag: 1"));
    EXPECT_EQ(view.recordingFailedDialogs, 1);
}

TEST_F(EndpointSession, LostAudioIsToldOncePerRecord) {
    CaptureSession& s = make();
    s.record();
    const WaveIn* from = device.get();
    const int another = 0;
    s.audioLost(from, 1500);
    s.audioLost(from, 2500);
    s.audioLost(&another, 9000); // another device: not this session's
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(view.messages[0].contains(QStringLiteral("1.5 seconds")))
        << view.messages[0].toStdString();
    EXPECT_TRUE(mireldo::hasString(610));
    // As a posted message it arrives the same way.
    s.stop();
    s.record();
    mireldo::platform::postMessage(s.handle(), MM_WIM_LOST, WaveInputLost{from, 4000});
    ASSERT_TRUE(rectest::pumpUntil([&] { return view.messages.size() == 2; }, 5000));
    EXPECT_TRUE(view.messages[1].contains(QStringLiteral("4.0 seconds")));
}
