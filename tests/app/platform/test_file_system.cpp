#include "core_app.h"

#include "file_system.h"

#include "test_support.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

using namespace mireldo::platform;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TEST(FileSystemTest, FreeSpaceOfAWritableFolderIsPositiveAndMissingFolderIsAnError) {
    testsupport::TempDir dir;
    Result<std::uint64_t> space = freeSpace(q(dir.path().string()));
    ASSERT_TRUE(space.ok()) << space.error().message.toStdString();
    EXPECT_GT(space.value(), 0u);

    Result<std::uint64_t> missing = freeSpace(q(dir.file("no-such-folder")));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_FALSE(freeSpace(QString()).ok());
}

TEST(FileSystemTest, ExecutableFolderHoldsThisTestProgram) {
    const QString fromProc = executableFolderFromProc();
    ASSERT_FALSE(fromProc.isEmpty());
    EXPECT_TRUE(QFileInfo(fromProc + QStringLiteral("/test_platform")).isExecutable())
        << fromProc.toStdString();
    EXPECT_FALSE(fromProc.endsWith(u'/'));

    platformtest::coreApp();
    EXPECT_EQ(QFileInfo(executableFolder()).canonicalFilePath(),
              QFileInfo(fromProc).canonicalFilePath());
}

TEST(FileSystemTest, ExistenceChecksTellFilesFromFolders) {
    testsupport::TempDir dir;
    const std::string file = dir.file("a.wav");
    testsupport::writeFile(file, {1, 2, 3});
    ASSERT_EQ(::symlink(file.c_str(), dir.file("link.wav").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("gone").c_str(), dir.file("dangling").c_str()), 0);

    EXPECT_TRUE(fileExists(q(file)));
    EXPECT_FALSE(folderExists(q(file)));
    EXPECT_TRUE(folderExists(q(dir.path().string())));
    EXPECT_FALSE(fileExists(q(dir.path().string())));
    EXPECT_TRUE(fileExists(q(dir.file("link.wav"))));
    EXPECT_FALSE(fileExists(q(dir.file("dangling"))));
    EXPECT_FALSE(fileExists(q(dir.file("missing"))));
    EXPECT_FALSE(folderExists(q(dir.file("missing"))));
    EXPECT_FALSE(fileExists(QString()));
    EXPECT_FALSE(folderExists(QString()));
    EXPECT_TRUE(fileExists(q(dir.path().string()) + QString::fromUtf8("/a.wav")));
    EXPECT_FALSE(fileExists(q(dir.path().string()) + QString::fromUtf8("/A.WAV")))
        << "names are case-sensitive";
}
