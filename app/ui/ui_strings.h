#pragma once

// The texts of the user-interface pieces that the program's string table knows by id (tooltips
// of the playlist's buttons, the rename and progress messages), looked up by the same ids.
//
// Threads: any thread; constant data.

#include <QString>

namespace mireldo::ui {

inline constexpr int kStrProgressTimeRemaining = 426; ///< "%d%% done, time remaining: ..."
inline constexpr int kStrPlaySelected = 433;
inline constexpr int kStrPauseContinue = 434;
inline constexpr int kStrStopPlaying = 435;
inline constexpr int kStrAboutMireldo = 477;
inline constexpr int kStrBadFileNameCharacters = 494;
inline constexpr int kStrChoosePlayingDevice = 497;

/// The text of `id`; empty when the id is not one of this table's.
QString uiString(int id);

} // namespace mireldo::ui
