#pragma once

// The profile store: the program's settings as sections of keys with 32-bit integers or
// strings, kept in an INI file of organisation "Tarnwick", application "Mireldo"
// (normally ~/.config/Tarnwick/Mireldo.conf).
//
// Every set writes the file through at once, so another process (or a crash right after)
// sees the value; every get reads what the file holds now. Reads of a missing or unusable
// value give the caller's default.
//
// Threads: any function of a store from any thread (each call works on its own QSettings
// object; QSettings serialises access to the file). Stores are cheap to make.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace mireldo::platform {

class ProfileStore {
  public:
    /// Opens the store at filePathFor(currentFolder()).
    ProfileStore();
    /// Opens the store kept in the given INI file (for tools and tests).
    explicit ProfileStore(const QString& filePath);

    /// The integer under section/key as a signed 32-bit number. Text in the range of either
    /// signed or unsigned 32-bit is taken modulo 2^32 (4294967295 reads as -1); anything else
    /// (missing, empty, not a decimal integer, out of range) gives `defaultValue`.
    std::int32_t getInt(const QString& section, const QString& key,
                        std::int32_t defaultValue) const;
    /// Stores `value` and writes the file. False when the section or key is unusable
    /// (empty, or holding '/' or '\\') or the file could not be written.
    bool setInt(const QString& section, const QString& key, std::int32_t value);

    /// The string under section/key, or `defaultValue` when there is none.
    QString getString(const QString& section, const QString& key,
                      const QString& defaultValue = {}) const;
    /// Stores `value` and writes the file; false as for setInt().
    bool setString(const QString& section, const QString& key, const QString& value);

    /// True when section/key holds a value.
    bool contains(const QString& section, const QString& key) const;
    /// Removes section/key (nothing to remove is success) and writes the file.
    bool remove(const QString& section, const QString& key);
    /// Names of the sections that hold values.
    QStringList sections() const;
    /// Keys of one section.
    QStringList keys(const QString& section) const;

    /// The INI file this store reads and writes.
    QString filePath() const { return filePath_; }

    /// Points every store made afterwards at `folder` (the file then is
    /// <folder>/Tarnwick/Mireldo.conf); an empty folder restores the normal place.
    /// Stores already open keep their file.
    static void setFolderForTesting(const QString& folder);
    /// The configuration folder in use: the test folder if set, else $MIRELDO_CONFIG_DIR if
    /// set, else the user's configuration folder (XDG).
    static QString currentFolder();
    /// <folder>/Tarnwick/Mireldo.conf.
    static QString filePathFor(const QString& folder);

  private:
    QString filePath_;
};

} // namespace mireldo::platform
