// mireldo-cli devices against a private PulseAudio server: the mode is found by the probe as
// the window finds it, sinks are the output devices, sources the numbered inputs.

#include "pulse_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using testsupport::shellQuote;

TEST(DevicesCli, ListsTheServersSinksAndSourcesWithVolumeAndMute) {
    testsupport::TempDir dir;
    testsupport::PulseServer server(
        dir, "load-module module-null-sink sink_name=speakers "
             "sink_properties=device.description=Speakers\n"
             "load-module module-null-sink sink_name=hdmi sink_properties=device.description=HDMI\n"
             "load-module module-sine-source source_name=sine");
    ASSERT_TRUE(server.waitReady());
    server.pactl("set-source-volume sine 40%");
    server.pactl("set-source-mute hdmi.monitor 1");
    ::unsetenv("MIRELDO_AUDIO_MODE");
    const auto r = testsupport::runCommand(
        "env -u MIRELDO_AUDIO_MODE " + server.environmentPrefix() +
        shellQuote(testsupport::binDir() + "/mireldo-cli") + " devices");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "Output devices (--device N):\n"
                        "  0  Speakers\n"
                        "  1  HDMI\n"
                        "Input devices (--input N):\n"
                        "0: speakers.monitor (Monitor of Speakers) volume 100%\n"
                        "1: hdmi.monitor (Monitor of HDMI) volume 100% [muted]\n"
                        "2: sine (Sine source at 440 Hz) volume 40%\n");
}

} // namespace
