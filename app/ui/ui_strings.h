#pragma once

// The ids of the texts the user-interface pieces take from the program's string table (tooltips
// of the playlist's buttons, the rename and progress messages).
//
// Threads: any thread; constant data.

#include "string_table.h"

#include <QString>

namespace mireldo::ui {

inline constexpr int kStrProgressTimeRemaining = 426; ///< "%d%% done, time remaining: ..."
inline constexpr int kStrPlaySelected = 433;
inline constexpr int kStrPauseContinue = 434;
inline constexpr int kStrStopPlaying = 435;
inline constexpr int kStrBadFileNameCharacters = 494;
inline constexpr int kStrChoosePlayingDevice = 497;

/// The text of `id` from the string table; empty when it has no such id.
inline QString uiString(int id) {
    return loadString(id);
}

} // namespace mireldo::ui
