#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace sondrel {

/// A buffered input file. Share modes have no effect on this system (there is no mandatory
/// locking); they are accepted so that callers read as they do elsewhere.
/// Not thread-safe: one stream, one thread at a time.
class InputFile {
public:
    /// Opens path for reading. Returns 0, or 1 (not found / bad path), 2 (access denied),
    /// 3 (any other failure).
    int32_t open(const char* path);
    void close() { file_.reset(); }
    bool isOpen() const { return file_ != nullptr; }

    /// The descriptor behind the file, or -1 when closed (stays owned by this object).
    int descriptor() const { return file_ ? fileno(file_.get()) : -1; }

    /// Size of the file in bytes at open time.
    uint64_t size() const { return size_; }

    /// Moves to an absolute byte offset; false when the system refuses.
    bool seek(uint64_t offset);
    /// Current byte offset.
    uint64_t tell() const;
    /// Reads up to count bytes; returns how many were read (short at the end of the file).
    size_t read(void* out, size_t count);

    /// Maps an errno value of a failed open to the library's open codes 1, 2 or 3.
    static int32_t codeFromErrno(int error);

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    uint64_t size_ = 0;
};

} // namespace sondrel
