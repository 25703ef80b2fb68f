// The capture session recording a source of a private PulseAudio server through the endpoint
// device: the source goes away mid-recording and the record so far stays.

#include "capture_session.h"
#include "pulse_server.h"
#include "recorder_fakes.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace mireldo::recorder;

TEST(EndpointSessionAudio, ASourceUnloadedWhileRecordingStopsWithTheRecordKept) {
    rectest::coreApp();
    testsupport::TempDir dir;
    testsupport::PulseServer server(dir, "load-module module-null-sink sink_name=keep");
    ASSERT_TRUE(server.waitReady());
    const auto loaded = server.pactl("load-module module-sine-source source_name=tone");
    ASSERT_EQ(loaded.exitCode, 0);

    rectest::FakeView view;
    view.opts.endpointMode = true;
    view.opts.endpointSelected = true;
    view.opts.endpointName = QStringLiteral("tone");
    view.opts.formatRow = 2; // 44100 Hz, 16 bits, mono from float mono 48 kHz
    CaptureSession::Environment env;
    env.temporaryFolder = QString::fromStdString(dir.path().string());
    env.withPlayer = false;
    CaptureSession session(view, env);
    session.record();
    ASSERT_TRUE(session.recording());
    ASSERT_TRUE(rectest::pumpUntil([&] { return session.dataLength() >= 44100; }));

    ASSERT_EQ(
        server.pactl("unload-module " + loaded.output.substr(0, loaded.output.find('\n'))).exitCode,
        0);
    ASSERT_TRUE(rectest::pumpUntil([&] { return !session.recording(); }));
    EXPECT_EQ(view.recordingFailedDialogs, 1);
    EXPECT_TRUE(session.fileOpen());
    EXPECT_TRUE(session.deviceOpen()); // paused: the format stays that of the record
    EXPECT_GE(session.dataLength(), 44100u);
    ASSERT_FALSE(view.statuses.empty());
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Paused);

    // The header describes everything written, so the record is whole.
    const auto bytes = rectest::fileBytes(session.temporaryWavPath());
    ASSERT_GE(bytes.size(), 44u);
    const std::uint32_t dataSize =
        bytes[40] | bytes[41] << 8 | bytes[42] << 16 | static_cast<std::uint32_t>(bytes[43]) << 24;
    EXPECT_EQ(dataSize, bytes.size() - 44);
    EXPECT_EQ(dataSize, session.dataLength());
    // The sine is there: not silence.
    int peak = 0;
    for (std::size_t i = 44; i + 1 < bytes.size(); i += 2) {
        peak = std::max(peak, std::abs(static_cast<int>(
                                  static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8))));
    }
    EXPECT_GT(peak, 1000);
}
