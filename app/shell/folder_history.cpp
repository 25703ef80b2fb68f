#include "folder_history.h"

#include "recorder_settings.h"

#include <QDir>

namespace mireldo {

namespace {

constexpr std::array<const char*, FolderHistory::KeyCount> kKeyNames{
    "CurDirUploadFiles", "CurDirImageFromFile", "CurDirAddFiles",
    "CurDirSaveKlx",     "CurDirEditKlx",       "CurDirAudioForKlx",
    "CurDirImageForKlx", "CurDirExportAudio",   "CurDirAddDir",
};

} // namespace

FolderHistory::FolderHistory(const QString& defaultFolder) : defaultFolder_(defaultFolder) {
    folders_.fill(defaultFolder_);
}

QString FolderHistory::keyName(Key key) {
    return QString::fromLatin1(kKeyNames[static_cast<std::size_t>(key)]);
}

QString FolderHistory::defaultFolderPath() {
    return QDir::homePath();
}

void FolderHistory::read(const platform::ProfileStore& store) {
    const QString section = QString::fromUtf16(kHistorySection);
    for (int k = 0; k < KeyCount; ++k) {
        folders_[static_cast<std::size_t>(k)] =
            store.getString(section, keyName(static_cast<Key>(k)), defaultFolder_);
    }
}

bool FolderHistory::write(platform::ProfileStore& store) const {
    const QString section = QString::fromUtf16(kHistorySection);
    bool ok = true;
    for (int k = 0; k < KeyCount; ++k) {
        ok = store.setString(section, keyName(static_cast<Key>(k)),
                             folders_[static_cast<std::size_t>(k)]) &&
             ok;
    }
    return ok;
}

} // namespace mireldo
