#include "recorder_settings.h"

#include <algorithm>
#include <limits>

namespace mireldo {

namespace {

using platform::ProfileStore;

const QString& settingsSection() {
    static const QString name = QString::fromUtf16(kSettingsSection);
    return name;
}

const QString& historySection() {
    static const QString name = QString::fromUtf16(kHistorySection);
    return name;
}

std::int32_t readInt(const ProfileStore& store, const char* key, std::int32_t defaultValue) {
    return store.getInt(settingsSection(), QString::fromLatin1(key), defaultValue);
}

// A flag is stored as 0 or 1; any other non-zero value reads as set.
bool readFlag(const ProfileStore& store, const char* key, bool defaultValue) {
    return readInt(store, key, defaultValue ? 1 : 0) != 0;
}

} // namespace

std::int32_t clampZeroToFour(std::int32_t value) {
    return value < 0 ? 0 : (value > 4 ? 4 : value);
}

std::int32_t maskEncodeMethod(std::int32_t value) {
    return value & 3;
}

std::int32_t maskRecordQuality(std::int32_t value) {
    return value & 15;
}

QString normaliseRecordFolder(QString folder) {
    while (!folder.isEmpty() && folder.endsWith(u'/')) {
        folder.chop(1);
    }
    return folder;
}

std::int32_t normaliseOutputDevice(std::int32_t value, std::optional<int> outputDeviceCount) {
    if (value < 0) {
        return 0;
    }
    if (outputDeviceCount && value > *outputDeviceCount) {
        return 0;
    }
    return value;
}

RecorderSettings readRecorderSettings(const ProfileStore& store,
                                      std::optional<int> outputDeviceCount) {
    RecorderSettings s;
    s.dropSilence = readFlag(store, "ToDropBlanks", false);
    s.longBlankSeconds = readInt(store, "LongBlankSeconds", 2);
    s.actionAtBlank = clampZeroToFour(readInt(store, "ActionAtBlank", 0));
    s.noiseLevel = clampZeroToFour(readInt(store, "NoiseLevel", 0));

    if (outputDeviceCount) {
        outputDeviceCount = std::min(std::max(*outputDeviceCount, 0), kMaxOutputDevices);
    }
    s.outputDevice =
        normaliseOutputDevice(readInt(store, "CurrentOutputDevice", 0), outputDeviceCount);

    s.encodeMethod = maskEncodeMethod(readInt(store, "EncodeMethod", 0));
    s.recordFolder = normaliseRecordFolder(
        store.getString(settingsSection(), QStringLiteral("RecordFolder"), QString()));

    s.showPlaylist = readFlag(store, "ShowRightPanel", true);
    s.recordQuality = maskRecordQuality(readInt(store, "RecordQuality", 10));
    s.showSilenceArea = readFlag(store, "ShowBlankElimination", true);
    s.showSavingArea = readFlag(store, "ShowSaveSettings", true);
    s.askForRenaming = readFlag(store, "AskForRenaming", false);
    s.loopPlaying = readFlag(store, "LooplyPlaying", false);
    s.shortRecordSeconds = readInt(store, "ShortRecordSeconds", 0);
    s.discardShortRecord = readFlag(store, "DiscardShortRecord", false);
    s.preRollTenths = std::clamp(readInt(store, "PreRollTenths", 0), 0, 20);
    s.holdMilliseconds = std::clamp(readInt(store, "HoldMilliseconds", 0), 0, 500);
    return s;
}

RecorderHistory readRecorderHistory(const ProfileStore& store, bool endpointMode) {
    RecorderHistory h;
    h.recordingDevice = store.getInt(historySection(), QStringLiteral("OfflineRecDev"), 0);
    h.outputFormat = store.getInt(historySection(), QStringLiteral("OfflineRecFmt2"), 3);
    if (endpointMode) {
        h.endpointName =
            store.getString(historySection(), QStringLiteral("Win7DeviceNameSel"), QString());
    }
    return h;
}

QString readRecordFolder(const ProfileStore& store) {
    return normaliseRecordFolder(
        store.getString(settingsSection(), QStringLiteral("RecordFolder"), QString()));
}

bool writeRecorderState(ProfileStore& store, const RecorderSettings& s, const RecorderHistory& h,
                        bool endpointSelected) {
    bool ok = true;
    const auto setting = [&](const char* key, std::int32_t value) {
        ok = store.setInt(settingsSection(), QString::fromLatin1(key), value) && ok;
    };
    const auto flag = [&](const char* key, bool value) { setting(key, value ? 1 : 0); };
    if (endpointSelected) {
        ok = store.setString(historySection(), QStringLiteral("Win7DeviceNameSel"),
                             h.endpointName) &&
             ok;
    }
    setting("CurrentOutputDevice", s.outputDevice);
    ok = store.setInt(historySection(), QStringLiteral("OfflineRecDev"), h.recordingDevice) && ok;
    ok = store.setInt(historySection(), QStringLiteral("OfflineRecFmt2"), h.outputFormat) && ok;

    flag("ShowSaveSettings", s.showSavingArea);
    flag("ShowBlankElimination", s.showSilenceArea);
    flag("ShowRightPanel", s.showPlaylist);
    setting("EncodeMethod", s.encodeMethod);
    ok = store.setString(settingsSection(), QStringLiteral("RecordFolder"), s.recordFolder) && ok;
    setting("RecordQuality", s.recordQuality);
    flag("AskForRenaming", s.askForRenaming);
    flag("LooplyPlaying", s.loopPlaying);
    flag("ToDropBlanks", s.dropSilence);
    setting("LongBlankSeconds", s.longBlankSeconds);
    setting("ActionAtBlank", s.actionAtBlank);
    setting("NoiseLevel", s.noiseLevel);
    setting("ShortRecordSeconds", s.shortRecordSeconds);
    flag("DiscardShortRecord", s.discardShortRecord);
    setting("PreRollTenths", s.preRollTenths);
    setting("HoldMilliseconds", s.holdMilliseconds);
    return ok;
}

std::optional<std::int32_t> parseDialogInteger(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < trimmed.size() && (trimmed[i] == u'+' || trimmed[i] == u'-')) {
        negative = trimmed[i] == u'-';
        ++i;
    }
    if (i == trimmed.size()) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (; i < trimmed.size(); ++i) {
        const char16_t c = trimmed[i].unicode();
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (c - u'0');
        if (value > static_cast<qint64>(std::numeric_limits<std::int32_t>::max()) + 1) {
            return std::nullopt;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace mireldo
