#include "mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace sondrel {

bool FileMapping::create(int fd, uint64_t size) {
    close();
    if (fd < 0 || size == 0) {
        return false;
    }
    fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    size_ = fd_ >= 0 ? size : 0;
    return fd_ >= 0;
}

void FileMapping::close() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    size_ = 0;
}

uint32_t FileMapping::granularity() {
    static const uint32_t page = [] {
        const long size = sysconf(_SC_PAGESIZE);
        return size > 0 ? static_cast<uint32_t>(size) : 4096u;
    }();
    return page;
}

bool MappedView::map(const FileMapping& mapping, uint64_t start, size_t length) {
    unmap();
    if (!mapping.isOpen() || length == 0 || start % FileMapping::granularity() != 0 ||
        start > mapping.size() || length > mapping.size() - start) {
        return false;
    }
    void* address =
        mmap(nullptr, length, PROT_READ, MAP_PRIVATE, mapping.fd_, static_cast<off_t>(start));
    if (address == MAP_FAILED) {
        return false;
    }
    address_ = address;
    length_ = length;
    return true;
}

void MappedView::unmap() {
    if (address_ != nullptr) {
        munmap(address_, length_);
    }
    address_ = nullptr;
    length_ = 0;
}

} // namespace sondrel
