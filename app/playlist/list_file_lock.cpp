#include "list_file_lock.h"

#include "native_path.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace mireldo::playlist {

namespace {

/// Pause between attempts while another writer holds the lock, in milliseconds.
constexpr int kRetryMs = 20;

} // namespace

ListFileLock::Result ListFileLock::acquire(const QString& path, int waitMs) {
    release();
    const QByteArray name = platform::encodePath(path);
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        // Read-only suffices for flock; O_NONBLOCK keeps a FIFO under the name from blocking.
        platform::UniqueFd fd(
            ::open(name.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666));
        if (!fd.valid()) {
            error_ = platform::systemError(errno);
            return Result::Failed;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            // The file may have been replaced between the open and the lock: the lock counts
            // only when it is on the file that now has the name.
            struct stat held {};
            struct stat named {};
            if (::fstat(fd.get(), &held) == 0 && ::stat(name.constData(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                fd_ = std::move(fd);
                return Result::Locked;
            }
            continue;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error_ = platform::systemError(errno);
            return Result::Failed;
        }
        if (deadline.hasExpired()) {
            return Result::Busy;
        }
        QThread::msleep(kRetryMs);
    }
}

bool ListFileLock::lockNew(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

void ListFileLock::moveTo(platform::UniqueFd fd) {
    fd_ = std::move(fd);
}

} // namespace mireldo::playlist
