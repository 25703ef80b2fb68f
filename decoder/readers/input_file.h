#pragma once

#include <cstdint>
#include <cstddef>

namespace sondrel {

/// A file open for reading, read at a position of its own with positional reads (so a file that
/// shrinks under the reader gives short reads, never a signal). Share modes have no effect on this
/// system (there is no mandatory locking); they are accepted so that callers read as they do
/// elsewhere. Not thread-safe: one stream, one thread at a time.
class InputFile {
  public:
    InputFile() = default;
    ~InputFile() { close(); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    /// Opens path for reading without ever blocking (a FIFO or a device is refused before
    /// anything waits on it). Returns 0, or 1 (not found / bad path), 2 (access denied, or a
    /// folder), 3 (anything but a regular file, or any other failure).
    int32_t open(const char* path);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    /// The descriptor behind the file, or -1 when closed (stays owned by this object).
    int descriptor() const { return fd_; }

    /// Size of the file in bytes at open time.
    uint64_t size() const { return size_; }

    /// Moves to an absolute byte offset; false when the file is closed or the offset too large.
    bool seek(uint64_t offset);
    /// Current byte offset.
    uint64_t tell() const { return position_; }
    /// Reads up to count bytes at the current offset and moves past them; returns how many were
    /// read (short at the end of the file or on a read error).
    size_t read(void* out, size_t count);
    /// Reads up to count bytes at offset without moving the current offset; returns how many.
    size_t readAt(uint64_t offset, void* out, size_t count) const;

    /// Maps an errno value of a failed open to the library's open codes 1, 2 or 3.
    static int32_t codeFromErrno(int error);

  private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
};

} // namespace sondrel
