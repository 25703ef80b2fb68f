#pragma once

// The texts the playlist commands show.
//
// Threads: any thread; constant data.

#include <QString>

namespace mireldo::playlist::texts {

inline QString noItemSelected() { return QStringLiteral("No item was selected."); }
/// %1 the capacity.
inline QString tooManyItems(int capacity) {
    return QStringLiteral("Too many items. You can add a maximum of %1 items into the list.")
        .arg(capacity);
}
inline QString cannotDeletePlaying() {
    return QStringLiteral("You can not delete items which is being played.");
}
inline QString cannotEditPlaying() {
    return QStringLiteral("You can not edit an item which is being played.");
}
inline QString itemBeingLoaded() {
    return QStringLiteral("Can not play. The item is being loaded. Please try later.");
}
inline QString itemNotLoaded() {
    return QStringLiteral("Can not play. The item is not loaded correctly.");
}
inline QString failedToOpenDevice() { return QStringLiteral("Failed to open the audio device."); }
inline QString cannotPlaySound() { return QStringLiteral("Can not play sound."); }
inline QString playStatus(const QString& title) { return QStringLiteral("Play: %1").arg(title); }
inline QString ready() { return QStringLiteral("Ready"); }

/// One failed file operation: %1 the file, %2 the system's reason.
inline QString copyFailed(const QString& file, const QString& reason) {
    return QStringLiteral("Could not copy \"%1\": %2").arg(file, reason);
}
inline QString renameFailed(const QString& file, const QString& reason) {
    return QStringLiteral("Could not rename \"%1\": %2").arg(file, reason);
}
inline QString deleteFailed(const QString& file, const QString& reason) {
    return QStringLiteral("Could not delete \"%1\": %2").arg(file, reason);
}

/// The list file at start-up: %1 the list file, %2 its backup or the system's reason.
inline QString listBackedUp(const QString& list, const QString& backup) {
    return QStringLiteral("The playlist file \"%1\" is not a list this version can read. It "
                          "has been kept as \"%2\" and a new list has been started.")
        .arg(list, backup);
}
inline QString listUnreadable(const QString& list, const QString& reason) {
    return QStringLiteral("The playlist file \"%1\" could not be read: %2. It is left as it "
                          "is, and changes to the list will not be saved.")
        .arg(list, reason);
}
inline QString listBackupFailed(const QString& list, const QString& reason) {
    return QStringLiteral("The playlist file \"%1\" is not a list this version can read, and "
                          "it could not be kept as a backup: %2. It is left as it is, and "
                          "changes to the list will not be saved.")
        .arg(list, reason);
}
inline QString listInUse(const QString& list) {
    return QStringLiteral("The playlist file \"%1\" is in use by another Mireldo window. "
                          "Changes to the list will not be saved.")
        .arg(list);
}
/// mireldo-cli's answer while the window holds the list: %1 the list file.
inline QString listOwnedByWindow(const QString& list) {
    return QStringLiteral("the Mireldo window owns the list \"%1\" while it runs; add or "
                          "remove items there, or close the window first")
        .arg(list);
}

inline QString addFilesFilter() {
    return QStringLiteral("Audio Files (*.mp3; *.wma; *.ogg; *.wav)|*.mp3; *.wma; *.ogg; "
                          "*.wav|MP3 Files (*.mp3)|*.mp3|WMA Files (*.wma)|*.wma|OGG Files "
                          "(*.ogg)|*.ogg|WAVE Files (*.wav)|*.wav||");
}
inline QString addDirectoryPrompt() {
    return QStringLiteral(
        "All audio files (*.wav, *.mp3, *.wma, *.ogg) in the selected folder will be added to "
        "the list.");
}
inline QString copyToFolderPrompt() { return QStringLiteral("Choose a folder to save files."); }
/// The Copy To filter for one extension such as ".mp3".
inline QString copyToFilter(const QString& extension) {
    return QStringLiteral("Audio Files (*%1)|*%1||").arg(extension);
}

} // namespace mireldo::playlist::texts
