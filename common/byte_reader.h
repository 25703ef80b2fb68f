#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace mireldo::common {

/// The one bounds-checked reader of outside bytes: a byte span with a little-endian cursor, and
/// random access by offset. Every read either succeeds completely or leaves ok() false and returns
/// zeros; it never touches bytes outside the span.
class ByteReader {
  public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    size_t position() const { return pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }

    /// Moves the cursor to an absolute offset; past the end clears ok().
    void seek(size_t offset) {
        if (offset > bytes_.size()) {
            ok_ = false;
            pos_ = bytes_.size();
        } else {
            pos_ = offset;
        }
    }
    void skip(size_t count) { seek(count > remaining() ? bytes_.size() + 1 : pos_ + count); }

    uint8_t u8() { return static_cast<uint8_t>(take(1)); }
    uint16_t u16() { return static_cast<uint16_t>(take(2)); }
    uint32_t u32() { return static_cast<uint32_t>(take(4)); }
    int32_t i32() { return static_cast<int32_t>(u32()); }

    /// Copies count bytes into out; on a short span copies nothing and clears ok().
    bool bytes(void* out, size_t count) {
        if (!ok_ || count > remaining()) {
            ok_ = false;
            return false;
        }
        std::memcpy(out, bytes_.data() + pos_, count);
        pos_ += count;
        return true;
    }

    // Random access; the cursor does not move.

    /// Byte at offset (0 and ok() false past the end).
    uint8_t at(size_t offset) {
        if (offset >= bytes_.size()) {
            ok_ = false;
            return 0;
        }
        return bytes_[offset];
    }
    /// Big-endian 32-bit value at offset.
    uint32_t bigEndian32(size_t offset) {
        return (uint32_t{at(offset)} << 24) | (uint32_t{at(offset + 1)} << 16) |
               (uint32_t{at(offset + 2)} << 8) | uint32_t{at(offset + 3)};
    }
    /// True when the count bytes at offset equal text (false, without touching ok(), when the
    /// span is too short: a missing marker is an answer, not an overrun).
    bool matches(size_t offset, const char* text, size_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset &&
               std::memcmp(bytes_.data() + offset, text, count) == 0;
    }

    /// A view of the next count bytes (empty and ok() false when fewer remain).
    std::span<const uint8_t> view(size_t count) {
        if (!ok_ || count > remaining()) {
            ok_ = false;
            return {};
        }
        auto v = bytes_.subspan(pos_, count);
        pos_ += count;
        return v;
    }

  private:
    uint64_t take(size_t width) {
        if (!ok_ || width > remaining()) {
            ok_ = false;
            return 0;
        }
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i) {
            v |= static_cast<uint64_t>(bytes_[pos_ + i]) << (8 * i);
        }
        pos_ += width;
        return v;
    }

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace mireldo::common
