#pragma once

// The application object the widget tests need, made once per program, and helpers that send
// mouse events and save screenshots.

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include "widget_app.h"

#include <memory>

namespace uitest {

inline QApplication& app() {
    QApplication& a = testsupport::widgetApp();
    // One style on every machine, so that screenshots and palette colours agree.
    static const bool styled = (QApplication::setStyle(QStringLiteral("Fusion")), true);
    (void)styled;
    return a;
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
