// mireldo-cli devices against a private PulseAudio server: the mode is found by the probe as
// the window finds it, sinks are the output devices, sources the numbered inputs.

#include "pulse_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>
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
    const auto r =
        testsupport::runCommand("env -u MIRELDO_AUDIO_MODE " + server.environmentPrefix() +
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

// Peak absolute sample of raw s16le stereo bytes.
int peakOf(const std::vector<std::uint8_t>& raw) {
    int peak = 0;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
        const auto v = static_cast<std::int16_t>(raw[i] | (raw[i + 1] << 8));
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    }
    return peak;
}

TEST(DevicesCli, PlaysToTheChosenSink) {
    testsupport::TempDir dir;
    testsupport::PulseServer server(
        dir, "load-module module-null-sink sink_name=speakers "
             "sink_properties=device.description=Speakers\n"
             "load-module module-null-sink sink_name=hdmi sink_properties=device.description=HDMI");
    ASSERT_TRUE(server.waitReady());
    // Half a second of a loud square wave.
    std::vector<std::uint8_t> pcm;
    for (int i = 0; i < 22050; ++i) {
        const std::int16_t v = (i / 50) % 2 == 0 ? 12000 : -12000;
        for (int c = 0; c < 2; ++c) {
            pcm.push_back(static_cast<std::uint8_t>(v & 0xFF));
            pcm.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        }
    }
    const std::string wav = dir.file("tone.wav");
    testsupport::writeFile(wav, testsupport::makeWav(2, 44100, 16, pcm));
    const std::string prefix = server.environmentPrefix();
    const auto rec = [&](const std::string& source, const std::string& file) {
        return prefix + "parec --raw --format=s16le --rate=44100 --channels=2 -d " + source +
               " > " + shellQuote(dir.file(file)) + " 2>/dev/null & ";
    };
    const auto r = testsupport::runCommand(
        rec("speakers.monitor", "speakers.raw") + "a=$!; " + rec("hdmi.monitor", "hdmi.raw") +
        "b=$!; " + "for i in $(seq 100); do [ $(" + prefix +
        "pactl list short source-outputs | wc -l) -ge 2 ] "
        "&& break; sleep 0.05; done; env -u MIRELDO_AUDIO_MODE " +
        prefix + shellQuote(testsupport::binDir() + "/mireldo-cli") + " play --device 1 " +
        shellQuote(wav) + " >/dev/null 2>&1; status=$?; sleep 0.3; kill $a $b; wait; echo $status");
    EXPECT_EQ(r.output, "0\n");
    EXPECT_GT(peakOf(testsupport::readFile(dir.file("hdmi.raw"))), 8000);
    EXPECT_EQ(peakOf(testsupport::readFile(dir.file("speakers.raw"))), 0);
}

} // namespace
