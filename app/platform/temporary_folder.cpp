#include "temporary_folder.h"

#include "unique_fd.h"

#include <QDir>
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

QString temporaryFolderName() {
    return QStringLiteral("mireldo-%1").arg(static_cast<qulonglong>(::geteuid()));
}

Result<QString> temporaryFolder() {
    return privateFolderIn(QDir::tempPath(), temporaryFolderName());
}

Result<QString> privateFolderIn(const QString& parent, const QString& name) {
    if (parent.isEmpty() || name.isEmpty() || name.contains(u'/')) {
        return errorFor(EINVAL, parent + u'/' + name, "not a folder name");
    }
    QString path = parent;
    if (!path.endsWith(u'/')) {
        path += u'/';
    }
    path += name;
    const QByteArray native = QFile::encodeName(path);

    bool created = false;
    if (::mkdir(native.constData(), 0700) == 0) {
        created = true;
    } else if (errno != EEXIST) {
        return errorFor(errno, path, std::strerror(errno));
    }

    // Check what is there through a descriptor of the folder itself: O_NOFOLLOW refuses a
    // link in its place, and nothing can swap the folder between the check and the chmod.
    const UniqueFd fd(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        const int err = errno;
        if (err == ELOOP || err == ENOTDIR) {
            return errorFor(ENOTDIR, path, "exists and is not a folder (or is a link)");
        }
        return errorFor(err, path, std::strerror(err));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return errorFor(errno, path, std::strerror(errno));
    }
    if (st.st_uid != ::geteuid()) {
        return errorFor(EPERM, path, "belongs to another user");
    }
    const mode_t rights = st.st_mode & 07777;
    // A folder we just made carries only the umask's restriction, never wider rights; one
    // that was already there must not be open to anybody else.
    if (!created && (rights & 077) != 0) {
        return errorFor(EACCES, path, "is open to other users");
    }
    if (rights != 0700 && ::fchmod(fd.get(), 0700) != 0) {
        return errorFor(errno, path, std::strerror(errno));
    }
    return path;
}

} // namespace mireldo::platform
