#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace sondrel {

/// Bounds-checked random access to a byte span: reads outside the span yield zero and set
/// a flag instead of touching memory.
class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    bool overran() const { return overran_; }

    uint8_t at(std::size_t offset) {
        if (offset >= bytes_.size()) {
            overran_ = true;
            return 0;
        }
        return bytes_[offset];
    }

    uint32_t bigEndian32(std::size_t offset) {
        return (uint32_t{at(offset)} << 24) | (uint32_t{at(offset + 1)} << 16) |
               (uint32_t{at(offset + 2)} << 8) | uint32_t{at(offset + 3)};
    }

    bool matches(std::size_t offset, const char* text, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (at(offset + i) != static_cast<uint8_t>(text[i])) {
                return false;
            }
        }
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    bool overran_ = false;
};

} // namespace sondrel
