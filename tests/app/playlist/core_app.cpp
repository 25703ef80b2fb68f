#include "playlist_test_util.h"

#include <QCoreApplication>

namespace playlisttest {

void ensureApp() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "test_playlist";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
}

} // namespace playlisttest
