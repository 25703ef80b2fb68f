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

// Sets (or, with nullptr, removes) an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (had_) {
            ::setenv(name_.c_str(), old_.c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

  private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

TEST(TemporaryFolderTest, LivesInTheStateHomeOnDiskNotInTheSystemTemporaryFolder) {
    testsupport::TempDir dir;
    const ScopedEnv tmp("TMPDIR", (dir.path() / "tmp").c_str());
    const ScopedEnv over("MIRELDO_TEMP_DIR", nullptr);
    fs::create_directories(dir.path() / "tmp");
    {
        const ScopedEnv state("XDG_STATE_HOME", (dir.path() / "state").c_str());
        Result<QString> folder = temporaryFolder();
        ASSERT_TRUE(folder.ok()) << folder.error().message.toStdString();
        EXPECT_EQ(folder.value(), q(dir.path() / "state/Tarnwick/Mireldo/recording"));
        EXPECT_EQ(modeOf(folder.value().toStdString()), 0700u);
        // The folders made on the way are private too.
        EXPECT_EQ(modeOf((dir.path() / "state").string()), 0700u);
        EXPECT_EQ(modeOf((dir.path() / "state/Tarnwick/Mireldo").string()), 0700u);
        // A second call finds the same folder.
        EXPECT_EQ(temporaryFolder().value(), folder.value());
    }
    {
        // Without the variable (or with a relative one, which the convention ignores): the
        // home folder's .local/state.
        const ScopedEnv state("XDG_STATE_HOME", "relative/state");
        const ScopedEnv home("HOME", (dir.path() / "home").c_str());
        Result<QString> folder = temporaryFolder();
        ASSERT_TRUE(folder.ok()) << folder.error().message.toStdString();
        EXPECT_EQ(folder.value(), q(dir.path() / "home/.local/state/Tarnwick/Mireldo/recording"));
    }
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
    EXPECT_TRUE(legacyTemporaryFolder().isEmpty()); // looked for, never made
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
}

TEST(TemporaryFolderTest, TheVariableOverridesItUnderTheSameRules) {
    testsupport::TempDir dir;
    const ScopedEnv state("XDG_STATE_HOME", (dir.path() / "state").c_str());
    {
        const ScopedEnv over("MIRELDO_TEMP_DIR", (dir.path() / "a/b/rec").c_str());
        Result<QString> folder = temporaryFolder();
        ASSERT_TRUE(folder.ok()) << folder.error().message.toStdString();
        EXPECT_EQ(folder.value(), q(dir.path() / "a/b/rec"));
        EXPECT_EQ(modeOf(folder.value().toStdString()), 0700u);
    }
    fs::create_directories(dir.path() / "open");
    ASSERT_EQ(::chmod((dir.path() / "open").c_str(), 0755), 0);
    const ScopedEnv over("MIRELDO_TEMP_DIR", (dir.path() / "open").c_str());
    Result<QString> refused = temporaryFolder();
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, EACCES);
    EXPECT_FALSE(fs::exists(dir.path() / "state")); // the override is the only folder used
}

TEST(TemporaryFolderTest, TheOldFolderIsFoundOnlyWhenItIsPrivateAndOurs) {
    testsupport::TempDir dir;
    const ScopedEnv tmp("TMPDIR", dir.path().c_str());
    EXPECT_EQ(temporaryFolderName(), QStringLiteral("mireldo-%1").arg(::geteuid()));
    const fs::path old = dir.path() / temporaryFolderName().toStdString();
    EXPECT_TRUE(legacyTemporaryFolder().isEmpty());
    EXPECT_FALSE(fs::exists(old));
    fs::create_directory(old);
    ASSERT_EQ(::chmod(old.c_str(), 0700), 0);
    EXPECT_EQ(QDir(legacyTemporaryFolder()).canonicalPath(), QDir(q(old)).canonicalPath());
    ASSERT_EQ(::chmod(old.c_str(), 0755), 0);
    EXPECT_TRUE(legacyTemporaryFolder().isEmpty());
    fs::remove(old);
    fs::create_directory_symlink(dir.path(), old);
    EXPECT_TRUE(legacyTemporaryFolder().isEmpty());
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
