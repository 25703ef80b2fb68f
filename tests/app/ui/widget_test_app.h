#pragma once

// The application object the widget tests need, made once per program, and helpers that send
// mouse events and save screenshots.

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

namespace uitest {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_ui_widgets";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        return a;
    }();
    return *instance;
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
