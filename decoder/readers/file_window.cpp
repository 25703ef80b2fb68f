#include "file_window.h"

#include "fd_io.h"

#include <algorithm>
#include <cstring>

namespace sondrel {
namespace {

// Bytes read at a time: large enough that a sequential pass costs few calls, small enough that a
// seek reads little it does not need.
constexpr uint32_t kReadSize = 128 * 1024;

} // namespace

int64_t findFrameSync(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4) {
        return -1;
    }
    const uint8_t* start = bytes.data();
    const uint8_t* last = start + bytes.size() - 4; // last candidate position
    const uint8_t* p = start;
    while (p <= last) {
        p = static_cast<const uint8_t*>(std::memchr(p, 0xFF, static_cast<size_t>(last - p) + 1));
        if (p == nullptr) {
            return -1;
        }
        const uint8_t high = p[1] & 0xF0;
        if (high == 0xF0 || high == 0xE0) {
            return p - start;
        }
        ++p;
    }
    return -1;
}

void FileWindow::attach(int fd, uint64_t base, uint32_t length) {
    fd_ = fd;
    base_ = base;
    length_ = length;
    end_ = length;
    bufferStart_ = 0;
    bufferFill_ = 0;
}

void FileWindow::detach() {
    releaseBuffer();
    fd_ = -1;
    length_ = 0;
    end_ = 0;
}

void FileWindow::releaseBuffer() {
    buffer_ = {};
    bufferStart_ = 0;
    bufferFill_ = 0;
}

void FileWindow::fill(uint32_t offset, uint32_t wanted) {
    const uint32_t size = std::min(std::max(wanted, kReadSize), end_ - offset);
    if (buffer_.size() < size) {
        buffer_.resize(std::max<size_t>(size, kReadSize));
    }
    bufferStart_ = offset;
    bufferFill_ = 0;
    if (fd_ < 0 || size == 0) {
        return;
    }
    const ssize_t got = mireldo::common::preadAll(fd_, buffer_.data(), size, base_ + offset);
    bufferFill_ = got > 0 ? static_cast<uint32_t>(got) : 0;
    if (bufferFill_ < size) {
        // The file ends sooner than it did: nothing past what the read found is served any more.
        end_ = offset + bufferFill_;
    }
}

std::span<const uint8_t> FileWindow::bytes(uint32_t offset, uint32_t wanted) {
    if (offset >= end_) {
        return {};
    }
    wanted = std::min(wanted, end_ - offset);
    const bool inside = offset >= bufferStart_ && offset - bufferStart_ <= bufferFill_ &&
                        bufferFill_ - (offset - bufferStart_) >= wanted;
    if (!inside) {
        fill(offset, wanted);
    }
    const uint32_t skip = offset - bufferStart_;
    const uint32_t have = bufferFill_ > skip ? bufferFill_ - skip : 0;
    return {buffer_.data() + skip, std::min(wanted, have)};
}

std::span<const uint8_t> FileWindow::bytesFrom(uint32_t offset, uint32_t minimum) {
    const std::span<const uint8_t> held = buffered(offset, end_ > offset ? end_ - offset : 0);
    if (held.size() >= minimum) {
        return held;
    }
    const std::span<const uint8_t> got = bytes(offset, minimum);
    return got.empty() ? got : buffered(offset, end_ - offset);
}

int64_t FileWindow::findSync(uint32_t offset, uint32_t reach) {
    const uint64_t stop = std::min<uint64_t>(uint64_t{offset} + reach, end_);
    uint64_t at = offset;
    while (at + 4 <= stop) {
        // Search what the buffer already holds from here on; read only when that runs short.
        const auto limit = static_cast<uint32_t>(std::min<uint64_t>(stop - at, kReadSize));
        std::span<const uint8_t> piece = buffered(static_cast<uint32_t>(at), limit);
        if (piece.size() < 4) {
            piece = bytes(static_cast<uint32_t>(at), limit);
        }
        if (piece.size() < 4) {
            return -1;
        }
        const int64_t found = findFrameSync(piece);
        if (found >= 0) {
            return static_cast<int64_t>(at) + found;
        }
        // The last three bytes start no candidate inside this piece; the next piece starts there.
        at += piece.size() - 3;
    }
    return -1;
}

std::span<const uint8_t> FileWindow::buffered(uint32_t offset, uint32_t wanted) const {
    if (offset < bufferStart_ || offset - bufferStart_ >= bufferFill_) {
        return {};
    }
    const uint32_t skip = offset - bufferStart_;
    return {buffer_.data() + skip, std::min(wanted, bufferFill_ - skip)};
}

} // namespace sondrel
