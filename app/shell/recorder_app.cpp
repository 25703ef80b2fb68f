#include "recorder_app.h"

#include "audio_mode.h"
#include "main_window.h"
#include "profile_store.h"
#include "recorder_settings.h"
#include "temporary_folder.h"

#include <QDir>

namespace mireldo {

StaleFileReport cleanTemporaryFolder() {
    const auto folder = platform::temporaryFolder();
    if (!folder) {
        // The folder is missing and cannot be made, or is not safely ours: nothing to do.
        return {};
    }
    StaleFileOptions options;
    options.temporaryFolder = folder.value();
    options.legacyFolder = platform::legacyTemporaryFolder();
    options.recordFolder = readRecordFolder(platform::ProfileStore());
    options.homeFolder = QDir::homePath();
    return removeStaleTemporaryFiles(options);
}

CRecorderApp::CRecorderApp(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QStringLiteral("Tarnwick"));
    setApplicationName(QStringLiteral("Mireldo"));
    setDesktopFileName(QStringLiteral("mireldo"));
    decideAndStoreAudioMode();
}

CRecorderApp* CRecorderApp::instance() {
    return qobject_cast<CRecorderApp*>(QCoreApplication::instance());
}

int CRecorderApp::run() {
    folders_.read(platform::ProfileStore());
    const StaleFileReport report = cleanTemporaryFolder();
    {
        CRecorderDialog dialog;
        dialog.setStartupReport(report);
        dialog.exec();
    }
    platform::ProfileStore store;
    folders_.write(store);
    return 0;
}

} // namespace mireldo
