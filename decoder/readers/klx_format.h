#pragma once

#include <cstdint>

namespace sondrel::klx {

/// Fixed-header offsets of a KLX container (all integers little-endian).
inline constexpr uint32_t kMagic = 0x4B4C5846; // "FXLK"
inline constexpr uint32_t kOffsetHeaderSize = 0;
inline constexpr uint32_t kOffsetMagic = 4;
inline constexpr uint32_t kOffsetPayloadOffset = 8;
inline constexpr uint32_t kOffsetPayloadType = 12;
inline constexpr uint32_t kOffsetCallId = 164;

/// The smallest header, and the bytes the opener reads to choose a reader.
inline constexpr uint32_t kMinHeaderSize = 160;
inline constexpr uint32_t kPrecheckBytes = 172;
/// Headers of at least this size carry a call id.
inline constexpr uint32_t kCallHeaderSize = 172;

/// Kinds of audio a container carries.
enum class PayloadType : uint32_t { Mpeg = 0, OggVorbis = 1, Wave = 2 };

} // namespace sondrel::klx
