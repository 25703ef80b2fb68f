#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sondrel {

/// Bytes of a region of an open file, read on demand with positional reads into one buffer that
/// slides along as the caller moves on. It stands where a memory mapping would: a file that
/// shrinks while it is read gives short reads here, where a mapping would raise a bus error on
/// the first page past the new end.
///
/// Offsets are relative to the start of the region. Spans handed out stay valid until the next
/// call. The descriptor stays its owner's. Not thread-safe: owned by one stream.
class FileWindow {
  public:
    /// Serves [base, base + length) of the file behind fd.
    void attach(int fd, uint64_t base, uint32_t length);
    /// Forgets the file and frees the buffer.
    void detach();
    /// Frees the buffer; the file stays attached and is read again on the next call.
    void releaseBuffer();

    /// The bytes [offset, offset + wanted), fewer where the region or the file ends.
    std::span<const uint8_t> bytes(uint32_t offset, uint32_t wanted);

    /// Every byte the buffer holds from offset on, and at least `minimum` of them (read first
    /// when the buffer holds fewer) unless the region or the file ends sooner. For a sequential
    /// pass that takes what has been read in one piece.
    std::span<const uint8_t> bytesFrom(uint32_t offset, uint32_t minimum);

    /// Offset of the first byte 0xFF followed by a byte whose high nibble is 0xF or 0xE at
    /// offsets offset .. offset + reach - 4 of the region, or -1 when there is none.
    int64_t findSync(uint32_t offset, uint32_t reach);

    /// End of the region as far as the file still holds it: its length, or less once a read
    /// came back short because the file has shrunk since.
    uint32_t end() const { return end_; }
    /// True once a read found the file shorter than the region.
    bool shrunk() const { return end_ < length_; }

  private:
    /// Fills the buffer from offset on with at least wanted bytes when the file has them.
    void fill(uint32_t offset, uint32_t wanted);
    /// Up to wanted bytes from offset that the buffer already holds (none when it holds no byte
    /// at offset).
    std::span<const uint8_t> buffered(uint32_t offset, uint32_t wanted) const;

    int fd_ = -1;
    uint64_t base_ = 0;
    uint32_t length_ = 0;
    uint32_t end_ = 0;
    std::vector<uint8_t> buffer_;
    uint32_t bufferStart_ = 0; // region offset of buffer_[0]
    uint32_t bufferFill_ = 0;  // bytes of buffer_ that hold file data
};

/// Offset of the first byte 0xFF followed by a byte whose high nibble is 0xF or 0xE, searching
/// offsets 0 .. size - 4; -1 when there is none.
int64_t findFrameSync(std::span<const uint8_t> bytes);

} // namespace sondrel
