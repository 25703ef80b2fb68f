#pragma once

// The recording's health as the status area and the command line show it: "1:23 left",
// "Overruns: 3" (only when there were any) and "Device lost", joined in one line.
//
// Threads: plain functions; any thread.

#include "recorder_view.h"

#include <QString>

#include <cstdint>

namespace mireldo::recorder {

/// `seconds` as hours and minutes, "h:mm" (minutes rounded down; hours are not limited).
QString hoursAndMinutes(std::uint64_t seconds);

/// The health line; empty when there is nothing to tell (no free space known, no overruns,
/// the device working).
QString healthText(const RecorderHealth& health);

} // namespace mireldo::recorder
