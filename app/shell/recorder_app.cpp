#include "recorder_app.h"

#include "audio_mode.h"
#include "main_window.h"
#include "profile_store.h"
#include "list_location.h"
#include "recorder_settings.h"
#include "single_instance.h"
#include "temporary_folder.h"

#include <QDir>

#include <cstdio>

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

int CRecorderApp::run(const QStringList& files) {
    SingleInstance instance(playlist::defaultListFilePath(false));
    switch (instance.start(files)) {
    case SingleInstance::Outcome::HandedOver:
        return 0;
    case SingleInstance::Outcome::NotTaken:
        std::fprintf(stderr, "mireldo: the running Mireldo does not answer; try again\n");
        return 1;
    case SingleInstance::Outcome::Primary:
        break;
    }
    folders_.read(platform::ProfileStore());
    const StaleFileReport report = cleanTemporaryFolder();
    {
        CRecorderDialog dialog;
        dialog.setStartupReport(report);
        dialog.openFiles(files);
        QObject::connect(&instance, &SingleInstance::filesReceived, &dialog,
                         [&dialog](const QStringList& handed) {
                             dialog.openFiles(handed);
                             dialog.raise();
                             dialog.activateWindow();
                         });
        dialog.exec();
    }
    platform::ProfileStore store;
    folders_.write(store);
    return 0;
}

} // namespace mireldo
