#include "list_location.h"

#include "file_system.h"
#include "native_path.h"
#include "playlist_model.h"
#include "replacing_file.h"

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mireldo::playlist {

namespace {

QString environmentPath(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? platform::decodePath(QByteArrayView(value)) : QString();
}

// Creates `folder` and any missing parent, each new one with mode 0700.
bool makeFolders(const QString& folder) {
    if (platform::statPath(folder)) {
        return true;
    }
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    if (slash > 0 && !makeFolders(folder.left(slash))) {
        return false;
    }
    return ::mkdir(platform::encodePath(folder).constData(), 0700) == 0 || errno == EEXIST;
}

// Gives `to` the file `from` without ever replacing a file at `to`; across file systems the
// bytes are copied (and synced) before the old name goes.
bool moveWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray source = platform::encodePath(from);
    const QByteArray target = platform::encodePath(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        // No no-replace rename here: a hard link fails on an existing name.
        if (::link(source.constData(), target.constData()) == 0) {
            ::unlink(source.constData());
            return true;
        }
        if (errno != EXDEV && errno != EPERM) {
            return false;
        }
    } else if (errno != EXDEV) {
        return false;
    }
    // Another file system: copy beside the target, then link it in under the target's name.
    const platform::UniqueFd in(::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!in.valid() || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    const QString staging = to + QStringLiteral(".moving");
    {
        ReplacingFile copy(staging);
        if (!copy.open()) {
            return false;
        }
        char buffer[1 << 14];
        for (;;) {
            const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 || (n > 0 && !copy.write(buffer, static_cast<std::size_t>(n)))) {
                return false;
            }
            if (n == 0) {
                break;
            }
        }
        if (!copy.commit()) {
            return false;
        }
    }
    const QByteArray staged = platform::encodePath(staging);
    const bool linked = ::link(staged.constData(), target.constData()) == 0;
    ::unlink(staged.constData());
    if (linked) {
        ::unlink(source.constData());
    }
    return linked;
}

} // namespace

QString userDataHome() {
    const QString xdg = environmentPath("XDG_DATA_HOME");
    if (xdg.startsWith(QLatin1Char('/'))) {
        return xdg;
    }
    QString home = environmentPath("HOME");
    if (!home.startsWith(QLatin1Char('/'))) {
        home = QDir::homePath();
    }
    return home + QStringLiteral("/.local/share");
}

QString listFileFolder() {
    return userDataHome() + QStringLiteral("/Tarnwick/Mireldo");
}

QString defaultListFilePath(bool prepare) {
    const QString folder = listFileFolder();
    const QString path = folder + QLatin1Char('/') + QLatin1String(kListFileName);
    const QString exeFolder = platform::executableFolder();
    const QString old = exeFolder.isEmpty()
                            ? QString()
                            : exeFolder + QLatin1Char('/') + QLatin1String(kListFileName);
    const bool oldExists = !old.isEmpty() && old != path && platform::statPath(old).has_value();
    if (!prepare) {
        return !platform::statPath(path) && oldExists ? old : path;
    }
    makeFolders(folder);
    if (oldExists && !platform::statPath(path)) {
        moveWithoutReplacing(old, path);
    }
    return path;
}

} // namespace mireldo::playlist
