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

// Opens `path` as a folder without following a link in its place.
UniqueFd openFolder(const QString& path) {
    return UniqueFd(::open(QFile::encodeName(path).constData(),
                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Makes every missing folder of `path` with mode 0700 (as the XDG base-directory rules
// ask of the state home); folders that exist keep their rights.
bool makeFolders(const QString& path) {
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    QString at;
    for (const QString& part : parts) {
        at += u'/' + part;
        if (::mkdir(QFile::encodeName(at).constData(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

} // namespace

QString temporaryFolderName() {
    return QStringLiteral("mireldo-%1").arg(static_cast<qulonglong>(::geteuid()));
}

QString stateHomeFolder() {
    const QString state = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    // A relative XDG_STATE_HOME is to be ignored.
    if (state.startsWith(u'/')) {
        return QDir::cleanPath(state);
    }
    return QDir::cleanPath(QDir::homePath() + QStringLiteral("/.local/state"));
}

Result<QString> temporaryFolder() {
    QString path = QFile::decodeName(qgetenv("MIRELDO_TEMP_DIR"));
    if (path.isEmpty()) {
        path = stateHomeFolder() + QStringLiteral("/Tarnwick/Mireldo/recording");
    }
    path = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString parent = slash > 0 ? path.left(slash) : QStringLiteral("/");
    const QString name = path.mid(slash + 1);
    if (!makeFolders(parent)) {
        const int err = errno;
        return errorFor(err, parent, std::strerror(err));
    }
    return privateFolderIn(parent, name);
}

QString legacyTemporaryFolder() {
    QString path = QDir::tempPath();
    if (!path.endsWith(u'/')) {
        path += u'/';
    }
    path += temporaryFolderName();
    const UniqueFd fd = openFolder(path);
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid() ||
        (st.st_mode & 077) != 0) {
        return {};
    }
    return path;
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
    const UniqueFd fd = openFolder(path);
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
