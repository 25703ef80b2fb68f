#pragma once

#include "byte_reader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace mireldo::common {

/// Bytes of the canonical WAV header: RIFF, a 16-byte "fmt " chunk and the "data" chunk's head.
inline constexpr std::size_t kWavHeaderBytes = 44;
/// Largest data chunk the canonical header can describe (the RIFF size holds 36 more bytes).
inline constexpr std::uint64_t kMaxWavDataBytes = 0xFFFFFFFFull - 36;

/// The fields of a 16-byte "fmt " chunk. blockAlign is written as given: callers that describe
/// PCM pass channels * bits / 8.
struct WavFormat {
    std::uint16_t formatTag = 1; ///< 1: integer PCM
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0; ///< frames per second
    std::uint16_t blockAlign = 0; ///< bytes per frame
    std::uint16_t bitsPerSample = 0;
};

namespace detail {
inline void putLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putLe32(std::uint8_t* p, std::uint32_t v) {
    putLe16(p, v & 0xFFFFu);
    putLe16(p + 2, v >> 16);
}
} // namespace detail

/// The 44-byte header with the RIFF and data sizes as given (bytes); the average byte rate is
/// sampleRate * blockAlign.
inline std::array<std::uint8_t, kWavHeaderBytes>
makeWavHeader(const WavFormat& f, std::uint32_t riffBytes, std::uint32_t dataBytes) {
    std::array<std::uint8_t, kWavHeaderBytes> h{};
    std::memcpy(h.data(), "RIFF", 4);
    detail::putLe32(h.data() + 4, riffBytes);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    detail::putLe32(h.data() + 16, 16);
    detail::putLe16(h.data() + 20, f.formatTag);
    detail::putLe16(h.data() + 22, f.channels);
    detail::putLe32(h.data() + 24, f.sampleRate);
    detail::putLe32(h.data() + 28, f.sampleRate * f.blockAlign);
    detail::putLe16(h.data() + 32, f.blockAlign);
    detail::putLe16(h.data() + 34, f.bitsPerSample);
    std::memcpy(h.data() + 36, "data", 4);
    detail::putLe32(h.data() + 40, dataBytes);
    return h;
}

/// The 44-byte header of a file holding dataBytes bytes of samples (RIFF size 36 + dataBytes).
inline std::array<std::uint8_t, kWavHeaderBytes> makeWavHeader(const WavFormat& f,
                                                               std::uint32_t dataBytes) {
    return makeWavHeader(f, 36 + dataBytes, dataBytes);
}

/// Byte offset of the RIFF size field and of the data size field in the 44-byte header.
inline constexpr std::size_t kWavRiffSizeOffset = 4;
inline constexpr std::size_t kWavDataSizeOffset = 40;

/// The head of one RIFF chunk: its four-character id and the size of its body in bytes.
struct RiffChunk {
    std::array<char, 4> id{};
    std::uint32_t size = 0;

    bool is(const char* fourCc) const { return std::memcmp(id.data(), fourCc, 4) == 0; }
    /// Offset of the next chunk, for a chunk whose head starts at offset (bodies are padded to
    /// an even length).
    std::uint64_t next(std::uint64_t offset) const { return offset + 8 + size + (size & 1u); }
};

/// Reads the 12-byte "RIFF" <size> "WAVE" opening; the RIFF size, or nullopt when the bytes are
/// not a WAVE file.
inline std::optional<std::uint32_t> readRiffWaveHead(ByteReader& r) {
    std::array<char, 4> riff{};
    std::array<char, 4> wave{};
    r.bytes(riff.data(), 4);
    const std::uint32_t size = r.u32();
    r.bytes(wave.data(), 4);
    if (!r.ok() || std::memcmp(riff.data(), "RIFF", 4) != 0 ||
        std::memcmp(wave.data(), "WAVE", 4) != 0) {
        return std::nullopt;
    }
    return size;
}

/// Reads the 8-byte head of a chunk; nullopt when fewer than 8 bytes remain.
inline std::optional<RiffChunk> readRiffChunk(ByteReader& r) {
    RiffChunk chunk;
    r.bytes(chunk.id.data(), 4);
    chunk.size = r.u32();
    if (!r.ok()) {
        return std::nullopt;
    }
    return chunk;
}

/// Reads the first 16 bytes of a "fmt " chunk's body; nullopt when fewer remain.
inline std::optional<WavFormat> readWavFormat(ByteReader& r) {
    WavFormat f;
    f.formatTag = r.u16();
    f.channels = r.u16();
    f.sampleRate = r.u32();
    r.u32(); // average bytes per second: derived, not trusted
    f.blockAlign = r.u16();
    f.bitsPerSample = r.u16();
    if (!r.ok()) {
        return std::nullopt;
    }
    return f;
}

} // namespace mireldo::common
