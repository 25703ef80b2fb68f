#pragma once

// The history behind CRecentListCombo: the entries of a recent-folders list, read from and
// written to one section of the profile store as "<prefix>0" (newest) ... "<prefix>N-1", plus the
// last selection. The file dialog's list is "FolderHistory"/"Folder", at most 100 entries.
//
// Threads: the user-interface thread (one list per combo box).

#include "profile_store.h"

#include <QString>
#include <QStringList>

namespace mireldo::ui {

struct RecentListSettings {
    QString section;          ///< empty: the list is not stored, add() simply appends
    QString keyPrefix;        ///< value names are the prefix and the decimal index
    QString lastSelectionKey; ///< empty: the prefix itself, or "Last" when that is empty too
    bool saveLastSelection = true;
    int maxEntries = 100;
    bool checkExistence = false; ///< skip stored folders that do not exist when loading
};

/// The settings of the file dialog's list: "FolderHistory", "Folder", 100 entries.
RecentListSettings folderHistorySettings();

class RecentFolderList {
  public:
    explicit RecentFolderList(RecentListSettings settings = {});

    const RecentListSettings& settings() const { return settings_; }
    const QStringList& entries() const { return entries_; }
    /// Index of the selected entry; -1 for none.
    int selected() const { return selected_; }
    void setSelected(int index) {
        selected_ = (index >= 0 && index < entries_.size()) ? index : -1;
    }

    /// The name the last selection is stored under.
    QString lastSelectionKey() const;

    /// Replaces the entries with the stored ones (stopping at the first empty value or after
    /// the maximum) and returns the stored last selection ("" when none or not saved). When
    /// that text equals an entry (letter case ignored) the entry becomes the selection.
    QString load(const platform::ProfileStore& store);

    /// Adds `text` by the history rules (trimmed, empty ignored, inserted first, an equal
    /// entry elsewhere removed, entries beyond the maximum dropped, first one selected).
    /// Without a section or key prefix the text is appended unchanged.
    void add(const QString& text);

    /// Writes the entries, removes stale values after them up to the first empty one, and the
    /// last selection `currentText`. With `addCurrent`, `currentText` is added first.
    /// Nothing is written without a section. False when a write failed.
    bool save(platform::ProfileStore& store, const QString& currentText, bool addCurrent = false);

  private:
    QString valueName(int index) const;

    RecentListSettings settings_;
    QStringList entries_;
    int selected_ = -1;
};

/// The folder of a chosen file: the path up to its last '/' ("/" for a file in the root), or
/// the whole path when it has no '/'.
QString folderOfPath(const QString& path);

} // namespace mireldo::ui
