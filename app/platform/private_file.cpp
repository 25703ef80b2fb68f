#include "private_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mireldo::platform {

namespace {

PlatformError errorFor(int code, const QString& path, const char* what) {
    return {code, QStringLiteral("%1: %2").arg(path, QString::fromUtf8(what))};
}

} // namespace

Result<UniqueFd> createPrivateFile(const QString& path, ExistingFile existing) {
    if (path.isEmpty()) {
        return errorFor(EINVAL, path, "empty path");
    }
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK keeps a FIFO planted at the path from blocking the open; it is refused below
    // and has no effect on regular files.
    int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    // Truncation waits until the file has been checked: a file that is not ours stays intact.
    if (existing == ExistingFile::Fail) {
        flags |= O_EXCL;
    }
    int raw = -1;
    do {
        raw = ::open(native.constData(), flags, 0600);
    } while (raw < 0 && errno == EINTR);
    if (raw < 0) {
        const int err = errno;
        if (err == ELOOP) {
            return errorFor(ELOOP, path, "is a symbolic link");
        }
        return errorFor(err, path, std::strerror(err));
    }
    UniqueFd fd(raw);

    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return errorFor(errno, path, std::strerror(errno));
    }
    if (!S_ISREG(st.st_mode)) {
        return errorFor(EINVAL, path, "is not a regular file");
    }
    if (st.st_uid != ::geteuid()) {
        return errorFor(EPERM, path, "belongs to another user");
    }
    if ((st.st_mode & 07777) != 0600 && ::fchmod(fd.get(), 0600) != 0) {
        return errorFor(errno, path, std::strerror(errno));
    }
    const int fileFlags = ::fcntl(fd.get(), F_GETFL);
    if (fileFlags < 0 || ::fcntl(fd.get(), F_SETFL, fileFlags & ~O_NONBLOCK) != 0) {
        return errorFor(errno, path, std::strerror(errno));
    }
    if (existing == ExistingFile::Truncate && st.st_size != 0 && ::ftruncate(fd.get(), 0) != 0) {
        return errorFor(errno, path, std::strerror(errno));
    }
    return Result<UniqueFd>(std::move(fd));
}

} // namespace mireldo::platform
