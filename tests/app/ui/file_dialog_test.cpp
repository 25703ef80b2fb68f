// The file dialog's extra row, its focus rule and the history it keeps in "FolderHistory".

#include "folder_browser.h"
#include "profile_store.h"
#include "test_support.h"
#include "widget_test_app.h"
#include "xfile_dialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

using namespace mireldo::ui;
using mireldo::platform::ProfileStore;

namespace {

const QString kSection = QStringLiteral("FolderHistory");

struct Settings {
    testsupport::TempDir dir;
    Settings() {
        uitest::app();
        ProfileStore::setFolderForTesting(QString::fromStdString(dir.path().string()));
    }
    ~Settings() { ProfileStore::setFolderForTesting(QString()); }
    QString folder(const std::string& name) {
        const std::string p = dir.file(name);
        QDir().mkpath(QString::fromStdString(p));
        return QString::fromStdString(p);
    }
};

} // namespace

TEST(FileDialog, ExtraRowListsTheStoredFoldersScreenshot) {
    Settings s;
    const QString music = s.folder("Music");
    ProfileStore store;
    store.setString(kSection, QStringLiteral("Folder0"), music);
    store.setString(kSection, QStringLiteral("Folder1"), QStringLiteral("/no/longer/there"));
    store.setString(kSection, QStringLiteral("Folder"), music);

    CXFileDialog dialog(true, QStringLiteral(".mp3"), QString(),
                        QStringLiteral("MP3 files (*.mp3)|*.mp3|All files|*||"));
    dialog.setDirectory(music);
    ASSERT_NE(dialog.recentFolders(), nullptr);
    EXPECT_EQ(dialog.recentLabel()->text(), QStringLiteral("Recent &folders:"));
    EXPECT_EQ(dialog.recentFolders()->count(), 2);
    EXPECT_EQ(dialog.recentFolders()->currentText(), music);
    dialog.resize(640, 420);
    dialog.show();
    QCoreApplication::processEvents();
    // The list starts where the file-name field starts.
    ASSERT_NE(dialog.fileNameField(), nullptr);
    EXPECT_EQ(dialog.recentFolders()->mapTo(&dialog, QPoint(0, 0)).x(),
              dialog.fileNameField()->mapTo(&dialog, QPoint(0, 0)).x());
    uitest::saveScreenshot(dialog.grab().toImage(), QStringLiteral("file_dialog_recent_folders"));
    dialog.reject();
}

TEST(FileDialog, FirstDialogFocusesTheListLaterOnesTheFileName) {
    Settings s;
    CXFileDialog::resetFirstDialogOfRun();
    {
        CXFileDialog first(true, QString(), QString(), QString());
        first.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(QApplication::focusWidget(), first.recentFolders());
        first.reject();
    }
    CXFileDialog second(false, QStringLiteral(".mp3"), QStringLiteral("take1.mp3"), QString());
    second.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), second.fileNameField());
    EXPECT_EQ(second.fileNameField()->selectedText(), QStringLiteral("take1.mp3"));
    second.reject();
}

TEST(FileDialog, AcceptingAFileStoresItsFolderFirstOncePerFolder) {
    Settings s;
    const QString music = s.folder("Music");
    const QString talks = s.folder("Talks");
    testsupport::writeFile(music.toStdString() + "/a.mp3", {1, 2, 3});
    testsupport::writeFile(talks.toStdString() + "/b.mp3", {1, 2, 3});
    for (const QString& file : {music + QStringLiteral("/a.mp3"), talks + QStringLiteral("/b.mp3"),
                                music + QStringLiteral("/a.mp3")}) {
        CXFileDialog dialog(true, QString(), QString(), QString());
        dialog.selectFile(file);
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.done(QDialog::Accepted); });
        EXPECT_EQ(dialog.showDialog(), CXFileDialog::kChosen);
    }
    ProfileStore store;
    EXPECT_EQ(store.getString(kSection, QStringLiteral("Folder0")), music);
    EXPECT_EQ(store.getString(kSection, QStringLiteral("Folder1")), talks);
    EXPECT_FALSE(store.contains(kSection, QStringLiteral("Folder2")));
    EXPECT_EQ(store.getString(kSection, QStringLiteral("Folder")), music);

    CXFileDialog cancelled(true, QString(), QString(), QString());
    QTimer::singleShot(0, &cancelled, [&cancelled] { cancelled.reject(); });
    EXPECT_EQ(cancelled.showDialog(), CXFileDialog::kCancelled);
}

TEST(FileDialog, ChoosingARecentFolderMovesThereAndAMissingOneDoesNothing) {
    Settings s;
    const QString music = s.folder("Music");
    const QString start = s.folder("Start");
    ProfileStore store;
    store.setString(kSection, QStringLiteral("Folder0"), music);
    store.setString(kSection, QStringLiteral("Folder1"), QStringLiteral("/no/longer/there"));
    CXFileDialog dialog(false, QString(), QStringLiteral("keep.mp3"), QString());
    dialog.setDirectory(start);
    dialog.show();
    QCoreApplication::processEvents();
    dialog.fileNameField()->setText(QStringLiteral("keep.mp3"));
    Q_EMIT dialog.recentFolders()->activated(1);
    EXPECT_EQ(dialog.directory().absolutePath(), start);
    Q_EMIT dialog.recentFolders()->activated(0);
    EXPECT_EQ(dialog.directory().absolutePath(), music);
    EXPECT_EQ(dialog.fileNameField()->text(), QStringLiteral("keep.mp3"));
    dialog.reject();
}

TEST(FileDialog, FilterPairsBecomeNameFilters) {
    EXPECT_EQ(
        nameFiltersFromPairs(QStringLiteral("MP3 files (*.mp3)|*.mp3|Audio|*.wav;*.ogg||")),
        QStringList({QStringLiteral("MP3 files (*.mp3)"), QStringLiteral("Audio (*.wav *.ogg)")}));
    EXPECT_TRUE(nameFiltersFromPairs(QStringLiteral("||")).isEmpty());
}

TEST(FolderBrowser, StartsInTheCurrentDirectoryAndRefusesShortBuffers) {
    uitest::app();
    EXPECT_EQ(folderBrowserStart(QString()), QDir::currentPath());
    EXPECT_EQ(folderBrowserStart(QStringLiteral("/tmp")), QStringLiteral("/tmp"));
    const auto browser = makeFolderBrowser(nullptr, QStringLiteral("Choose"), QString());
    EXPECT_EQ(browser->directory().absolutePath(), QDir::currentPath());
    EXPECT_EQ(browser->fileMode(), QFileDialog::Directory);
    QString out = QStringLiteral("old");
    // Refused before any dialog is shown (a shown dialog would block this test).
    EXPECT_FALSE(browseForFolder(nullptr, QStringLiteral("Choose"), QString(), out, 259));
}
