#include "private_file.h"
#include "temporary_folder.h"

#include "test_support.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace mireldo::platform;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

// Sets the process umask for one scope.
class ScopedUmask {
  public:
    explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(old_); }

  private:
    mode_t old_;
};

std::string readAll(int fd) {
    std::string text;
    char buffer[256];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

std::string fileText(const std::string& path) {
    const auto bytes = testsupport::readFile(path);
    return {bytes.begin(), bytes.end()};
}

void writeText(const std::string& path, const std::string& text) {
    testsupport::writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

} // namespace

TEST(PrivateFolderTest, CreatesTheFolderWithMode0700WhateverTheUmask) {
    testsupport::TempDir dir;
    for (mode_t mask : {mode_t{0}, mode_t{022}, mode_t{0277}}) {
        const std::string name = "private-" + std::to_string(mask);
        Result<QString> folder = [&] {
            ScopedUmask umask(mask);
            return privateFolderIn(q(dir.path()), QString::fromStdString(name));
        }();
        ASSERT_TRUE(folder.ok()) << folder.error().message.toStdString();
        EXPECT_EQ(folder.value(), q(dir.path() / name));
        EXPECT_EQ(modeOf(folder.value().toStdString()), 0700u) << "umask " << mask;
    }
}

TEST(PrivateFolderTest, ReusesOurFolderAndRestoresMissingOwnerRights) {
    testsupport::TempDir dir;
    const std::string path = dir.file("mine");
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    writeText(path + "/keep", "data");
    ASSERT_EQ(::chmod(path.c_str(), 0500), 0);

    Result<QString> folder = privateFolderIn(q(dir.path()), QStringLiteral("mine"));
    ASSERT_TRUE(folder.ok()) << folder.error().message.toStdString();
    EXPECT_EQ(modeOf(path), 0700u);
    EXPECT_EQ(fileText(path + "/keep"), "data");
    // A second call on the now-correct folder changes nothing.
    EXPECT_TRUE(privateFolderIn(q(dir.path()), QStringLiteral("mine")).ok());
}

TEST(PrivateFolderTest, RefusesAFolderOpenToOthersAndLeavesItAlone) {
    testsupport::TempDir dir;
    for (mode_t rights : {mode_t{0755}, mode_t{0701}, mode_t{0770}, mode_t{01777}}) {
        const std::string name = "open-" + std::to_string(rights);
        const std::string path = dir.file(name);
        ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(path.c_str(), rights), 0);
        Result<QString> folder = privateFolderIn(q(dir.path()), QString::fromStdString(name));
        ASSERT_FALSE(folder.ok()) << "rights " << std::oct << rights;
        EXPECT_EQ(folder.error().code, EACCES);
        EXPECT_TRUE(folder.error().message.contains(QString::fromStdString(path)));
        EXPECT_EQ(modeOf(path), rights);
    }
}

TEST(PrivateFolderTest, RefusesALinkOrAFileInItsPlace) {
    testsupport::TempDir dir;
    const std::string target = dir.file("real");
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0); // even a link to a perfect folder of ours
    ASSERT_EQ(::symlink(target.c_str(), dir.file("link").c_str()), 0);
    Result<QString> viaLink = privateFolderIn(q(dir.path()), QStringLiteral("link"));
    ASSERT_FALSE(viaLink.ok());
    EXPECT_EQ(viaLink.error().code, ENOTDIR);

    ASSERT_EQ(::symlink("/nonexistent-target", dir.file("dangling").c_str()), 0);
    EXPECT_FALSE(privateFolderIn(q(dir.path()), QStringLiteral("dangling")).ok());

    writeText(dir.file("plain"), "x");
    Result<QString> file = privateFolderIn(q(dir.path()), QStringLiteral("plain"));
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(file.error().code, ENOTDIR);
}

TEST(PrivateFolderTest, RefusesAFolderOfAnotherUser) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a folder to another user";
    }
    testsupport::TempDir dir;
    const std::string path = dir.file("theirs");
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    Result<QString> folder = privateFolderIn(q(dir.path()), QStringLiteral("theirs"));
    ASSERT_FALSE(folder.ok());
    EXPECT_EQ(folder.error().code, EPERM);
}

TEST(PrivateFolderTest, ConcurrentCreatorsAllSucceed) {
    testsupport::TempDir dir;
    for (int round = 0; round < 20; ++round) {
        const QString name = QStringLiteral("race-%1").arg(round);
        bool ok[4] = {};
        std::thread threads[4];
        for (int i = 0; i < 4; ++i) {
            threads[i] = std::thread([&, i] { ok[i] = privateFolderIn(q(dir.path()), name).ok(); });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        for (bool b : ok) {
            EXPECT_TRUE(b) << "round " << round;
        }
    }
}

TEST(TemporaryFolderTest, IsMireldoUidInsideTheSystemTemporaryFolder) {
    testsupport::TempDir dir;
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string saved = oldTmp != nullptr ? oldTmp : "";
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    Result<QString> folder = temporaryFolder();
    if (oldTmp != nullptr) {
        ::setenv("TMPDIR", saved.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }

    ASSERT_TRUE(folder.ok()) << folder.error().message.toStdString();
    EXPECT_EQ(temporaryFolderName(), QStringLiteral("mireldo-%1").arg(::geteuid()));
    EXPECT_EQ(QDir(folder.value()).canonicalPath(),
              QDir(q(dir.path() / temporaryFolderName().toStdString())).canonicalPath());
    EXPECT_EQ(modeOf(folder.value().toStdString()), 0700u);
}

TEST(PrivateFileTest, CreatesA0600FileOpenForReadingAndWriting) {
    testsupport::TempDir dir;
    ScopedUmask umask(0); // nothing but our own mode may decide the rights
    const std::string path = dir.file("mireldo_temp_1.wav");
    Result<UniqueFd> fd = createPrivateFile(q(path), ExistingFile::Fail);
    ASSERT_TRUE(fd.ok()) << fd.error().message.toStdString();
    EXPECT_EQ(modeOf(path), 0600u);
    ASSERT_EQ(::write(fd.value().get(), "RIFF", 4), 4);
    EXPECT_EQ(readAll(fd.value().get()), "RIFF");
    EXPECT_NE(::fcntl(fd.value().get(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(::fcntl(fd.value().get(), F_GETFL) & O_NONBLOCK, 0);
}

TEST(PrivateFileTest, ExistingFileIsRefusedOrTruncatedAsAsked) {
    testsupport::TempDir dir;
    const std::string path = dir.file("take.mp3");
    writeText(path, "old contents");
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);

    Result<UniqueFd> exclusive = createPrivateFile(q(path), ExistingFile::Fail);
    ASSERT_FALSE(exclusive.ok());
    EXPECT_EQ(exclusive.error().code, EEXIST);
    EXPECT_EQ(fileText(path), "old contents");
    EXPECT_EQ(modeOf(path), 0644u);

    Result<UniqueFd> truncated = createPrivateFile(q(path), ExistingFile::Truncate);
    ASSERT_TRUE(truncated.ok()) << truncated.error().message.toStdString();
    EXPECT_EQ(fileText(path), "");
    EXPECT_EQ(modeOf(path), 0600u) << "wider rights of a reused file are narrowed";
}

TEST(PrivateFileTest, NeverFollowsOrTruncatesThroughALink) {
    testsupport::TempDir dir;
    const std::string victim = dir.file("victim");
    writeText(victim, "precious");
    const std::string link = dir.file("mireldo_temp_2.wav");
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    for (ExistingFile mode : {ExistingFile::Fail, ExistingFile::Truncate}) {
        Result<UniqueFd> fd = createPrivateFile(q(link), mode);
        ASSERT_FALSE(fd.ok());
        EXPECT_EQ(fd.error().code, mode == ExistingFile::Truncate ? ELOOP : EEXIST);
    }
    EXPECT_EQ(fileText(victim), "precious");

    // A dangling link must not create its target either.
    const std::string planted = dir.file("planted");
    ASSERT_EQ(::symlink(dir.file("would-be-created").c_str(), planted.c_str()), 0);
    EXPECT_FALSE(createPrivateFile(q(planted), ExistingFile::Truncate).ok());
    EXPECT_FALSE(fs::exists(dir.path() / "would-be-created"));
}

TEST(PrivateFileTest, RefusesFoldersFifosAndOtherUsersFiles) {
    testsupport::TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0700), 0);
    EXPECT_FALSE(createPrivateFile(q(dir.path() / "folder"), ExistingFile::Truncate).ok());

    // Opening a FIFO for writing could block for ever; it must be refused at once.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    Result<UniqueFd> fifo = createPrivateFile(q(dir.path() / "fifo"), ExistingFile::Truncate);
    ASSERT_FALSE(fifo.ok());
    EXPECT_EQ(fifo.error().code, EINVAL);

    EXPECT_EQ(createPrivateFile(q(dir.path() / "no" / "file"), ExistingFile::Fail).error().code,
              ENOENT);
    EXPECT_FALSE(createPrivateFile(QString(), ExistingFile::Fail).ok());

    if (::geteuid() == 0) {
        const std::string theirs = dir.file("theirs");
        writeText(theirs, "their data");
        ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNobody), 0);
        Result<UniqueFd> fd = createPrivateFile(q(theirs), ExistingFile::Truncate);
        ASSERT_FALSE(fd.ok());
        EXPECT_EQ(fd.error().code, EPERM);
        EXPECT_EQ(fileText(theirs), "their data") << "a refused file is not truncated";
    }
}
