#include "waveform_points.h"

#include <algorithm>
#include <cmath>

namespace mireldo::waveform {

void fillWaveformPoints(std::span<std::int16_t> columns, const unsigned char* data,
                        std::uint32_t bytes, std::uint16_t channels, std::uint16_t bitsPerSample) {
    std::fill(columns.begin(), columns.end(), std::int16_t{0});
    const std::uint64_t width = columns.size();
    if (data == nullptr || width == 0 || channels == 0) {
        return;
    }
    if (bitsPerSample == 16) {
        const std::uint64_t step = (bytes / channels) / 2;
        const std::uint64_t samples = bytes / 2;
        for (std::uint64_t i = 0; i < width; ++i) {
            const std::uint64_t index = i * step / width;
            if (index >= samples) {
                return;
            }
            const auto lo = static_cast<std::uint16_t>(data[2 * index]);
            const auto hi = static_cast<std::uint16_t>(data[2 * index + 1]);
            columns[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | hi << 8));
        }
        return;
    }
    const std::uint64_t step = bytes / channels;
    for (std::uint64_t i = 0; i < width; ++i) {
        const std::uint64_t index = i * step / width;
        if (index >= bytes) {
            return;
        }
        columns[i] = static_cast<std::int16_t>(int{data[index]} - 127);
    }
}

int columnExtent(int value, int fullScale, int half) {
    if (fullScale == 0) {
        return 0;
    }
    const double a = std::fabs(static_cast<double>(value) / fullScale * half);
    return static_cast<int>(std::min(a, 1e9));
}

} // namespace mireldo::waveform
