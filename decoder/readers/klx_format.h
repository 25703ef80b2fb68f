#pragma once

#include <cstdint>

namespace sondrel::klx {

/// Fixed-header offsets of a KLX container (all integers little-endian). The header comes in
/// five sizes, each a prefix of the next; a field exists only in headers at least as large as
/// the size noted beside it.
inline constexpr uint32_t kMagic = 0x4B4C5846; // "FXLK"
inline constexpr uint32_t kOffsetHeaderSize = 0;
inline constexpr uint32_t kOffsetMagic = 4;
inline constexpr uint32_t kOffsetPayloadOffset = 8;
inline constexpr uint32_t kOffsetPayloadType = 12;
inline constexpr uint32_t kOffsetImageCount = 16; // uint16
inline constexpr uint32_t kOffsetLengthFrames = 20;
inline constexpr uint32_t kOffsetIndexCount = 24;
inline constexpr uint32_t kOffsetTopic = 28;              // kTopicBytes bytes
inline constexpr uint32_t kOffsetDescriptionLength = 160; // from size 164
inline constexpr uint32_t kOffsetCallId = 164;            // int32, from size 172
inline constexpr uint32_t kOffsetCallStart = 168;         // int32, from size 172
inline constexpr uint32_t kOffsetCallEnd = 172;           // int32, from size 180
inline constexpr uint32_t kOffsetEntryCount = 176;        // from size 180
inline constexpr uint32_t kOffsetCallText1 = 180;         // scrambled, size 260 only
inline constexpr uint32_t kOffsetCallText2 = 190;
inline constexpr uint32_t kOffsetCallText3 = 224;

/// The five header sizes.
inline constexpr uint32_t kHeaderSize160 = 160;
inline constexpr uint32_t kHeaderSize164 = 164;
inline constexpr uint32_t kHeaderSize172 = 172;
inline constexpr uint32_t kHeaderSize180 = 180;
inline constexpr uint32_t kHeaderSize260 = 260;
/// Bytes the metadata read takes in one go, whatever the header's size.
inline constexpr uint32_t kFullHeaderSize = kHeaderSize260;

/// The smallest header, and the bytes the opener reads to choose a reader.
inline constexpr uint32_t kMinHeaderSize = 160;
inline constexpr uint32_t kPrecheckBytes = 172;
/// Headers of at least this size carry a call id.
inline constexpr uint32_t kCallHeaderSize = 172;

/// Text fields: stored sizes in bytes and the longest text each keeps.
inline constexpr uint32_t kTopicBytes = 129;
inline constexpr uint32_t kMaxTopic = 128;
inline constexpr uint32_t kMaxDescriptionBytes = 2048;
inline constexpr uint32_t kCallText1Bytes = 10;
inline constexpr uint32_t kCallText23Bytes = 34;
inline constexpr uint32_t kMaxCallText1 = 8;
inline constexpr uint32_t kMaxCallText23 = 32;

/// XOR keys of the two scrambling transforms of size-260 headers.
inline constexpr uint8_t kTopicKey = 0xA7;
inline constexpr uint8_t kRotatedTextKey = 0xC5;

/// Variable part: seek-index entries, call-record entries (12 bytes in size-260 headers, 8 bytes
/// before), and the image headers in front of each image's pixels.
inline constexpr uint32_t kIndexEntryBytes = 8;
inline constexpr uint32_t kWideEntryBytes = 12;
inline constexpr uint32_t kNarrowEntryBytes = 8;
inline constexpr uint32_t kBitmapFileHeaderBytes = 14;
inline constexpr uint32_t kBitmapInfoHeaderBytes = 40;
/// Images after the first ten are not read; their bytes count as part of the gap.
inline constexpr uint16_t kMaxImages = 10;

/// Kinds of audio a container carries.
enum class PayloadType : uint32_t { Mpeg = 0, OggVorbis = 1, Wave = 2 };

} // namespace sondrel::klx
