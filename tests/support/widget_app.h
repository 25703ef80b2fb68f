#pragma once

// The QApplication a widget test program needs, made once on first use and deleted at the end
// of the test run, while Qt's own globals still exist (a static QApplication would be destroyed
// after them, and what it holds, fonts and an input device once a window was shown, would
// crash the exit).
//
// Header-only: include it only from programs that link Qt Widgets.

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

inline std::unique_ptr<QApplication>& widgetAppSlot() {
    static std::unique_ptr<QApplication> instance;
    return instance;
}

class WidgetAppEnvironment : public testing::Environment {
  public:
    void TearDown() override { widgetAppSlot().reset(); }
};

inline const bool kWidgetAppEnvironmentRegistered =
    (testing::AddGlobalTestEnvironment(new WidgetAppEnvironment), true);

/// The program's application object, made on the first call.
inline QApplication& widgetApp() {
    static int argc = 1;
    static char name[] = "mireldo_widget_test";
    static char* argv[] = {name, nullptr};
    if (!widgetAppSlot()) {
        widgetAppSlot() = std::make_unique<QApplication>(argc, argv);
    }
    return *widgetAppSlot();
}

} // namespace testsupport
