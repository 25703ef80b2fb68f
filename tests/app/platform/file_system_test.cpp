#include "core_app.h"

#include "file_system.h"
#include "mireldo_version.h"

#include "test_support.h"

#include <QDir>
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

namespace {

std::string readText(const std::string& path) {
    const auto bytes = testsupport::readFile(path);
    return {bytes.begin(), bytes.end()};
}

void writeText(int fd, const std::string& text) {
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

std::size_t entries(const testsupport::TempDir& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++n;
    }
    return n;
}

} // namespace

TEST(PendingFileTest, NothingAppearsUnderTheNameUntilCommitAndAFailureKeepsTheOldFile) {
    testsupport::TempDir dir;
    const std::string target = dir.file("take.wav");
    testsupport::writeFile(target, {'o', 'l', 'd'});
    {
        Result<PendingFile> file = PendingFile::create(q(target));
        ASSERT_TRUE(file.ok()) << file.error().message.toStdString();
        const QString temporary = file.value().temporaryPath();
        EXPECT_TRUE(temporary.startsWith(q(dir.file(".take.wav."))));
        EXPECT_TRUE(temporary.endsWith(QStringLiteral(".part")));
        writeText(file.value().fd(), "half");
        EXPECT_EQ(readText(target), "old");
        // Dropped without commit (a failed save): the old file stays, the temporary goes.
    }
    EXPECT_EQ(readText(target), "old");
    EXPECT_EQ(entries(dir), 1u);

    Result<PendingFile> file = PendingFile::create(q(target));
    ASSERT_TRUE(file.ok());
    writeText(file.value().fd(), "new");
    // Not allowed to replace: the old file stays and the pending file can go elsewhere.
    Result<QString> refused = file.value().commit(q(target), false);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, EEXIST);
    EXPECT_EQ(readText(target), "old");
    Result<QString> placed = file.value().commit(q(dir.file("take (2).wav")), false);
    ASSERT_TRUE(placed.ok()) << placed.error().message.toStdString();
    EXPECT_EQ(readText(dir.file("take (2).wav")), "new");
    EXPECT_EQ(entries(dir), 2u);

    Result<PendingFile> over = PendingFile::create(q(target));
    ASSERT_TRUE(over.ok());
    writeText(over.value().fd(), "replaced");
    ASSERT_TRUE(over.value().commit(q(target), true).ok());
    EXPECT_EQ(readText(target), "replaced");
    EXPECT_EQ(entries(dir), 2u);
}

TEST(PendingFileTest, AMissingFolderFailsWithoutCreatingAnything) {
    testsupport::TempDir dir;
    Result<PendingFile> file = PendingFile::create(q(dir.file("gone/take.mp3")));
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(file.error().code, ENOENT);
    EXPECT_EQ(entries(dir), 0u);
}

TEST(FileSystemTest, PluginsAreLookedForInTheInstalledTreeThenBesideTheProgram) {
    testsupport::TempDir dir;
    const QString prefix = q(dir.path().string());
    const QString bin = prefix + QStringLiteral("/bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    // A build tree: everything beside the program.
    EXPECT_EQ(pluginFoldersFor(bin), QStringList{bin});

    // An installed tree: <libdir>/mireldo first.
    const QString installed =
        QDir::cleanPath(bin + QLatin1Char('/') + QLatin1String(MIRELDO_PLUGIN_DIR_FROM_BIN));
    ASSERT_TRUE(installed.startsWith(prefix + QLatin1Char('/'))) << installed.toStdString();
    ASSERT_TRUE(installed.endsWith(QStringLiteral("/mireldo"))) << installed.toStdString();
    ASSERT_TRUE(QDir().mkpath(installed));
    EXPECT_EQ(pluginFoldersFor(bin), (QStringList{installed, bin}));

    EXPECT_TRUE(pluginFoldersFor(QString()).isEmpty());
}
