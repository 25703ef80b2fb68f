#include "replacing_file.h"

#include "native_path.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace mireldo::playlist {

namespace {

/// Names tried for the temporary file before giving up.
constexpr int kNameAttempts = 100;

} // namespace

ReplacingFile::ReplacingFile(QString target) : target_(std::move(target)) {}

ReplacingFile::~ReplacingFile() {
    if (!committed_ && !temporary_.isEmpty()) {
        fd_.reset();
        ::unlink(platform::encodePath(temporary_).constData());
    }
}

bool ReplacingFile::fail(int err) {
    error_ = platform::systemError(err);
    return false;
}

bool ReplacingFile::open() {
    if (target_.isEmpty()) {
        return fail(ENOENT);
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString name =
            QStringLiteral("%1.part-%2-%3").arg(target_).arg(::getpid()).arg(attempt);
        const int fd = ::open(platform::encodePath(name).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            fd_.reset(fd);
            temporary_ = name;
            return true;
        }
        if (errno != EEXIST) {
            return fail(errno);
        }
    }
    return fail(EEXIST);
}

bool ReplacingFile::write(const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_.get(), p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return fail(n < 0 ? errno : ENOSPC);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReplacingFile::commit() {
    if (!fd_.valid() || committed_) {
        return fail(EBADF);
    }
    if (::fsync(fd_.get()) != 0) {
        return fail(errno);
    }
    if (::rename(platform::encodePath(temporary_).constData(),
                 platform::encodePath(target_).constData()) != 0) {
        return fail(errno);
    }
    committed_ = true;
    return true;
}

} // namespace mireldo::playlist
