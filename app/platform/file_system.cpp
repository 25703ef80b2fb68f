#include "file_system.h"

#include "mireldo_version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace mireldo::platform {

Result<std::uint64_t> freeSpace(const QString& folder) {
    struct statvfs info {};
    if (folder.isEmpty()) {
        return PlatformError{ENOENT, QStringLiteral("empty folder name")};
    }
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0) {
        const int err = errno;
        return PlatformError{
            err, QStringLiteral("%1: %2").arg(folder, QString::fromUtf8(std::strerror(err)))};
    }
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

QString executableFolder() {
    if (QCoreApplication::instance() != nullptr) {
        const QString folder = QCoreApplication::applicationDirPath();
        if (!folder.isEmpty()) {
            return folder;
        }
    }
    return executableFolderFromProc();
}

QString executableFolderFromProc() {
    const QString target = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (target.isEmpty()) {
        return {};
    }
    return QFileInfo(target).absolutePath();
}

QStringList pluginFolders() {
    return pluginFoldersFor(executableFolder());
}

QStringList pluginFoldersFor(const QString& executableFolder) {
    if (executableFolder.isEmpty()) {
        return {};
    }
    QStringList folders;
    const QString installed = QDir::cleanPath(executableFolder + QLatin1Char('/') +
                                              QLatin1String(MIRELDO_PLUGIN_DIR_FROM_BIN));
    if (folderExists(installed)) {
        folders.append(installed);
    }
    folders.append(executableFolder);
    return folders;
}

namespace {

bool statPath(const QString& path, struct stat& st) {
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

bool fileExists(const QString& path) {
    struct stat st {};
    return statPath(path, st) && !S_ISDIR(st.st_mode);
}

bool folderExists(const QString& path) {
    struct stat st {};
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

// ---------------------------------------------------------------------------------------

namespace {

PlatformError errorFor(int code, const QString& path) {
    return {code, QStringLiteral("%1: %2").arg(path, QString::fromUtf8(std::strerror(code)))};
}

// Renames `from` to `to` unless `to` exists (EEXIST). File systems without an exclusive
// rename get a hard link, which fails the same way, and the old name is then removed.
bool renameNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    if (::link(from.constData(), to.constData()) != 0) {
        return false;
    }
    ::unlink(from.constData());
    return true;
}

} // namespace

PendingFile::PendingFile(PendingFile&& other) noexcept
    : fd_(std::move(other.fd_)), temporary_(std::exchange(other.temporary_, QString())) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
    if (this != &other) {
        discard();
        fd_ = std::move(other.fd_);
        temporary_ = std::exchange(other.temporary_, QString());
    }
    return *this;
}

Result<PendingFile> PendingFile::create(const QString& destination) {
    const qsizetype slash = destination.lastIndexOf(u'/');
    const QString folder = slash >= 0 ? destination.left(slash + 1) : QString();
    const QString name = destination.mid(slash + 1);
    if (name.isEmpty()) {
        return errorFor(EISDIR, destination);
    }
    std::random_device seed;
    std::mt19937_64 random((std::uint64_t{seed()} << 32) ^ seed() ^
                           static_cast<std::uint64_t>(::getpid()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path =
            folder + u'.' + name +
            QStringLiteral(".%1.part").arg(random() & 0xFFFFFFFFFFull, 10, 36, QLatin1Char('0'));
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            PendingFile file;
            file.fd_.reset(fd);
            file.temporary_ = path;
            return file;
        }
        if (errno != EEXIST) {
            return errorFor(errno, path);
        }
    }
    return errorFor(EEXIST, destination);
}

bool PendingFile::restart() {
    return fd_.valid() && ::ftruncate(fd_.get(), 0) == 0 && ::lseek(fd_.get(), 0, SEEK_SET) == 0;
}

Result<QString> PendingFile::commit(const QString& target, bool replace) {
    if (temporary_.isEmpty()) {
        return errorFor(EBADF, target);
    }
    if (fd_.valid()) {
        // On disk before it gets the real name: a crash must not leave an empty file there.
        const bool synced = ::fsync(fd_.get()) == 0;
        const int syncError = errno;
        const bool closed = ::close(fd_.release()) == 0;
        if (!synced || !closed) {
            const int err = synced ? errno : syncError;
            discard();
            return errorFor(err, temporary_.isEmpty() ? target : temporary_);
        }
    }
    const QByteArray from = QFile::encodeName(temporary_);
    const QByteArray to = QFile::encodeName(target);
    const bool moved =
        replace ? ::rename(from.constData(), to.constData()) == 0 : renameNoReplace(from, to);
    if (!moved) {
        const int err = errno;
        if (err != EEXIST || replace) {
            discard();
        }
        return errorFor(err, target);
    }
    temporary_.clear();
    return target;
}

void PendingFile::discard() {
    fd_.reset();
    if (!temporary_.isEmpty()) {
        ::unlink(QFile::encodeName(temporary_).constData());
        temporary_.clear();
    }
}

} // namespace mireldo::platform
