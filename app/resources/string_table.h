#pragma once

// The application's string table: every text shown to the user in a message box, a status line,
// a tooltip or a menu, looked up by its numeric id. The ids are those the rest of the program
// quotes, so a caller writes loadString(364) or one of the named ids below.
//
// Threads: any thread; the table is constant data.

#include <QString>

#include <span>

namespace mireldo {

/// One entry of the table: the id and the text in UTF-8.
struct StringEntry {
    int id;
    const char* text;
};

/// Every entry, sorted by id.
std::span<const StringEntry> stringTable();

/// The text of `id`; empty when the table has no such id (as the platform's string loading
/// gives an empty string for a missing resource).
QString loadString(int id);

/// True when the table holds `id`.
bool hasString(int id);

// Ids the shell uses by name. Other subsystems may name theirs beside them.
inline constexpr int kStrAboutMenu = 101;              ///< "&About Mireldo..."
inline constexpr int kStrAboutMireldo = 477;           ///< "About Mireldo"
inline constexpr int kStrReadyToRecord = 489;          ///< status 0
inline constexpr int kStrChooseRecordFolder = 470;     ///< folder browser title
inline constexpr int kStrCollapseSilence = 472;
inline constexpr int kStrExpandSilence = 473;
inline constexpr int kStrCollapseSaving = 474;
inline constexpr int kStrExpandSaving = 475;
inline constexpr int kStrHidePlaylist = 436;
inline constexpr int kStrShowPlaylist = 437;
/// Records of an earlier run that ended abnormally were recovered; %1 lists them.
inline constexpr int kStrRecordsRecovered = 600;
/// A recovered record could not be moved out of the temporary folder; %1 lists them.
inline constexpr int kStrRecordsNotRecovered = 601;
/// A recording source whose name the mixer cannot give.
inline constexpr int kStrErrorGettingName = 602;
/// "Advance..." found no mixer program to start.
inline constexpr int kStrNoMixerProgram = 603;
/// The standard prompt of an integer field holding something else.
inline constexpr int kStrEnterInteger = 61712;
/// Tag editing: a file that cannot be read or rewritten, and the WMA editor's three messages.
inline constexpr int kStrTagFileFailed = 650;
inline constexpr int kStrWmaTagReadFailed = 651;
inline constexpr int kStrWmaTagCannotModify = 652;
inline constexpr int kStrWmaTagModifyFailed = 653;
/// Captions of the MP3 and WMA tag dialogs; labels and buttons follow from 656 to 665.
inline constexpr int kStrMp3TagCaption = 654;
inline constexpr int kStrWmaTagCaption = 655;
inline constexpr int kStrTagFirstLabel = 656;

} // namespace mireldo
