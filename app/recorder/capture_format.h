#pragma once

// The capture formats the recorder offers: the 28 rows of the "Output format:" list, stored
// column by column, and the wave format record a row stands for.
//
// Threads: constant data and pure functions; any thread.

#include "sondrel.h"

#include <QString>

#include <array>
#include <cstdint>

namespace mireldo::recorder {

/// The rows of the format list: bits, channels and rate of each, in list order.
struct CaptureFormatTable {
    static constexpr int kRows = 28;
    static const std::array<std::uint16_t, kRows> bits;
    static const std::array<std::uint16_t, kRows> channels;
    static const std::array<std::uint16_t, kRows> rate;
};

/// The PCM wave format of `row`; row 0 (48000 Hz, 16 bits, mono) for a row outside the table,
/// which is what a list without a selection (-1) records.
WAVEFORMATEX captureFormatForRow(int row);

/// The format every session starts from before one has been opened: 48000 Hz, 16 bits, mono.
WAVEFORMATEX defaultCaptureFormat();

/// "%d Hz %d bits mono" or "%d Hz %d bits stereo" for `row` of the table.
QString captureFormatRowText(int row);

} // namespace mireldo::recorder
