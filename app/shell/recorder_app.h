#pragma once

// CRecorderApp, the application object. Start-up, in order: decide the audio mode (when the
// object is made), hand the files to a window already running on the same playlist (and stop
// there), read the folder history, deal with the temporary files an earlier run left behind,
// then run the main window modally with the files added to its playlist; when it has closed,
// write the folder history.
//
// Threads: the main thread.

#include "folder_history.h"
#include "stale_files.h"

#include <QApplication>

namespace mireldo {

class CRecorderApp : public QApplication {
    Q_OBJECT

  public:
    CRecorderApp(int& argc, char** argv);

    /// Runs start-up, the main window with `files` added to its playlist, and exit; returns the
    /// process's exit code. When a window already runs on the same playlist, the files go to it
    /// instead and no window opens here.
    int run(const QStringList& files = {});

    /// The folder history other parts of the program read and update.
    FolderHistory& folders() { return folders_; }

    /// The running application object; nullptr when there is none.
    static CRecorderApp* instance();

  private:
    FolderHistory folders_;
};

/// Deals with the stale temporary files of the program's temporary folder, sending recovered
/// records to the record folder stored in the settings (the home folder when none is set).
StaleFileReport cleanTemporaryFolder();

} // namespace mireldo
