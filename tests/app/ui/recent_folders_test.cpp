// The recent-folders history and what it stores in section "FolderHistory".

#include "recent_folders.h"

#include "test_support.h"

#include <gtest/gtest.h>

using namespace mireldo::ui;
using mireldo::platform::ProfileStore;

namespace {

const QString kSection = QStringLiteral("FolderHistory");

QString folderKey(int i) {
    return QStringLiteral("Folder%1").arg(i);
}

struct Store {
    testsupport::TempDir dir;
    ProfileStore store{QString::fromStdString(dir.file("Mireldo.conf"))};
};

} // namespace

TEST(RecentFolders, OneEntryPerFolderNewestFirstAndFoldersDifferingInCaseAreTwo) {
    RecentFolderList list(folderHistorySettings());
    list.add(QStringLiteral("/home/u/Music"));
    list.add(QStringLiteral("/home/u/Talks"));
    list.add(QStringLiteral("/home/u/Music"));
    EXPECT_EQ(list.entries(),
              QStringList({QStringLiteral("/home/u/Music"), QStringLiteral("/home/u/Talks")}));
    EXPECT_EQ(list.selected(), 0);
    // /home/u/music is another folder on this system.
    list.add(QStringLiteral("/home/u/music"));
    EXPECT_EQ(list.entries(),
              QStringList({QStringLiteral("/home/u/music"), QStringLiteral("/home/u/Music"),
                           QStringLiteral("/home/u/Talks")}));
    list.add(QStringLiteral("   "));
    list.add(QStringLiteral("  /tmp/x  "));
    EXPECT_EQ(list.entries().first(), QStringLiteral("/tmp/x"));
    EXPECT_EQ(list.entries().size(), 4);
}

TEST(RecentFolders, AtMost100AndTheOldestIsDropped) {
    RecentFolderList list(folderHistorySettings());
    for (int i = 0; i < 100; ++i) {
        list.add(QStringLiteral("/f/%1").arg(i));
    }
    ASSERT_EQ(list.entries().size(), 100);
    list.add(QStringLiteral("/new"));
    EXPECT_EQ(list.entries().size(), 100);
    EXPECT_EQ(list.entries().first(), QStringLiteral("/new"));
    EXPECT_EQ(list.entries().last(), QStringLiteral("/f/1"));
}

TEST(RecentFolders, WithoutSectionTextsAreAppendedUnchanged) {
    RecentFolderList list;
    list.add(QStringLiteral(" a "));
    list.add(QStringLiteral("A"));
    list.add(QString());
    EXPECT_EQ(list.entries(), QStringList({QStringLiteral(" a "), QStringLiteral("A"), QString()}));
    Store s;
    EXPECT_TRUE(list.save(s.store, QStringLiteral("a")));
    EXPECT_TRUE(s.store.keys(kSection).isEmpty());
}

TEST(RecentFolders, SaveWritesNumberedValuesAndTheLastSelectionUnderThePrefix) {
    Store s;
    RecentFolderList list(folderHistorySettings());
    list.add(QStringLiteral("/b"));
    list.add(QStringLiteral("/a"));
    ASSERT_TRUE(list.save(s.store, QStringLiteral("/a")));
    EXPECT_EQ(s.store.getString(kSection, folderKey(0)), QStringLiteral("/a"));
    EXPECT_EQ(s.store.getString(kSection, folderKey(1)), QStringLiteral("/b"));
    EXPECT_FALSE(s.store.contains(kSection, folderKey(2)));
    EXPECT_EQ(s.store.getString(kSection, QStringLiteral("Folder")), QStringLiteral("/a"));

    RecentFolderList again(folderHistorySettings());
    EXPECT_EQ(again.load(s.store), QStringLiteral("/a"));
    EXPECT_EQ(again.entries(), list.entries());
    EXPECT_EQ(again.selected(), 0);
}

TEST(RecentFolders, StaleValuesBeyondTheListAreDeletedOnSave) {
    Store s;
    for (int i = 0; i < 120; ++i) {
        s.store.setString(kSection, folderKey(i), QStringLiteral("/old/%1").arg(i));
    }
    RecentFolderList list(folderHistorySettings());
    list.load(s.store);
    ASSERT_EQ(list.entries().size(), 100); // loading stops at the maximum
    list.add(QStringLiteral("/new"));
    ASSERT_TRUE(list.save(s.store, QStringLiteral("/new")));
    EXPECT_EQ(s.store.getString(kSection, folderKey(0)), QStringLiteral("/new"));
    EXPECT_EQ(s.store.getString(kSection, folderKey(99)), QStringLiteral("/old/98"));
    for (int i = 100; i < 120; ++i) {
        EXPECT_FALSE(s.store.contains(kSection, folderKey(i))) << i;
    }
}

TEST(RecentFolders, LoadingStopsAtTheFirstEmptyValueAndMatchesTheSelectionExactly) {
    Store s;
    s.store.setString(kSection, folderKey(0), QStringLiteral("/A"));
    s.store.setString(kSection, folderKey(1), QStringLiteral("/B"));
    s.store.setString(kSection, folderKey(3), QStringLiteral("/after-gap"));
    s.store.setString(kSection, QStringLiteral("Folder"), QStringLiteral("/B"));
    RecentFolderList list(folderHistorySettings());
    EXPECT_EQ(list.load(s.store), QStringLiteral("/B"));
    EXPECT_EQ(list.entries(), QStringList({QStringLiteral("/A"), QStringLiteral("/B")}));
    EXPECT_EQ(list.selected(), 1);
    // A last selection spelled in another case is another folder: nothing is selected for it.
    s.store.setString(kSection, QStringLiteral("Folder"), QStringLiteral("/b"));
    RecentFolderList other(folderHistorySettings());
    EXPECT_EQ(other.load(s.store), QStringLiteral("/b"));
    EXPECT_EQ(other.selected(), -1);
}

TEST(RecentFolders, MissingFoldersStayListedWithoutTheExistenceCheck) {
    Store s;
    s.store.setString(kSection, folderKey(0), QStringLiteral("/no/such/folder/here"));
    s.store.setString(kSection, folderKey(1), QString::fromStdString(s.dir.path().string()));
    RecentFolderList plain(folderHistorySettings());
    plain.load(s.store);
    EXPECT_EQ(plain.entries().size(), 2);
    RecentListSettings checked = folderHistorySettings();
    checked.checkExistence = true;
    RecentFolderList filtered(checked);
    filtered.load(s.store);
    EXPECT_EQ(filtered.entries(), QStringList({QString::fromStdString(s.dir.path().string())}));
}

TEST(RecentFolders, LastSelectionKeyFallsBackToThePrefixThenLast) {
    RecentListSettings s;
    s.section = kSection;
    EXPECT_EQ(RecentFolderList(s).lastSelectionKey(), QStringLiteral("Last"));
    s.keyPrefix = QStringLiteral("Dir");
    EXPECT_EQ(RecentFolderList(s).lastSelectionKey(), QStringLiteral("Dir"));
    s.lastSelectionKey = QStringLiteral("Chosen");
    EXPECT_EQ(RecentFolderList(s).lastSelectionKey(), QStringLiteral("Chosen"));
}

TEST(RecentFolders, FolderOfAPath) {
    EXPECT_EQ(folderOfPath(QStringLiteral("/home/u/a.mp3")), QStringLiteral("/home/u"));
    EXPECT_EQ(folderOfPath(QStringLiteral("/a.mp3")), QStringLiteral("/"));
    EXPECT_EQ(folderOfPath(QStringLiteral("a.mp3")), QStringLiteral("a.mp3"));
}
