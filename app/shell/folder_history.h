#pragma once

// The nine start folders of the program's file and folder dialogs, kept by the application
// object in section "History": read at start-up, changed by the dialogs that use them and
// written back at exit. Keys no dialog uses yet are carried: read and written back unchanged,
// so they survive a run of the program.
//
// Threads: the main thread (the application object owns the only instance).

#include "profile_store.h"

#include <QString>

#include <array>

namespace mireldo {

class FolderHistory {
  public:
    /// The keys, in the order they are read and written.
    enum Key {
        UploadFiles,
        ImageFromFile,
        AddFiles, ///< start folder of the playlist's "Add Files" dialog
        SaveKlx,
        EditKlx,
        AudioForKlx,
        ImageForKlx,
        ExportAudio,
        AddDir, ///< start folder of the playlist's "Add Directory" folder browser
        KeyCount
    };

    /// Every folder set to `defaultFolder`.
    explicit FolderHistory(const QString& defaultFolder = defaultFolderPath());

    /// The stored key name ("CurDirUploadFiles", ...).
    static QString keyName(Key key);
    /// The default of every key: the user's home folder.
    static QString defaultFolderPath();

    /// Reads the nine keys in order; a missing key reads as the default folder.
    void read(const platform::ProfileStore& store);
    /// Writes the nine keys in order. False when any write failed (all are attempted).
    bool write(platform::ProfileStore& store) const;

    const QString& folder(Key key) const { return folders_[static_cast<std::size_t>(key)]; }
    void setFolder(Key key, const QString& folder) {
        folders_[static_cast<std::size_t>(key)] = folder;
    }

  private:
    QString defaultFolder_;
    std::array<QString, KeyCount> folders_;
};

} // namespace mireldo
