#include "pulse_server.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace testsupport {

PulseServer::PulseServer(const TempDir& dir, const std::string& modules)
    : socket_(dir.file("native")) {
    const std::string script = dir.file("test.pa");
    std::ofstream(script) << "load-module module-native-protocol-unix auth-anonymous=1 socket="
                          << socket_ << "\n"
                          << modules << "\n";
    ::setenv("HOME", dir.path().c_str(), 1);
    ::setenv("PULSE_RUNTIME_PATH", dir.file("runtime").c_str(), 1);
    ::setenv("PULSE_STATE_PATH", dir.file("state").c_str(), 1);
    ::setenv("PULSE_SERVER", address().c_str(), 1);
    const std::string scriptArg = "--file=" + script;
    const char* argv[] = {MIRELDO_PULSEAUDIO_EXE, "-n",
                          scriptArg.c_str(),      "--exit-idle-time=-1",
                          "--daemonize=no",       "--log-target=stderr",
                          "--log-level=0",        nullptr};
    if (::posix_spawn(&pid_, MIRELDO_PULSEAUDIO_EXE, nullptr, nullptr, const_cast<char**>(argv),
                      environ) != 0) {
        pid_ = -1;
    }
}

PulseServer::~PulseServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool PulseServer::waitReady() const {
    for (int i = 0; i < 100 && pid_ > 0; ++i) {
        if (std::filesystem::exists(socket_) && pactl("info").exitCode == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string PulseServer::environmentPrefix() const {
    return "PULSE_SERVER=" + shellQuote(address()) + " ";
}

CommandResult PulseServer::pactl(const std::string& args) const {
    return runCommand(environmentPrefix() + "pactl " + args + " 2>/dev/null");
}

} // namespace testsupport
