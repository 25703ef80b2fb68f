#include "playlist_test_util.h"

#include <QApplication>

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
