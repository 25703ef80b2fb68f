#pragma once

// The ID3v2 tag at the start of an MP3 file: its header, the walk over its frames (each
// version with its own frame header), the seven fields the dialogs edit, and a new body with
// the changed fields' frames replaced or added and every other byte kept.
//
// Threads: any thread; no state.

#include "tag_fields.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mireldo::tags {

/// Bytes of the tag header ("ID3", version, flags, size).
inline constexpr std::size_t kId3v2HeaderSize = 10;

/// The fields in the order of Id3v2Tag::source.
enum class TagField { Title, Artist, Album, Year, Comment, Track, Genre };
inline constexpr std::size_t kTagFieldCount = 7;

/// The header of an ID3v2 tag.
struct Id3v2Header {
    std::uint8_t major = 0; ///< 2, 3 or 4 (others are kept but not walked)
    std::uint8_t revision = 0;
    std::uint8_t flags = 0;
    std::uint32_t bodySize = 0; ///< bytes after the header (synchsafe on disk)
};

/// Reads the header from the first ten bytes of a file of `fileSize` bytes. A tag is there
/// when the bytes start with "ID3" and the body size is at least 10 and the whole tag is
/// shorter than the file.
std::optional<Id3v2Header> parseId3v2Header(std::span<const std::uint8_t> first,
                                            std::uint64_t fileSize);

/// One frame met by the walk: where it lies in the body and what it is.
struct Id3v2Frame {
    std::size_t offset = 0;  ///< of its header, from the start of the body
    std::size_t size = 0;    ///< header and content
    std::string id;          ///< 3 characters in v2.2, else 4
    std::uint16_t flags = 0; ///< 0 in v2.2
};

/// What a walk over an ID3v2 body found.
struct Id3v2Tag {
    Id3v2Header header;
    std::vector<Id3v2Frame> frames;
    /// Offset where the frames end (the start of the padding, or of what could not be walked).
    std::size_t framesEnd = 0;
    /// True when the frames walk to the end of the body and nothing in the tag stops a
    /// rewrite; a tag that cannot be rewritten is still read as far as it walks.
    bool writable = false;
    /// Index into frames of the frame each field was read from, or -1.
    std::array<int, kTagFieldCount> source{-1, -1, -1, -1, -1, -1, -1};
    TagFields fields;
};

/// Walks the body of a tag (the bytes after its header). Never reads outside `body`.
Id3v2Tag parseId3v2Body(const Id3v2Header& header, std::span<const std::uint8_t> body);

/// The new body for `updated`: the frame of each field that differs from what was read is
/// replaced (same identifier and status flags; a comment keeps its language and description),
/// a non-empty field without a frame gets one after the last frame, and every other frame is
/// copied byte for byte. When the frames fit in the old body the rest is zero padding, so the
/// size stays unchanged. Nothing when the tag is not writable.
std::optional<std::vector<std::uint8_t>>
buildId3v2Body(const Id3v2Tag& tag, std::span<const std::uint8_t> body, const TagFields& updated);

/// The ten header bytes for a body of `bodySize` bytes, version and flags kept.
std::array<std::uint8_t, kId3v2HeaderSize> id3v2HeaderBytes(const Id3v2Header& header,
                                                            std::uint32_t bodySize);

/// Largest body a tag header can declare (28 bits).
inline constexpr std::uint32_t kMaxId3v2Body = (1u << 28) - 1;

} // namespace mireldo::tags
