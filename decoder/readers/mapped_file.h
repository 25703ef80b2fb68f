#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace sondrel {

/// A read-only mapping of a file that stays open while views of it come and go. The mapping
/// holds its own descriptor, so it outlives the buffered file it was made from.
/// Not thread-safe: owned by one stream.
class FileMapping {
public:
    FileMapping() = default;
    ~FileMapping() { close(); }
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    /// Makes a mapping of the file behind fd (which stays the caller's). False on failure,
    /// including an empty file, which has nothing to map.
    bool create(int fd, uint64_t size);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    uint64_t size() const { return size_; }

    /// Granularity a view's start must be a multiple of (the page size).
    static uint32_t granularity();

private:
    friend class MappedView;
    int fd_ = -1;
    uint64_t size_ = 0;
};

/// A mapped view of [start, start + length) of a FileMapping; unmapped on destruction.
class MappedView {
public:
    MappedView() = default;
    ~MappedView() { unmap(); }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    /// start must be a multiple of FileMapping::granularity(). False on failure.
    bool map(const FileMapping& mapping, uint64_t start, size_t length);
    void unmap();
    bool isMapped() const { return address_ != nullptr; }
    std::span<const uint8_t> bytes() const {
        return {static_cast<const uint8_t*>(address_), length_};
    }

private:
    void* address_ = nullptr;
    size_t length_ = 0;
};

} // namespace sondrel
