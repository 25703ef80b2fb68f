#pragma once

// The converter dialog's rules that need no window: the two folders remembered for the rest of
// the run (the last "Add..." folder and the last single-file destination folder, shared by
// every converter dialog), the destination taken from a save choice, and the source list's
// refusal of a path it already holds.
//
// Threads: the user-interface thread only (the remembered folders are process-wide).

#include <QString>
#include <QStringList>

namespace mireldo::converter {

/// Longest folder remembered, in characters.
inline constexpr int kRememberedFolderLength = 260;
/// Longest destination the dialog holds, in characters.
inline constexpr int kDestinationLength = 512;
/// Most playlist items handed to the dialog.
inline constexpr int kMaxInitialSources = 5001;

/// The folders remembered while the program runs; both start empty.
struct RememberedFolders {
    QString add;         ///< folder of the last "Add..." choice
    QString destination; ///< folder of the last single-file destination choice
};
/// The run's remembered folders.
RememberedFolders& rememberedFolders();
/// Sets both back to empty (tests).
void forgetRememberedFolders();

/// The destination a save-dialog choice stands for: a last extension of exactly three
/// characters is removed with its dot ("/out/song.mp3" gives "/out/song", "/out/a.flac" stays).
QString destinationFromSaveChoice(const QString& path);

/// True when `sources` holds `path`, compared ignoring letter case over the whole path.
bool holdsSource(const QStringList& sources, const QString& path);

} // namespace mireldo::converter
