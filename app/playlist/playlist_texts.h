#pragma once

// The texts the playlist commands show, from the string table.
//
// Threads: any thread; constant data.

#include "string_table.h"

#include <QString>

namespace mireldo::playlist::texts {

/// "No item was selected."
inline constexpr int kStrNoItemSelected = 800;
/// "Too many items. You can add a maximum of %1 items into th..."
inline constexpr int kStrTooManyItems = 801;
/// "You can not delete items which is being played."
inline constexpr int kStrCannotDeletePlaying = 802;
/// "You can not edit an item which is being played."
inline constexpr int kStrCannotEditPlaying = 803;
/// "Can not play. The item is being loaded. Please try later."
inline constexpr int kStrItemBeingLoaded = 804;
/// "Can not play. The item is not loaded correctly."
inline constexpr int kStrItemNotLoaded = 805;
/// "Failed to open the audio device."
inline constexpr int kStrFailedToOpenDevice = 381;
/// "Can not play sound."
inline constexpr int kStrCanNotPlaySound = 392;
/// "Play: %1"
inline constexpr int kStrPlayStatus = 806;
/// "Ready"
inline constexpr int kStrReady = 807;
/// "Could not copy \"%1\": %2"
inline constexpr int kStrCouldNotCopy = 808;
/// "Could not rename \"%1\": %2"
inline constexpr int kStrCouldNotRename = 809;
/// "Could not delete \"%1\": %2"
inline constexpr int kStrCouldNotDelete = 810;
/// "The playlist file \"%1\" is not a list this version can r..."
inline constexpr int kStrListBackedUp = 811;
/// "The playlist file \"%1\" could not be read: %2. It is lef..."
inline constexpr int kStrListUnreadable = 812;
/// "The playlist file \"%1\" is not a list this version can r..."
inline constexpr int kStrListBackupFailed = 813;
/// "The playlist file \"%1\" is in use by another Mireldo win..."
inline constexpr int kStrListInUse = 814;
/// "the Mireldo window owns the list \"%1\" while it runs; ad..."
inline constexpr int kStrListOwnedByWindow = 815;
/// "Audio Files (*.mp3; *.wma; *.ogg; *.wav)|*.mp3; *.wma; *...."
inline constexpr int kStrAddFilesFilter = 816;
/// "All audio files (*.wav, *.mp3, *.wma, *.ogg) in the selec..."
inline constexpr int kStrAddDirectoryPrompt = 817;
/// "Choose a folder to save files."
inline constexpr int kStrCopyToFolderPrompt = 818;
/// "Audio Files (*%1)|*%1||"
inline constexpr int kStrCopyToFilter = 819;

inline QString noItemSelected() {
    return loadString(kStrNoItemSelected);
}
/// %1 the capacity.
inline QString tooManyItems(int capacity) {
    return loadString(kStrTooManyItems).arg(capacity);
}
inline QString cannotDeletePlaying() {
    return loadString(kStrCannotDeletePlaying);
}
inline QString cannotEditPlaying() {
    return loadString(kStrCannotEditPlaying);
}
inline QString itemBeingLoaded() {
    return loadString(kStrItemBeingLoaded);
}
inline QString itemNotLoaded() {
    return loadString(kStrItemNotLoaded);
}
inline QString failedToOpenDevice() {
    return loadString(kStrFailedToOpenDevice);
}
inline QString cannotPlaySound() {
    return loadString(kStrCanNotPlaySound);
}
inline QString playStatus(const QString& title) {
    return loadString(kStrPlayStatus).arg(title);
}
inline QString ready() {
    return loadString(kStrReady);
}

/// One failed file operation: %1 the file, %2 the system's reason.
inline QString copyFailed(const QString& file, const QString& reason) {
    return loadString(kStrCouldNotCopy).arg(file, reason);
}
inline QString renameFailed(const QString& file, const QString& reason) {
    return loadString(kStrCouldNotRename).arg(file, reason);
}
inline QString deleteFailed(const QString& file, const QString& reason) {
    return loadString(kStrCouldNotDelete).arg(file, reason);
}

/// The list file at start-up: %1 the list file, %2 its backup or the system's reason.
inline QString listBackedUp(const QString& list, const QString& backup) {
    return loadString(kStrListBackedUp).arg(list, backup);
}
inline QString listUnreadable(const QString& list, const QString& reason) {
    return loadString(kStrListUnreadable).arg(list, reason);
}
inline QString listBackupFailed(const QString& list, const QString& reason) {
    return loadString(kStrListBackupFailed).arg(list, reason);
}
inline QString listInUse(const QString& list) {
    return loadString(kStrListInUse).arg(list);
}
/// mireldo-cli's answer while the window holds the list: %1 the list file.
inline QString listOwnedByWindow(const QString& list) {
    return loadString(kStrListOwnedByWindow).arg(list);
}

inline QString addFilesFilter() {
    return loadString(kStrAddFilesFilter);
}
inline QString addDirectoryPrompt() {
    return loadString(kStrAddDirectoryPrompt);
}
inline QString copyToFolderPrompt() {
    return loadString(kStrCopyToFolderPrompt);
}
/// The Copy To filter for one extension such as ".mp3".
inline QString copyToFilter(const QString& extension) {
    return loadString(kStrCopyToFilter).arg(extension);
}

} // namespace mireldo::playlist::texts
