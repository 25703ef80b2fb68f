#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <sys/types.h>
#include <unistd.h>

namespace sondrel {

/// Reads up to count bytes at byte offset of the descriptor fd into out, without moving its file
/// position. Retries when a signal interrupts the call and goes on after a short read, so it
/// returns fewer than count bytes only at the end of the file (which may have moved since the
/// file was opened) or after an error that came once something was read. Returns -1 when the
/// first read fails.
inline ssize_t readAt(int fd, void* out, size_t count, uint64_t offset) {
    auto* bytes = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < count) {
        const uint64_t at = offset + done;
        if (at > static_cast<uint64_t>(INT64_MAX)) {
            break;
        }
        const ssize_t n = ::pread(fd, bytes + done, count - done, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

} // namespace sondrel
