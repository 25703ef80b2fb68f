#pragma once

// Copying the bytes of one open file into another as fast as the file system allows: a
// reflink (the destination shares the source's blocks, nothing is copied) where the file
// system can, else copy_file_range in large pieces (the kernel moves the bytes without a trip
// through user space), else a read/write loop with a 1 MiB buffer. Each step falls back to the
// next only when the kernel says the step is not possible for these files; a real error (full
// disk, file size limit, I/O error) ends the copy.
//
// While copying, the disk writes of the pieces already copied are started in the background
// (write-behind), so that the fsync a caller makes before it renames the copy into place finds
// little left to write.
//
// Threads: any; nothing here keeps state except the test hook copyStartForTests().

#include "fd_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <new>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mireldo::common {

/// How a copy moved its bytes, fastest first.
enum class CopyMethod { Reflink, CopyRange, ReadWrite };

/// What copyData() did.
struct CopyOutcome {
    bool ok = false;         ///< every byte asked for was copied; else errno says why
    std::uint64_t bytes = 0; ///< bytes written to the destination
    CopyMethod method = CopyMethod::Reflink; ///< the method that finished (or failed)
};

/// Bytes handed to one copy_file_range call, and the stride of the write-behind.
inline constexpr std::size_t kCopyPieceBytes = std::size_t{8} << 20;
/// The buffer of the read/write loop.
inline constexpr std::size_t kCopyBufferBytes = std::size_t{1} << 20;
/// "To the end of the source".
inline constexpr std::uint64_t kCopyToEnd = UINT64_MAX;

/// The first method copies try when the caller names none. Tests set it to make the fallbacks
/// run on a file system that supports the faster methods; nothing else changes it.
inline std::atomic<CopyMethod>& copyStartForTests() {
    static std::atomic<CopyMethod> start{CopyMethod::Reflink};
    return start;
}

namespace detail {

// errno values by which the kernel declines a method for these two files (other file
// systems, a pipe, an append-only descriptor, an old kernel); the next method may work.
inline bool methodUnavailable(int err) {
    return err == EXDEV || err == ENOSYS || err == EOPNOTSUPP || err == ENOTTY || err == EINVAL ||
           err == EBADF || err == ETXTBSY || err == EPERM;
}

// Starts writing [from, from + count) of `out` to disk without waiting for it. Only a hint:
// a failure here changes nothing (the caller's fsync reports real errors).
inline void writeBehind(int out, std::uint64_t from, std::uint64_t count) {
    if (count > 0) {
        (void)::sync_file_range(out, static_cast<off64_t>(from), static_cast<off64_t>(count),
                                SYNC_FILE_RANGE_WRITE);
    }
}

// Tracks what was written and starts the write-behind of every whole piece behind the one
// being written, so the writes being made never wait on pages under writeback.
struct WriteBehind {
    int out;
    std::uint64_t start; // destination offset of the first byte
    std::uint64_t written = 0;
    std::uint64_t flushed = 0; // bytes whose writeback was started

    void advance(std::uint64_t n) {
        written += n;
        if (written >= flushed + 2 * kCopyPieceBytes) {
            const std::uint64_t upTo = written - kCopyPieceBytes;
            writeBehind(out, start + flushed, upTo - flushed);
            flushed = upTo;
        }
    }
};

} // namespace detail

/// Copies up to `limit` bytes from `in`'s file position into `out` at its file position (both
/// positions advance), stopping early only at the end of `in`; `first` is the first method
/// tried. Returns ok when the copy reached the end of `in` or `limit`; on failure errno says
/// why and the destination may hold part of the bytes (callers write to a temporary file and
/// discard it). A reflink is tried only for a whole file: `in` at offset 0, `out` empty, and
/// `limit` not below `in`'s size.
inline CopyOutcome copyData(int in, int out, std::uint64_t limit = kCopyToEnd,
                            CopyMethod first = copyStartForTests().load()) {
    CopyOutcome outcome;
    outcome.method = first;
    const off_t inAt = ::lseek(in, 0, SEEK_CUR);
    const off_t outAt = ::lseek(out, 0, SEEK_CUR);
    struct stat inStat {};
    struct stat outStat {};
    const bool regular = ::fstat(in, &inStat) == 0 && S_ISREG(inStat.st_mode) &&
                         ::fstat(out, &outStat) == 0 && S_ISREG(outStat.st_mode);
    if (regular) {
        // The kernel reads the source ahead in larger steps.
        (void)::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    }

    if (first == CopyMethod::Reflink) {
        outcome.method = CopyMethod::CopyRange;
        const auto size = static_cast<std::uint64_t>(inStat.st_size);
        if (regular && inAt == 0 && outAt == 0 && outStat.st_size == 0 && size <= limit) {
            if (::ioctl(out, FICLONE, in) == 0) {
                // The clone leaves both positions where they were; later writes follow it.
                if (::lseek(in, 0, SEEK_END) < 0 || ::lseek(out, 0, SEEK_END) < 0) {
                    outcome.method = CopyMethod::Reflink;
                    return outcome;
                }
                outcome.ok = true;
                outcome.bytes = size;
                outcome.method = CopyMethod::Reflink;
                return outcome;
            }
            if (!detail::methodUnavailable(errno)) {
                outcome.method = CopyMethod::Reflink;
                return outcome;
            }
        }
    }

    detail::WriteBehind behind{out, outAt >= 0 ? static_cast<std::uint64_t>(outAt) : 0};
    bool sourceEnded = false;
    if (outcome.method == CopyMethod::CopyRange) {
        // Pieces never reach past the source's end: the kernel checks a piece against the
        // file size limit before it trims it to the source, so asking for 8 MiB of a small
        // file refuses a copy that fits (EFBIG).
        std::uint64_t sourceLeft = kCopyToEnd;
        if (regular && inAt >= 0 &&
            static_cast<std::uint64_t>(inStat.st_size) >= static_cast<std::uint64_t>(inAt)) {
            sourceLeft =
                static_cast<std::uint64_t>(inStat.st_size) - static_cast<std::uint64_t>(inAt);
        }
        while (outcome.bytes < limit) {
            std::uint64_t piece = std::min<std::uint64_t>(limit - outcome.bytes, kCopyPieceBytes);
            if (sourceLeft != kCopyToEnd) {
                // A source that grew since fstat is read on by the loop below.
                piece = std::min(piece, sourceLeft > outcome.bytes ? sourceLeft - outcome.bytes
                                                                   : std::uint64_t{0});
                if (piece == 0) {
                    sourceEnded = true;
                    break;
                }
            }
            const auto want = static_cast<std::size_t>(piece);
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && outcome.bytes == 0 && detail::methodUnavailable(errno)) {
                outcome.method = CopyMethod::ReadWrite;
                break;
            }
            if (n < 0) {
                return outcome;
            }
            if (n == 0) {
                // The end of the source, or a file the kernel cannot copy this way (some
                // special files read as empty here): the loop below reads on to the real end.
                sourceEnded = true;
                break;
            }
            outcome.bytes += static_cast<std::uint64_t>(n);
            behind.advance(static_cast<std::uint64_t>(n));
        }
        if (outcome.bytes == limit) {
            outcome.ok = true;
            return outcome;
        }
    }

    const CopyMethod before = outcome.method;
    const std::uint64_t bytesBefore = outcome.bytes;
    outcome.method = CopyMethod::ReadWrite;
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kCopyBufferBytes]);
    if (!buffer) {
        errno = ENOMEM;
        return outcome;
    }
    while (outcome.bytes < limit) {
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(limit - outcome.bytes, kCopyBufferBytes));
        const ssize_t got = readAll(in, buffer.get(), want);
        if (got < 0) {
            return outcome;
        }
        if (got == 0) {
            break;
        }
        std::size_t done = 0;
        const bool written = writeAll(out, buffer.get(), static_cast<std::size_t>(got), &done);
        outcome.bytes += done;
        if (!written) {
            return outcome;
        }
        behind.advance(done);
        // A short read is the end of the source, or an error that the next read reports.
    }
    if (sourceEnded && outcome.bytes == bytesBefore) {
        outcome.method = before; // copy_file_range had reached the end after all
    }
    outcome.ok = true;
    return outcome;
}

} // namespace mireldo::common
