// Thumb placement and the positions a press or a drag gives.

#include "position_geometry.h"

#include <gtest/gtest.h>

using namespace mireldo::ui;

namespace {
// w 114, ends 7 and 7: T = 100.
constexpr PositionGeometry kG{114, 7, 7, 14};
} // namespace

TEST(PositionGeometry, ThumbCentreFollowsThePositionOverTheTrack) {
    EXPECT_EQ(thumbCentre(kG, 0, 100, 0), 7);
    EXPECT_EQ(thumbCentre(kG, 0, 100, 50), 57);
    EXPECT_EQ(thumbCentre(kG, 0, 100, 100), 107);
    EXPECT_EQ(thumbCentre(kG, 0, 3, 1), 7 + 33); // trunc(100 / 3)
    EXPECT_EQ(thumbCentre(kG, 0, 0xFFFFFFFFu, 0xFFFFFFFFu), 107);
    // A range not starting at 0 keeps the thumb on the track.
    EXPECT_EQ(thumbCentre(kG, 100, 200, 200), 107);
    EXPECT_EQ(thumbCentre(kG, 100, 200, 150), 57);
}

TEST(PositionGeometry, EmptyRangeKeepsTheThumbLeftAndAnyPressGivesTheMinimum) {
    EXPECT_EQ(thumbCentre(kG, 5, 5, 5), 7);
    for (int x : {-10, 0, 7, 60, 113, 500}) {
        EXPECT_EQ(positionFromX(kG, 5, 5, x), 5u);
        EXPECT_EQ(positionForPress(kG, 5, 5, 5, x), 5u);
    }
}

TEST(PositionGeometry, MouseXMapsOntoTheRangeClamped) {
    EXPECT_EQ(positionFromX(kG, 0, 100, -50), 0u);
    EXPECT_EQ(positionFromX(kG, 0, 100, 7), 0u);
    EXPECT_EQ(positionFromX(kG, 0, 100, 57), 50u); // 101 * 50 / 100
    EXPECT_EQ(positionFromX(kG, 0, 100, 107), 100u);
    EXPECT_EQ(positionFromX(kG, 0, 100, 400), 100u);
    // 64-bit arithmetic: no overflow with the largest range.
    EXPECT_EQ(positionFromX(kG, 0, 0xFFFFFFFFu, 107), 0xFFFFFFFFu);
    EXPECT_EQ(positionFromX(kG, 0, 0xFFFFFFFFu, 57), 0x80000000u);
}

TEST(PositionGeometry, PressOnTheThumbKeepsThePositionAndBesideItStepsByOne) {
    // Range 0..2: position 1 has its centre at 57; x 52..62 all map to 1.
    EXPECT_EQ(positionFromX(kG, 0, 2, 57), 1u);
    EXPECT_EQ(positionForPress(kG, 0, 2, 1, 57), 1u);
    EXPECT_EQ(positionForPress(kG, 0, 2, 1, 64), 1u); // exactly half a thumb: still on it
    EXPECT_EQ(positionForPress(kG, 0, 2, 1, 65), 2u);
    EXPECT_EQ(positionForPress(kG, 0, 2, 1, 49), 0u);
    EXPECT_EQ(positionForPress(kG, 0, 2, 1, 50), 1u);
    // Stepping stays within the range.
    EXPECT_EQ(positionForPress(kG, 0, 2, 2, 107), 2u);
    EXPECT_EQ(positionForPress(kG, 0, 2, 0, 7), 0u);
    // A press elsewhere jumps there.
    EXPECT_EQ(positionForPress(kG, 0, 100, 10, 57), 50u);
}

TEST(PositionGeometry, ATrackWithoutWidthDividesByNothing) {
    const PositionGeometry narrow{10, 7, 7, 14};
    EXPECT_EQ(thumbCentre(narrow, 0, 100, 50), 7);
    EXPECT_EQ(positionFromX(narrow, 3, 100, 9), 3u);
}
