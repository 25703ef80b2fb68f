#pragma once

// Writes KLX containers for the tests, from the container's layout. The library only reads the
// format; this writer and its scrambling are kept apart from the reader so that each checks the
// other.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace klxtest {

/// Topic scrambling: the text, NUL-padded to 129 bytes, every byte XORed with 0xA7.
std::vector<uint8_t> scrambleTopic(const std::string& text);

/// Rotated-text scrambling into an n-byte block: text XOR 0xC5, a zero byte, padding, all of the
/// first n-1 bytes rotated left by k bits (one bit at a time), then k as the last byte.
std::vector<uint8_t> scrambleRotated(const std::string& text, size_t n, uint8_t k);

/// One image: a 14-byte file header ("BM" unless changed), a 40-byte info header, pixels.
struct KlxImage {
    std::array<uint8_t, 2> magic{'B', 'M'};
    int32_t width = 2;
    int32_t height = 2;
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t clrUsed = 0;
    std::vector<uint8_t> pixels;       // written after the headers
    std::optional<uint32_t> sizeImage; // biSizeImage; pixels.size() when unset

    /// A 24-bit image of width x height whose pixel bytes follow a pattern chosen by seed.
    static KlxImage rgb(int32_t width, int32_t height, uint32_t seed);
    std::vector<uint8_t> bytes() const;
};

/// A whole container. Fields the header size does not hold are not written.
struct KlxFile {
    uint32_t headerSize = 260;
    uint32_t payloadType = 2;
    uint32_t lengthFrames = 0;
    std::string topic;
    std::vector<uint8_t> topicBytes; // when not empty: the 129 stored bytes as given
    std::string description;
    uint8_t descriptionRotation = 13;
    std::optional<uint32_t> descriptionLength; // stored length; text size + 2 (260) or + 0
    std::vector<std::array<uint32_t, 2>> index;
    std::optional<uint32_t> indexCount; // stored count; index.size() when unset
    int32_t callId = -1;
    int32_t callStart = 0;
    int32_t callEnd = 0;
    std::vector<std::array<int32_t, 3>> entries; // the third value is dropped below size 260
    std::optional<uint32_t> entryCount;          // stored count; entries.size() when unset
    std::string callText1, callText2, callText3;
    std::array<uint8_t, 3> callTextRotation{3, 17, 250};
    std::vector<KlxImage> images;
    std::optional<uint16_t> imageCount; // stored count; images.size() when unset
    std::vector<uint8_t> gap;           // bytes between the metadata and the payload
    std::vector<uint8_t> payload;
    std::optional<uint32_t> payloadOffset; // stored offset; the real one when unset

    /// Offset of the first payload byte in the written file.
    uint32_t metadataBytes() const;
    std::vector<uint8_t> bytes() const;
};

} // namespace klxtest
