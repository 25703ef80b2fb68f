#include "main_window.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_shell_window";
    static char* argv[] = {name, nullptr};
    static QApplication instance(argc, argv);
    return instance;
}

TEST(MainWindow, ShowsItsTitleAndPaints) {
    app();
    mireldo::CRecorderDialog dialog;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Mireldo 5.0"));
    const QPixmap shot = dialog.grab();
    EXPECT_FALSE(shot.isNull());
    EXPECT_GT(shot.width(), 100);
    if (const char* folder = std::getenv("MIRELDO_SCREENSHOT_DIR")) {
        shot.save(QString::fromLocal8Bit(folder) + QStringLiteral("/main_window.png"));
    }
}

} // namespace
