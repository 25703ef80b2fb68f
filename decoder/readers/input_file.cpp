#include "input_file.h"

#include "fd_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sondrel {

int32_t InputFile::codeFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
        return 1;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return 2;
    default:
        return 3;
    }
}

int32_t InputFile::open(const char* path) {
    close();
    if (path == nullptr || *path == '\0') {
        return 1;
    }
    // Opening a FIFO for reading waits for a writer unless the open is non-blocking; the flag is
    // cleared again once the file is known to be a regular one.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return codeFromErrno(errno);
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return codeFromErrno(error);
    }
    if (S_ISDIR(st.st_mode)) {
        // A folder is not a file; opening one to read is refused as access denied.
        ::close(fd);
        return 2;
    }
    if (!S_ISREG(st.st_mode)) {
        // A FIFO, socket or device has no length and may never end: it cannot be opened.
        ::close(fd);
        return 3;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return 3;
    }
    fd_ = fd;
    size_ = static_cast<uint64_t>(st.st_size);
    position_ = 0;
    return 0;
}

void InputFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    size_ = 0;
    position_ = 0;
}

bool InputFile::seek(uint64_t offset) {
    if (fd_ < 0 || offset > static_cast<uint64_t>(INT64_MAX)) {
        return false;
    }
    position_ = offset;
    return true;
}

size_t InputFile::read(void* out, size_t count) {
    const size_t got = readAt(position_, out, count);
    position_ += got;
    return got;
}

size_t InputFile::readAt(uint64_t offset, void* out, size_t count) const {
    if (fd_ < 0 || count == 0) {
        return 0;
    }
    const ssize_t got = mireldo::common::preadAll(fd_, out, count, offset);
    return got > 0 ? static_cast<size_t>(got) : 0;
}

} // namespace sondrel
