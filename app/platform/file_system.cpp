#include "file_system.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>

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

} // namespace mireldo::platform
