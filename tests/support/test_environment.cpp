// Linked into every test program: before main() runs, windows go to Qt's offscreen platform and
// audio to the virtual back-end, unless the caller chose otherwise; per-user data (the list
// file) goes to a folder of this run's own, never the real user's.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

// The run's data folder, removed when the program ends.
struct PrivateDataHome {
    std::string path;
    pid_t owner = ::getpid();
    PrivateDataHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "mireldo-test-data-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
            ::setenv("XDG_DATA_HOME", path.c_str(), 1);
        }
    }
    ~PrivateDataHome() {
        if (!path.empty() && ::getpid() == owner) { // not in a forked child
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }
};

const bool kEnvironmentSet = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("MIRELDO_AUDIO_MODE", "virtual", 0);
    static PrivateDataHome dataHome;
    return true;
}();

} // namespace
