// Built against the shell's core and Qt Core alone: mireldo-cli's settings, start-up and recovery
// code links only while it needs neither the window nor an engine's widgets.

#include "recorder_settings.h"

#include <gtest/gtest.h>

TEST(ShellCoreOnly, TheShellCoreLinksWithoutWidgets) {
    EXPECT_EQ(mireldo::clampZeroToFour(-1), 0);
}
