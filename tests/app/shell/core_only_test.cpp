// Built against mireldo_core and Qt Core alone: it links only while the core needs no widgets.

#include "recorder_settings.h"

#include <gtest/gtest.h>

TEST(CoreOnly, TheCoreLinksWithoutWidgets) {
    EXPECT_EQ(mireldo::clampZeroToFour(7), 4);
}
