// mireldo-cli record in the sound server's mode, end to end: a private PulseAudio server with
// a null sink, pacat playing bursts of tone separated by silence into it, and the CLI recording
// the sink's monitor with the long-silence action 2 (save and start a new record).

#include "pulse_server.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            out.push_back(line);
        }
    }
    return out;
}

// Seconds of audio in a saved 44.1 kHz 16-bit stereo WAV.
double wavSeconds(const std::string& path) {
    const auto bytes = testsupport::readFile(path);
    if (bytes.size() < 44) {
        return -1;
    }
    return static_cast<double>(bytes.size() - 44) / (44100.0 * 4);
}

} // namespace

TEST(RecordPulseCli, EachBurstIntoANullSinkIsSavedAsAFileOfItsOwn) {
    testsupport::TempDir dir;
    testsupport::PulseServer server(
        dir, "load-module module-null-sink sink_name=bursts format=s16le rate=44100 channels=2");
    ASSERT_TRUE(server.waitReady());
    const std::string cfg = dir.file("cfg");
    const std::string out = dir.file("out");
    std::filesystem::create_directories(cfg);
    std::filesystem::create_directories(out);

    // Three bursts of 0.4 s after 0.3 s of silence, during which the server fades the new
    // stream in. The 1.8 s between bursts cover the long silence (1 s) and the automatic save
    // that follows it (which pauses for 300 ms while the device is stopped), so recording is on
    // again before the next burst.
    const std::string wav = dir.file("bursts.wav");
    const std::string sox = shellQuote(MIRELDO_SOX_EXE) + " -n -r 44100 -c 2 -b 16 " +
                            shellQuote(wav) +
                            " synth 0.3 sine 0 vol 0 : synth 0.4 sine 440 : synth 1.8 sine 0 vol 0"
                            " : synth 0.4 sine 550 : synth 1.8 sine 0 vol 0 : synth 0.4 sine 660";
    ASSERT_EQ(runCommand(sox + " 2>&1").exitCode, 0);

    testsupport::CommandResult recorded;
    std::atomic<bool> finished{false};
    std::thread cli([&] {
        recorded = runCommand("HOME=" + shellQuote(cfg) + " MIRELDO_CONFIG_DIR=" + shellQuote(cfg) +
                              " MIRELDO_AUDIO_MODE=pulse " +
                              shellQuote(testsupport::binDir() + "/mireldo-cli") +
                              " record --input bursts.monitor --format 3 --drop-silence --action 2"
                              " --long-silence 1 --encode wav --duration 7 --folder " +
                              shellQuote(out) + " 2>/dev/null");
        finished = true;
    });
    // Play once the recorder's stream is connected.
    bool connected = false;
    for (int i = 0; i < 100 && !connected && !finished; ++i) {
        connected = !server.pactl("list short source-outputs").output.empty();
        if (!connected) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    // A short latency keeps the server from mixing far ahead of real time.
    const auto played = runCommand(server.environmentPrefix() +
                                   "pacat --latency-msec=50 --file-format=wav -d bursts " +
                                   shellQuote(wav) + " 2>&1");
    cli.join();
    ASSERT_TRUE(connected);
    EXPECT_EQ(played.exitCode, 0) << played.output;
    ASSERT_EQ(recorded.exitCode, 0);

    const auto saved = lines(recorded.output);
    ASSERT_EQ(saved.size(), 3u) << recorded.output;
    for (const std::string& path : saved) {
        EXPECT_EQ(path.rfind(out + "/", 0), 0u) << path;
        // Silence is dropped in whole capture buffers (58 ms here): at most two buffers of
        // silence stay around each burst.
        const double seconds = wavSeconds(path);
        EXPECT_GE(seconds, 0.4 - 0.06) << path;
        EXPECT_LE(seconds, 0.4 + 0.12) << path;
    }
}
