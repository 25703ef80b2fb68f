#include "position_geometry.h"

#include <algorithm>

namespace mireldo::ui {

int thumbCentre(const PositionGeometry& g, std::uint32_t minimum, std::uint32_t maximum,
                std::uint32_t position) {
    const int track = g.trackWidth();
    if (maximum <= minimum || track <= 0) {
        return g.leftEnd;
    }
    const std::uint32_t p = std::clamp(position, minimum, maximum);
    const double share = static_cast<double>(p - minimum) / static_cast<double>(maximum - minimum);
    return g.leftEnd + static_cast<int>(share * track);
}

std::uint32_t positionFromX(const PositionGeometry& g, std::uint32_t minimum, std::uint32_t maximum,
                            int x) {
    const int track = g.trackWidth();
    if (maximum <= minimum || track <= 0) {
        return minimum;
    }
    const std::int64_t d = std::clamp<std::int64_t>(x - g.leftEnd, 0, track);
    const std::int64_t span = static_cast<std::int64_t>(maximum - minimum) + 1;
    const std::int64_t p = static_cast<std::int64_t>(minimum) + span * d / track;
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(p, minimum, static_cast<std::int64_t>(maximum)));
}

std::uint32_t positionForPress(const PositionGeometry& g, std::uint32_t minimum,
                               std::uint32_t maximum, std::uint32_t current, int x) {
    const std::uint32_t p = positionFromX(g, minimum, maximum, x);
    if (p != current) {
        return p;
    }
    const int centre = thumbCentre(g, minimum, maximum, current);
    const int half = g.thumbWidth / 2;
    if (x - centre > half && p < maximum) {
        return p + 1;
    }
    if (centre - x > half && p > minimum) {
        return p - 1;
    }
    return p;
}

} // namespace mireldo::ui
