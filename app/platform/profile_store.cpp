#include "profile_store.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringView>
#include <QVariant>

#include <limits>
#include <mutex>

namespace mireldo::platform {

namespace {

std::mutex& testFolderMutex() {
    static std::mutex mutex;
    return mutex;
}

QString& testFolder() {
    static QString folder;
    return folder;
}

// QSettings reads '/' and '\\' as group separators, so such a name would land in another
// section than asked for; an empty name has no place in an INI file at all.
bool usableName(const QString& name) {
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\');
}

QString settingsKey(const QString& section, const QString& key) {
    return section + u'/' + key;
}

// Writes one change through to the file and reports whether it reached it. A fresh QSettings
// per write keeps an earlier failure from being reported again for a later, good write.
template <typename Change>
bool writeThrough(const QString& filePath, Change change) {
    QSettings settings(filePath, QSettings::IniFormat);
    change(settings);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

ProfileStore::ProfileStore() : filePath_(filePathFor(currentFolder())) {}

ProfileStore::ProfileStore(const QString& filePath) : filePath_(filePath) {}

std::int32_t ProfileStore::getInt(const QString& section, const QString& key,
                                  std::int32_t defaultValue) const {
    if (!usableName(section) || !usableName(key)) {
        return defaultValue;
    }
    const QSettings settings(filePath_, QSettings::IniFormat);
    const QVariant value = settings.value(settingsKey(section, key));
    // A hand-edited value with a comma reads back as a list: not a number.
    if (!value.isValid() || value.typeId() != QMetaType::QString) {
        return defaultValue;
    }
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok, 10);
    if (!ok || number < std::numeric_limits<std::int32_t>::min() ||
        number > static_cast<qlonglong>(std::numeric_limits<std::uint32_t>::max())) {
        return defaultValue;
    }
    // The value is a 32-bit pattern: an unsigned write of 0xFFFFFFFF reads back as -1.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
}

bool ProfileStore::setInt(const QString& section, const QString& key, std::int32_t value) {
    if (!usableName(section) || !usableName(key)) {
        return false;
    }
    return writeThrough(filePath_, [&](QSettings& s) {
        s.setValue(settingsKey(section, key), QString::number(value));
    });
}

QString ProfileStore::getString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    if (!usableName(section) || !usableName(key)) {
        return defaultValue;
    }
    const QSettings settings(filePath_, QSettings::IniFormat);
    const QVariant value = settings.value(settingsKey(section, key));
    if (!value.isValid()) {
        return defaultValue;
    }
    // Our writes quote commas; an unquoted hand-written list comes back as it was written.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(u',');
    }
    return value.toString();
}

bool ProfileStore::setString(const QString& section, const QString& key, const QString& value) {
    if (!usableName(section) || !usableName(key)) {
        return false;
    }
    return writeThrough(filePath_,
                        [&](QSettings& s) { s.setValue(settingsKey(section, key), value); });
}

bool ProfileStore::contains(const QString& section, const QString& key) const {
    if (!usableName(section) || !usableName(key)) {
        return false;
    }
    const QSettings settings(filePath_, QSettings::IniFormat);
    return settings.contains(settingsKey(section, key));
}

bool ProfileStore::remove(const QString& section, const QString& key) {
    if (!usableName(section) || !usableName(key)) {
        return false;
    }
    return writeThrough(filePath_, [&](QSettings& s) { s.remove(settingsKey(section, key)); });
}

QStringList ProfileStore::sections() const {
    const QSettings settings(filePath_, QSettings::IniFormat);
    return settings.childGroups();
}

QStringList ProfileStore::keys(const QString& section) const {
    if (!usableName(section)) {
        return {};
    }
    QSettings settings(filePath_, QSettings::IniFormat);
    settings.beginGroup(section);
    return settings.childKeys();
}

void ProfileStore::setFolderForTesting(const QString& folder) {
    std::lock_guard lock(testFolderMutex());
    testFolder() = folder;
}

QString ProfileStore::currentFolder() {
    {
        std::lock_guard lock(testFolderMutex());
        if (!testFolder().isEmpty()) {
            return testFolder();
        }
    }
    const QString fromEnvironment = qEnvironmentVariable("MIRELDO_CONFIG_DIR");
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString ProfileStore::filePathFor(const QString& folder) {
    return folder + QStringLiteral("/Tarnwick/Mireldo.conf");
}

} // namespace mireldo::platform
