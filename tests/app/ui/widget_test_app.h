#pragma once

// The application object the widget tests need, made once per program, and helpers that send
// mouse events and save screenshots.

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace uitest {

// The application object lives from the first test that needs it to the end of the test run;
// it is deleted before the program exits, while Qt's own globals still exist (a static
// QApplication would be destroyed after them).
inline std::unique_ptr<QApplication>& appSlot() {
    static std::unique_ptr<QApplication> instance;
    return instance;
}

class AppEnvironment : public testing::Environment {
  public:
    void TearDown() override { appSlot().reset(); }
};

inline const bool kAppEnvironmentRegistered =
    (testing::AddGlobalTestEnvironment(new AppEnvironment), true);

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_ui_widgets";
    static char* argv[] = {name, nullptr};
    if (!appSlot()) {
        appSlot() = std::make_unique<QApplication>(argc, argv);
        // One style on every machine, so that screenshots and palette colours agree.
        QApplication::setStyle(QStringLiteral("Fusion"));
    }
    return *appSlot();
}

inline void send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button,
                 Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

inline void move(QWidget* w, QPoint at, Qt::MouseButtons buttons = Qt::NoButton) {
    send(w, QEvent::MouseMove, at, Qt::NoButton, buttons);
}
inline void press(QWidget* w, QPoint at) {
    send(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
}
inline void release(QWidget* w, QPoint at) {
    send(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

/// Saves `image` as <screenshots>/<name>.png.
inline void saveScreenshot(const QImage& image, const QString& name) {
    const QString dir = QStringLiteral(MIRELDO_SCREENSHOT_DIR);
    QDir().mkpath(dir);
    image.save(dir + u'/' + name + QStringLiteral(".png"));
}

} // namespace uitest
