#include "input_file.h"

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
    file_.reset();
    size_ = 0;
    if (path == nullptr || *path == '\0') {
        return 1;
    }
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
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
    std::FILE* f = fdopen(fd, "rb");
    if (f == nullptr) {
        ::close(fd);
        return 3;
    }
    file_.reset(f);
    size_ = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    return 0;
}

bool InputFile::seek(uint64_t offset) {
    if (!file_ || offset > static_cast<uint64_t>(INT64_MAX)) {
        return false;
    }
    return fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) == 0;
}

uint64_t InputFile::tell() const {
    if (!file_) {
        return 0;
    }
    const off_t at = ftello(file_.get());
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

size_t InputFile::read(void* out, size_t count) {
    if (!file_ || count == 0) {
        return 0;
    }
    return std::fread(out, 1, count, file_.get());
}

} // namespace sondrel
