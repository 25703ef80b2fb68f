#include "playlist_test_util.h"

#include <QApplication>

// The system's font configuration library keeps a few caches until the process ends; they are
// not ours to free, and reporting them would fail every widget test under LeakSanitizer.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace playlisttest {

void ensureApp() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "test_playlist_widgets";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
}

} // namespace playlisttest
