// Linked into every test program: before main() runs, windows go to Qt's offscreen platform and
// audio to the virtual back-end, unless the caller chose otherwise.
#include <cstdlib>

namespace {

const bool kEnvironmentSet = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("MIRELDO_AUDIO_MODE", "virtual", 0);
    return true;
}();

} // namespace
