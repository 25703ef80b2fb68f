#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <sys/types.h>
#include <unistd.h>

namespace mireldo::common {

// Whole-buffer reads and writes on a file descriptor. All of them retry a call that a signal
// interrupted (EINTR) and go on after a short transfer. The one rule for writes: true only
// when every byte is written; otherwise errno says why, and a write that makes no progress
// (returns 0) counts as a full disk, ENOSPC. `done`, when given, receives the bytes written
// either way, so a caller can account for a partial write.

namespace detail {

inline constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(INT64_MAX);

// The common loop: op(bytes, count, offset) is read/write/pread/pwrite; offset is ignored by
// the sequential ones.
template <typename Op>
ssize_t readLoop(Op op, void* out, std::size_t count, std::uint64_t offset) {
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    while (done < count) {
        if (offset + done > kMaxOffset) {
            break;
        }
        const ssize_t n = op(bytes + done, count - done, offset + done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

template <typename Op>
bool writeLoop(Op op, const void* data, std::size_t count, std::uint64_t offset,
               std::size_t* done) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t written = 0;
    bool ok = true;
    while (written < count) {
        if (offset + written > kMaxOffset) {
            errno = EFBIG;
            ok = false;
            break;
        }
        const ssize_t n = op(bytes + written, count - written, offset + written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            ok = false;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (done != nullptr) {
        *done = written;
    }
    return ok;
}

} // namespace detail

/// Reads up to count bytes from the descriptor's file position into out. Returns fewer than
/// count only at the end of the file, or when an error came after some bytes were read (the
/// next call reports it); -1 when the first read fails.
inline ssize_t readAll(int fd, void* out, std::size_t count) {
    return detail::readLoop(
        [fd](std::uint8_t* p, std::size_t n, std::uint64_t) { return ::read(fd, p, n); }, out,
        count, 0);
}

/// As readAll(), at byte offset of the file, without moving the descriptor's file position.
/// The end of the file may have moved since it was opened.
inline ssize_t preadAll(int fd, void* out, std::size_t count, std::uint64_t offset) {
    return detail::readLoop(
        [fd](std::uint8_t* p, std::size_t n, std::uint64_t at) {
            return ::pread(fd, p, n, static_cast<off_t>(at));
        },
        out, count, offset);
}

/// True when exactly count bytes were read at offset (false at an early end of the file too).
inline bool preadExact(int fd, void* out, std::size_t count, std::uint64_t offset) {
    return preadAll(fd, out, count, offset) == static_cast<ssize_t>(count);
}

/// Writes all count bytes at the descriptor's file position (see the rule above).
inline bool writeAll(int fd, const void* data, std::size_t count, std::size_t* done = nullptr) {
    return detail::writeLoop(
        [fd](const std::uint8_t* p, std::size_t n, std::uint64_t) { return ::write(fd, p, n); },
        data, count, 0, done);
}

/// Writes all count bytes at byte offset, without moving the file position (see the rule above).
inline bool pwriteAll(int fd, const void* data, std::size_t count, std::uint64_t offset,
                      std::size_t* done = nullptr) {
    return detail::writeLoop(
        [fd](const std::uint8_t* p, std::size_t n, std::uint64_t at) {
            return ::pwrite(fd, p, n, static_cast<off_t>(at));
        },
        data, count, offset, done);
}

} // namespace mireldo::common
