#include "asf_header.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace wmaruntime {

namespace {

using Guid = std::array<uint8_t, 16>;

/// An identifier in the file's byte order (the first three fields little-endian).
constexpr Guid guid(uint32_t d1, uint16_t d2, uint16_t d3, std::array<uint8_t, 8> d4) {
    return {static_cast<uint8_t>(d1),
            static_cast<uint8_t>(d1 >> 8),
            static_cast<uint8_t>(d1 >> 16),
            static_cast<uint8_t>(d1 >> 24),
            static_cast<uint8_t>(d2),
            static_cast<uint8_t>(d2 >> 8),
            static_cast<uint8_t>(d3),
            static_cast<uint8_t>(d3 >> 8),
            d4[0],
            d4[1],
            d4[2],
            d4[3],
            d4[4],
            d4[5],
            d4[6],
            d4[7]};
}

constexpr Guid kHeaderObject =
    guid(0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
constexpr Guid kHeaderExtension =
    guid(0x5FBF03B5, 0xA92E, 0x11CF, {0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65});
constexpr std::array<Guid, 3> kEncryptionObjects{
    guid(0x2211B3FB, 0xBD23, 0x11D2, {0xB4, 0xB7, 0x00, 0xA0, 0xC9, 0x55, 0xFC, 0x6E}),
    guid(0x298AE614, 0x2622, 0x4C17, {0xB9, 0x35, 0xDA, 0xE0, 0x7E, 0xE9, 0x28, 0x9C}),
    guid(0x43058533, 0x6981, 0x49E6, {0x9B, 0x74, 0xAD, 0x12, 0xCB, 0x86, 0xD5, 0x8C}),
};

/// Bytes of an object's identifier and size.
constexpr std::size_t kObjectPreamble = 24;
/// Header extension: reserved identifier and word, then a 32-bit size of its objects.
constexpr std::size_t kExtensionFields = 22;

/// A bounds-checked cursor over header bytes.
class ByteReader {
  public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    std::size_t left() const { return bytes_.size() - pos_; }
    bool skip(std::size_t n) {
        if (n > left()) {
            return false;
        }
        pos_ += n;
        return true;
    }
    bool guid(Guid& out) {
        if (left() < out.size()) {
            return false;
        }
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_), out.size(), out.begin());
        pos_ += out.size();
        return true;
    }
    bool le(std::size_t width, uint64_t& out) {
        if (left() < width) {
            return false;
        }
        out = 0;
        for (std::size_t i = 0; i < width; ++i) {
            out |= uint64_t{bytes_[pos_ + i]} << (8 * i);
        }
        pos_ += width;
        return true;
    }
    /// The next `n` bytes as their own reader.
    bool sub(std::size_t n, ByteReader& out) {
        if (n > left()) {
            return false;
        }
        out = ByteReader(bytes_.subspan(pos_, n));
        pos_ += n;
        return true;
    }

  private:
    std::span<const uint8_t> bytes_;
    std::size_t pos_ = 0;
};

bool isEncryption(const Guid& id) {
    return std::find(kEncryptionObjects.begin(), kEncryptionObjects.end(), id) !=
           kEncryptionObjects.end();
}

/// Walks objects (identifier, 64-bit size including the preamble, body) to the end of `r`,
/// looking into a header extension once when `nested` allows.
bool walkForEncryption(ByteReader r, bool nested) {
    while (r.left() >= kObjectPreamble) {
        Guid id{};
        uint64_t size = 0;
        ByteReader body({});
        if (!r.guid(id) || !r.le(8, size) || size < kObjectPreamble ||
            !r.sub(
                static_cast<std::size_t>(std::min<uint64_t>(size - kObjectPreamble, r.left() + 1)),
                body)) {
            return false;
        }
        if (isEncryption(id)) {
            return true;
        }
        uint64_t extensionSize = 0;
        ByteReader extension({});
        if (nested && id == kHeaderExtension && body.skip(kExtensionFields - 4) &&
            body.le(4, extensionSize) &&
            body.sub(static_cast<std::size_t>(std::min<uint64_t>(extensionSize, body.left() + 1)),
                     extension) &&
            walkForEncryption(extension, false)) {
            return true;
        }
    }
    return false;
}

bool readFully(int fd, uint8_t* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

} // namespace

int32_t readAsfHeader(int fd, std::vector<uint8_t>& out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return WMR_E_INVALID_FILE;
    }
    std::array<uint8_t, kAsfHeaderPreamble> preamble{};
    if (!readFully(fd, preamble.data(), preamble.size(), 0)) {
        return WMR_E_INVALID_FILE;
    }
    ByteReader r(preamble);
    Guid id{};
    uint64_t size = 0;
    r.guid(id);
    r.le(8, size);
    if (id != kHeaderObject || size < kAsfHeaderPreamble ||
        size > static_cast<uint64_t>(st.st_size)) {
        return WMR_E_INVALID_FILE;
    }
    out.resize(static_cast<std::size_t>(size));
    if (!readFully(fd, out.data(), out.size(), 0)) {
        return WMR_E_INVALID_FILE;
    }
    return WMR_OK;
}

bool hasContentEncryption(std::span<const uint8_t> header) {
    if (header.size() < kAsfHeaderPreamble) {
        return false;
    }
    return walkForEncryption(ByteReader(header.subspan(kAsfHeaderPreamble)), true);
}

} // namespace wmaruntime
