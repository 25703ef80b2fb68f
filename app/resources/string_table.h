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
inline constexpr int kStrAboutMenu = 101;          ///< "&About Mireldo..."
inline constexpr int kStrAboutMireldo = 477;       ///< "About Mireldo"
inline constexpr int kStrReadyToRecord = 489;      ///< status 0
inline constexpr int kStrChooseRecordFolder = 470; ///< folder browser title
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
/// Voice-activated recording: labels and tooltips of the silence area's new controls, the
/// noise measurement's texts, the health line's parts and the level meter's tooltip.
inline constexpr int kStrKeepBeforeSound = 620;
inline constexpr int kStrSoundMustLast = 621;
inline constexpr int kStrMeasure = 622;
inline constexpr int kStrMeasureTip = 623;
inline constexpr int kStrMeasuring = 624;
inline constexpr int kStrNoiseMeasured = 625;
inline constexpr int kStrNoiseNotMeasured = 626;
inline constexpr int kStrTimeLeft = 627;
inline constexpr int kStrOverruns = 628;
inline constexpr int kStrDeviceLost = 629;
inline constexpr int kStrLevelMeterTip = 630;
inline constexpr int kStrSecondsSuffix = 631;
inline constexpr int kStrMillisecondsSuffix = 632;
inline constexpr int kStrKeepBeforeSoundTip = 633;
inline constexpr int kStrSoundMustLastTip = 634;
/// Tag editing: a file that cannot be read or rewritten, and the WMA editor's three messages.
inline constexpr int kStrTagFileFailed = 650;
inline constexpr int kStrWmaTagReadFailed = 651;
inline constexpr int kStrWmaTagCannotModify = 652;
inline constexpr int kStrWmaTagModifyFailed = 653;
/// Captions of the MP3 and WMA tag dialogs; labels and buttons follow from 656 to 665.
inline constexpr int kStrMp3TagCaption = 654;
inline constexpr int kStrWmaTagCaption = 655;
inline constexpr int kStrTagFirstLabel = 656;
/// The converter dialog: caption (700), the four column headings (701-704), "Converting..."
/// (705), the entries of the type, rate, channel and bit-rate lists (706, 710, 717, 720 on),
/// checks, buttons and labels (736-750), messages (751-755), the add filter (756), the "Time
/// range" dialog (757-762) and an unreadable source (763).
inline constexpr int kStrConverterCaption = 700;
inline constexpr int kStrConverterFirstHeading = 701;
inline constexpr int kStrConverting = 705;
inline constexpr int kStrConverterFirstType = 706;
inline constexpr int kStrConverterFirstRate = 710;
inline constexpr int kStrConverterFirstChannels = 717;
inline constexpr int kStrConverterFirstBitrate = 720;
inline constexpr int kStrConverterSkip = 736;
inline constexpr int kStrConverterMerge = 737;
inline constexpr int kStrConverterAdd = 738;
inline constexpr int kStrConverterRemove = 739;
inline constexpr int kStrConverterRemoveAll = 740;
inline constexpr int kStrConverterSetRange = 741;
inline constexpr int kStrConverterBrowse = 742;
inline constexpr int kStrConverterConvert = 743;
inline constexpr int kStrConverterCancel = 744;
inline constexpr int kStrConverterCurrent = 745;
inline constexpr int kStrConverterFirstLabel = 746; ///< destination, type, rate, channels, bit rate
inline constexpr int kStrNoSourceFile = 751;
inline constexpr int kStrNoDestination = 752;
inline constexpr int kStrConvertedCount = 753;
inline constexpr int kStrConvertedAskPlaylist = 754;
inline constexpr int kStrChooseConvertFolder = 755;
inline constexpr int kStrConverterFilter = 756;
inline constexpr int kStrTimeRangeCaption = 757;
inline constexpr int kStrEntireAudioFile = 758;
inline constexpr int kStrStartTime = 759;
inline constexpr int kStrEndTime = 760;
inline constexpr int kStrStartAfterEnd = 761;
inline constexpr int kStrOk = 762;
inline constexpr int kStrSourceUnreadable = 763;
/// "The encoder was not loaded correctly!"
inline constexpr int kStrEncoderNotLoaded = 178;

} // namespace mireldo
