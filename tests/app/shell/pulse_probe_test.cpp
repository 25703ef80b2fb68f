#include "audio_mode.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A private PulseAudio server with a null sink, reachable only through its own socket.
class PrivateServer {
  public:
    explicit PrivateServer(const testsupport::TempDir& dir) : socket_(dir.file("native")) {
        const std::string script = dir.file("test.pa");
        std::ofstream(script) << "load-module module-native-protocol-unix auth-anonymous=1 socket="
                              << socket_ << "\nload-module module-null-sink\n";
        ::setenv("HOME", dir.path().c_str(), 1);
        ::setenv("PULSE_RUNTIME_PATH", dir.file("runtime").c_str(), 1);
        ::setenv("PULSE_STATE_PATH", dir.file("state").c_str(), 1);
        const std::string scriptArg = "--file=" + script;
        const char* argv[] = {MIRELDO_PULSEAUDIO_EXE, "-n",           scriptArg.c_str(),
                              "--exit-idle-time=-1", "--daemonize=no", "--log-target=stderr",
                              "--log-level=0",       nullptr};
        if (::posix_spawn(&pid_, MIRELDO_PULSEAUDIO_EXE, nullptr, nullptr,
                          const_cast<char**>(argv), environ) != 0) {
            pid_ = -1;
        }
    }
    ~PrivateServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    /// Waits until the socket exists; false when the server did not come up in time.
    bool waitReady() const {
        for (int i = 0; i < 100 && pid_ > 0; ++i) {
            if (fs::exists(socket_)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    std::string address() const { return "unix:" + socket_; }

  private:
    std::string socket_;
    pid_t pid_ = -1;
};

TEST(PulseProbe, AnswersWhenAServerIsThereAndDecidesTheEndpointMode) {
    testsupport::TempDir dir;
    PrivateServer server(dir);
    ASSERT_TRUE(server.waitReady()) << "the private PulseAudio server did not start";
    ::setenv("PULSE_SERVER", server.address().c_str(), 1);
    EXPECT_TRUE(mireldo::pulseServerAnswers(3000));
    ::unsetenv(mireldo::kAudioModeVariable);
    EXPECT_EQ(mireldo::decideAndStoreAudioMode(), mireldo::AudioMode::Pulse);
    EXPECT_TRUE(mireldo::isEndpointMode());
    ::setenv(mireldo::kAudioModeVariable, "alsa", 1);
    EXPECT_EQ(mireldo::decideAndStoreAudioMode(), mireldo::AudioMode::Alsa);
    ::unsetenv("PULSE_SERVER");
}

} // namespace
