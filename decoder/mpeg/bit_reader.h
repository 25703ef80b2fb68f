#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace sondrel {

/// MSB-first bit reader over a byte span. The only code that touches input bytes: every read
/// is checked against the span, and bits past its end read as zero. Reading past the end is
/// not an error by itself; callers compare position() with the limit they expect.
class BitReader {
  public:
    BitReader() = default;
    explicit BitReader(std::span<const uint8_t> bytes, std::size_t bitPosition = 0)
        : bytes_(bytes), position_(bitPosition) {}

    /// Next n bits (0..32) without consuming them.
    uint32_t peek(int n) const {
        if (n == 0) {
            return 0;
        }
        const uint64_t window = load64(position_ >> 3) << (position_ & 7);
        return static_cast<uint32_t>(window >> (64 - n));
    }

    /// At least the next 57 bits, left-aligned: for decoders that take several fields from
    /// one look-ahead and then skip() what they used.
    uint64_t peekWindow() const { return load64(position_ >> 3) << (position_ & 7); }

    /// Reads n bits (0..32).
    uint32_t read(int n) {
        const uint32_t value = peek(n);
        position_ += static_cast<std::size_t>(n);
        return value;
    }

    bool readBit() { return read(1) != 0; }

    void skip(std::size_t n) { position_ += n; }

    /// Position in bits from the start of the span.
    std::size_t position() const { return position_; }
    void setPosition(std::size_t bitPosition) { position_ = bitPosition; }

    /// Bits in the span.
    std::size_t bitLength() const { return bytes_.size() * 8; }

  private:
    // Eight bytes from byteIndex, big-endian; bytes past the end of the span are zero.
    uint64_t load64(std::size_t byteIndex) const {
        const std::size_t size = bytes_.size();
        if (byteIndex < size && size - byteIndex >= 8) {
            uint64_t raw;
            std::memcpy(&raw, bytes_.data() + byteIndex, 8);
            return __builtin_bswap64(raw);
        }
        uint64_t value = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            const std::size_t at = byteIndex + i;
            value = (value << 8) | (at < size && at >= byteIndex ? bytes_[at] : 0u);
        }
        return value;
    }

    std::span<const uint8_t> bytes_;
    std::size_t position_ = 0;
};

} // namespace sondrel
