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
    std::int32_t toDropBlanks = 0;         ///< 0/1: drop silence at start and end (1027)
    std::int32_t longBlankSeconds = 2;     ///< seconds of silence before the action (1031)
    std::int32_t actionAtBlank = 0;        ///< 0..4: action at long silence (1030)
    std::int32_t noiseLevel = 0;           ///< 0..4: noise level (1033)
    std::int32_t currentOutputDevice = 0;  ///< 0 the default device, n the output device n - 1
    std::int32_t encodeMethod = 0;         ///< 0 MP3, 1 WMA, 2 OGG, 3 no compression (1003)
    QString recordFolder;                  ///< folder for saving records, no trailing '/' (1001)
    std::int32_t showRightPanel = 1;       ///< 0/1: playlist panel shown
    std::int32_t recordQuality = 10;       ///< 0..15: index into the bitrate table (1004)
    std::int32_t showBlankElimination = 1; ///< 0/1: silence-detection area expanded
    std::int32_t showSaveSettings = 1;     ///< 0/1: saving-settings area expanded
    std::int32_t askForRenaming = 0;       ///< 0/1 (1024)
    std::int32_t looplyPlaying = 0;        ///< 0/1 (1025)
    std::int32_t shortRecordSeconds = 0;   ///< seconds (1035)
    std::int32_t discardShortRecord = 0;   ///< 0/1 (1034)
    std::int32_t preRollTenths = 0;        ///< 0..20: "Keep before sound", tenths of a second
    std::int32_t holdMilliseconds = 0;     ///< 0..500: "Sound must last", milliseconds

    friend bool operator==(const RecorderSettings&, const RecorderSettings&) = default;
};

/// Section "History" values of the main window.
struct RecorderHistory {
    std::int32_t offlineRecDev = 0;  ///< selected row of "Recording device:" (1266)
    std::int32_t offlineRecFmt2 = 3; ///< selected row of "Output format:" (1217)
    QString win7DeviceNameSel;       ///< name of the selected capture endpoint (1049)

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
