#pragma once

// The geometry of the position control: where the thumb stands for a position, which position
// a mouse x means, and how a press next to the thumb steps by one.
//
// Threads: any thread; pure functions.

#include <cstdint>

namespace mireldo::ui {

struct PositionGeometry {
    int width = 0;    ///< client width w
    int leftEnd = 0;  ///< L
    int rightEnd = 0; ///< R
    int thumbWidth = 0;

    /// T = w - R - L.
    int trackWidth() const { return width - rightEnd - leftEnd; }
};

/// The thumb centre for `position`: L when the range is empty (or the track has no width),
/// else L + trunc((position - minimum) / (maximum - minimum) * T).
int thumbCentre(const PositionGeometry& g, std::uint32_t minimum, std::uint32_t maximum,
                std::uint32_t position);

/// The position for mouse x: the minimum when the range is empty (or the track has no width);
/// else d = x - L clamped to [0, T], minimum + (maximum - minimum + 1) * d / T in 64-bit
/// arithmetic, clamped to [minimum, maximum].
std::uint32_t positionFromX(const PositionGeometry& g, std::uint32_t minimum, std::uint32_t maximum,
                            int x);

/// The position after a press at x when the control showed `current`: the position from x; if
/// that equals `current`, one more when x lies more than half a thumb width right of the thumb
/// centre, one less when more than half a thumb width left of it, within the range.
std::uint32_t positionForPress(const PositionGeometry& g, std::uint32_t minimum,
                               std::uint32_t maximum, std::uint32_t current, int x);

} // namespace mireldo::ui
