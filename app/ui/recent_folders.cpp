#include "recent_folders.h"

#include "file_system.h"

namespace mireldo::ui {

namespace {

// Stale values beyond the list are looked for up to this position.
constexpr int kLastStalePosition = 999;

} // namespace

RecentListSettings folderHistorySettings() {
    RecentListSettings s;
    s.section = QStringLiteral("FolderHistory");
    s.keyPrefix = QStringLiteral("Folder");
    s.maxEntries = 100;
    return s;
}

RecentFolderList::RecentFolderList(RecentListSettings settings) : settings_(std::move(settings)) {
    if (settings_.maxEntries < 1) {
        settings_.maxEntries = 1;
    }
}

QString RecentFolderList::lastSelectionKey() const {
    if (!settings_.lastSelectionKey.isEmpty()) {
        return settings_.lastSelectionKey;
    }
    return settings_.keyPrefix.isEmpty() ? QStringLiteral("Last") : settings_.keyPrefix;
}

QString RecentFolderList::valueName(int index) const {
    return settings_.keyPrefix + QString::number(index);
}

QString RecentFolderList::load(const platform::ProfileStore& store) {
    entries_.clear();
    selected_ = -1;
    if (settings_.section.isEmpty()) {
        return {};
    }
    for (int i = 0; i < settings_.maxEntries; ++i) {
        const QString value = store.getString(settings_.section, valueName(i));
        if (value.isEmpty()) {
            break;
        }
        if (settings_.checkExistence && !platform::folderExists(value)) {
            continue;
        }
        entries_.append(value);
    }
    if (!settings_.saveLastSelection) {
        return {};
    }
    const QString last = store.getString(settings_.section, lastSelectionKey());
    if (!last.isEmpty()) {
        for (int i = 0; i < entries_.size(); ++i) {
            if (entries_[i] == last) { // folder names are case-sensitive here
                selected_ = i;
                break;
            }
        }
    }
    return last;
}

void RecentFolderList::add(const QString& text) {
    if (settings_.section.isEmpty() || settings_.keyPrefix.isEmpty()) {
        entries_.append(text);
        return;
    }
    const QString entry = text.trimmed();
    if (entry.isEmpty()) {
        return;
    }
    entries_.prepend(entry);
    for (int i = 1; i < entries_.size(); ++i) {
        if (entries_[i] == entry) {
            entries_.removeAt(i);
            break;
        }
    }
    while (entries_.size() > settings_.maxEntries) {
        entries_.removeLast();
    }
    selected_ = 0;
}

bool RecentFolderList::save(platform::ProfileStore& store, const QString& currentText,
                            bool addCurrent) {
    if (settings_.section.isEmpty()) {
        return true;
    }
    if (addCurrent) {
        add(currentText);
    }
    bool ok = true;
    const int count =
        static_cast<int>(std::min<qsizetype>(entries_.size(), settings_.maxEntries + 1));
    for (int i = 0; i < count; ++i) {
        ok = store.setString(settings_.section, valueName(i), entries_[i]) && ok;
    }
    // Values left from a longer list of an earlier run.
    for (int i = count; i <= kLastStalePosition; ++i) {
        if (store.getString(settings_.section, valueName(i)).isEmpty()) {
            break;
        }
        ok = store.remove(settings_.section, valueName(i)) && ok;
    }
    if (settings_.saveLastSelection) {
        ok = store.setString(settings_.section, lastSelectionKey(), currentText) && ok;
    }
    return ok;
}

QString folderOfPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) {
        return path;
    }
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace mireldo::ui
