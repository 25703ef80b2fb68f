// The player engine on real ALSA: through the file plugin over the null device (defined in a
// private .asoundrc), and through ALSA's pulse plugin to a private PulseAudio server with a
// null sink that the fixture starts and stops. The ALSA devices on their own are tested in
// tests/app/platform/audio/alsa_device_test.cpp.

#include "alsa_home.h"
#include "audio_play_thread.h"
#include "player_test_util.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

using namespace mireldo::playback;
using namespace mireldo::platform;
using namespace mireldo::platform::audio;
using namespace playertest;
using testsupport::AlsaHome;
using testsupport::filePlugin;

namespace {

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

// A default device on a card that is not there.
constexpr const char* kMissingCard = "pcm.!default {\n  type hw\n  card 9\n}\n";

struct Played {
    std::vector<std::uint8_t> pcm;
    std::vector<Report> reports;
    qint64 elapsedMs = 0;
};

// Plays `pcm` (16-bit stereo 44.1 kHz) through the engine on the default device.
Played playThroughEngine(const testsupport::TempDir& dir, std::uint32_t frames,
                         std::uint32_t volume, int* result = nullptr) {
    Played p;
    p.pcm = testPcm(frames, 2, 16, 5);
    const std::string path = dir.file("in.wav");
    testsupport::writeFile(path, testsupport::makeWav(2, 44100, 16, p.pcm));
    ReportLog log;
    CAudioPlayThread player;
    EXPECT_TRUE(player.CreateThread());
    player.SetNotify(log.handle(), ReportLog::kMessage, 20);
    player.SetVolume(volume);
    Stream s(path);
    QElapsedTimer clock;
    clock.start();
    const int r = player.Play(-1, s.handle(), s.format(), s.length(), 0);
    if (result != nullptr) {
        *result = r;
    }
    if (r == 0) {
        EXPECT_TRUE(pumpUntil([&] { return log.ends() > 0; }, 20000));
        p.elapsedMs = clock.elapsed();
        pumpFor(50);
        player.Stop();
    }
    player.Quit(30);
    p.reports = log.reports;
    return p;
}

TEST(AlsaFilePlugin, TheEnginePlaysBitForBitAndScalesTheVolume) {
    coreApp();
    testsupport::TempDir files;
    const std::string raw = files.file("played.raw");
    AlsaHome home(filePlugin(raw, files.file("unused.raw")));

    Played full = playThroughEngine(files, 44100 * 3 + 77, 0xFFFFFFFFu);
    EXPECT_EQ(testsupport::readFile(raw), full.pcm);
    ASSERT_FALSE(full.reports.empty());
    EXPECT_EQ(full.reports.back().position, 44100u * 3 + 77);
    EXPECT_EQ(std::count_if(full.reports.begin(), full.reports.end(),
                            [](const Report& r) { return r.end; }),
              1);

    std::filesystem::remove(raw);
    Played half = playThroughEngine(files, 20000, 0x80008000u);
    const auto out = testsupport::readFile(raw);
    ASSERT_EQ(out.size(), half.pcm.size());
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) {
        const auto s = static_cast<std::int16_t>(half.pcm[i] | half.pcm[i + 1] << 8);
        const auto expected = static_cast<std::int16_t>(s * 0x8000 / 65535);
        const auto got = static_cast<std::int16_t>(out[i] | out[i + 1] << 8);
        if (got != expected) {
            ADD_FAILURE() << "sample " << i / 2 << ": " << got << " instead of " << expected;
            break;
        }
    }
}

TEST(AlsaFilePlugin, PlayAnswersOneWhenTheDeviceIsMissing) {
    coreApp();
    testsupport::TempDir files;
    AlsaHome home(kMissingCard);
    int result = -1;
    playThroughEngine(files, 1000, 0xFFFFFFFFu, &result);
    EXPECT_EQ(result, 1);
}

// A private PulseAudio server with a null sink, reached by ALSA's pulse plugin.
class PulseServer : public ::testing::Test {
  protected:
    void SetUp() override {
        coreApp();
        const std::string socket = dir_.file("native");
        std::filesystem::create_directories(dir_.file("run"));
        std::filesystem::create_directories(dir_.file("state"));
        writeText(dir_.file("test.pa"),
                  "load-module module-native-protocol-unix auth-anonymous=1 socket=" + socket +
                      "\nload-module module-null-sink sink_name=testsink\n"
                      "set-default-sink testsink\n");
        env_.push_back(std::make_unique<ScopedEnv>("PULSE_RUNTIME_PATH", dir_.file("run")));
        env_.push_back(std::make_unique<ScopedEnv>("PULSE_STATE_PATH", dir_.file("state")));
        env_.push_back(std::make_unique<ScopedEnv>("PULSE_SERVER", "unix:" + socket));
        env_.push_back(std::make_unique<ScopedEnv>("HOME", dir_.path().string()));
        server_ = fork();
        ASSERT_GE(server_, 0);
        if (server_ == 0) {
            const std::string log = dir_.file("server.log");
            freopen(log.c_str(), "w", stderr);
            freopen("/dev/null", "w", stdout);
            const std::string script = dir_.file("test.pa");
            execlp("pulseaudio", "pulseaudio", "-n", "-F", script.c_str(), "--exit-idle-time=-1",
                   "--daemonize=no", "--disallow-exit", static_cast<char*>(nullptr));
            _exit(127);
        }
        const bool up = pumpUntil(
            [&] {
                return std::filesystem::exists(socket) &&
                       testsupport::runCommand("pactl info >/dev/null 2>&1").exitCode == 0;
            },
            15000);
        ASSERT_TRUE(up) << "the PulseAudio server did not start: "
                        << testsupport::runCommand("cat " + dir_.file("server.log")).output;
    }

    void TearDown() override {
        if (server_ > 0) {
            kill(server_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 300 && waitpid(server_, &status, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (i == 299) {
                    kill(server_, SIGKILL);
                    waitpid(server_, &status, 0);
                }
            }
        }
    }

    testsupport::TempDir dir_;
    std::vector<std::unique_ptr<ScopedEnv>> env_;
    pid_t server_ = -1;
};

TEST_F(PulseServer, TheEnginePlaysThroughThePulsePluginInRealTime) {
    AlsaHome home("pcm.!default {\n  type pulse\n}\nctl.!default {\n  type pulse\n}\n");
    // Listen on the sink's monitor while playing a loud, known signal.
    const std::string capture = dir_.file("monitor.raw");
    const pid_t recorder = fork();
    ASSERT_GE(recorder, 0);
    if (recorder == 0) {
        execlp("parec", "parec", "-d", "testsink.monitor", "--raw", "--format=s16le",
               "--rate=44100", "--channels=2", capture.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Played p = playThroughEngine(dir_, 44100, 0xFFFFFFFFu); // one second
    kill(recorder, SIGTERM);
    waitpid(recorder, nullptr, 0);

    ASSERT_FALSE(p.reports.empty());
    EXPECT_EQ(p.reports.back().position, 44100u);
    EXPECT_TRUE(p.reports.back().end);
    EXPECT_GE(p.elapsedMs, 800) << "a sound server plays in real time";
    EXPECT_GT(p.reports.size(), 5u) << "positions reported while playing";
    for (std::size_t i = 1; i < p.reports.size(); ++i) {
        EXPECT_GT(p.reports[i].position, p.reports[i - 1].position);
    }
    const auto heard = testsupport::readFile(capture);
    int loud = 0;
    for (std::size_t i = 0; i + 1 < heard.size(); i += 2) {
        const auto s = static_cast<std::int16_t>(heard[i] | heard[i + 1] << 8);
        loud += std::abs(s) > 8000 ? 1 : 0;
    }
    EXPECT_GT(loud, 20000) << "the sink received the audio (" << heard.size() << " bytes heard)";
}

} // namespace
