#pragma once

// The main window's persistent values: the keys of section "Settings" read when the window is
// constructed, the three selections of section "History" read when it is initialised, and
// how both are written back when it is destroyed. Values are normalised as they are read, so
// the window never sees an index outside its lists.
//
// Threads: plain values and functions; call from the thread that owns the store (any).

#include "profile_store.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace mireldo {

inline constexpr char16_t kSettingsSection[] = u"Settings";
inline constexpr char16_t kHistorySection[] = u"History";

/// Most output devices the output-device menu lists.
inline constexpr int kMaxOutputDevices = 10;

/// Section "Settings" of the main window, with the defaults of a first start.
struct RecorderSettings {
    bool dropSilence = false;            ///< drop silence at the start and end of a record
    std::int32_t longBlankSeconds = 2;   ///< seconds of silence before the long-silence action
    std::int32_t actionAtBlank = 0;      ///< 0..4: the long-silence action
    std::int32_t noiseLevel = 0;         ///< 0..4: the noise level counted as silence
    std::int32_t outputDevice = 0;       ///< 0 the default device, n the output device n - 1
    std::int32_t encodeMethod = 0;       ///< 0 MP3, 1 WMA, 2 OGG, 3 no compression
    QString recordFolder;                ///< folder for saving records, no trailing '/'
    bool showPlaylist = true;            ///< the playlist panel is shown
    std::int32_t recordQuality = 10;     ///< 0..15: index into the bitrate table
    bool showSilenceArea = true;         ///< the silence-detection area is expanded
    bool showSavingArea = true;          ///< the saving-settings area is expanded
    bool askForRenaming = false;         ///< ask for a name before a record is saved
    bool loopPlaying = false;            ///< the playlist starts again after its last item
    std::int32_t shortRecordSeconds = 0; ///< records shorter than this are short, in seconds
    bool discardShortRecord = false;     ///< short records are discarded instead of saved
    std::int32_t preRollTenths = 0;      ///< 0..20: "Keep before sound", tenths of a second
    std::int32_t holdMilliseconds = 0;   ///< 0..500: "Sound must last", milliseconds

    friend bool operator==(const RecorderSettings&, const RecorderSettings&) = default;
};

/// Section "History" values of the main window.
struct RecorderHistory {
    std::int32_t recordingDevice = 0; ///< selected row of the recording-device list
    std::int32_t outputFormat = 3;    ///< selected row of the output-format list
    QString endpointName;             ///< name of the selected capture endpoint

    friend bool operator==(const RecorderHistory&, const RecorderHistory&) = default;
};

/// `value` limited to 0..4 (ActionAtBlank, NoiseLevel).
std::int32_t clampZeroToFour(std::int32_t value);
/// `value` masked to its low two bits (EncodeMethod).
std::int32_t maskEncodeMethod(std::int32_t value);
/// `value` masked to its low four bits (RecordQuality).
std::int32_t maskRecordQuality(std::int32_t value);
/// `folder` without trailing '/'; a folder of separators only becomes empty.
QString normaliseRecordFolder(QString folder);
/// The stored output device, 0 when it names no device: above `outputDeviceCount` (when the
/// count is known) or negative.
std::int32_t normaliseOutputDevice(std::int32_t value, std::optional<int> outputDeviceCount);

/// Reads section "Settings" in the order the window reads it, normalising as it goes.
/// `outputDeviceCount` is the number of output devices (at most 10 are counted); nullopt when
/// no device layer can count them, in which case a non-negative stored device is kept.
RecorderSettings readRecorderSettings(const platform::ProfileStore& store,
                                      std::optional<int> outputDeviceCount);

/// Reads the "History" selections; in the endpoint mode also the endpoint name.
RecorderHistory readRecorderHistory(const platform::ProfileStore& store, bool endpointMode);

/// Only the record folder of section "Settings", normalised (for start-up, before the window
/// exists).
QString readRecordFolder(const platform::ProfileStore& store);

/// Writes both sections in the order of the window's destruction: the endpoint name (when
/// `endpointSelected`), CurrentOutputDevice, OfflineRecDev, OfflineRecFmt2, then the other
/// "Settings" keys. Returns false when any write failed (every write is still attempted).
bool writeRecorderState(platform::ProfileStore& store, const RecorderSettings& settings,
                        const RecorderHistory& history, bool endpointSelected);

/// The integer an integer field holds: optional blanks, an optional sign, decimal digits,
/// optional blanks, within the 32-bit range. nullopt for anything else (an empty field too).
std::optional<std::int32_t> parseDialogInteger(const QString& text);

} // namespace mireldo
