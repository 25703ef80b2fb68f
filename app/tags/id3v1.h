#pragma once

// The 128-byte ID3v1 tag at the end of an MP3 file.
//
// Threads: any thread; no state.

#include "tag_fields.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace mireldo::tags {

inline constexpr std::size_t kId3v1Size = 128;

/// The fields of the tag in `last` (the file's last 128 bytes), or nothing when they do not
/// start with "TAG". Texts end at their first zero byte and lose trailing white space; the
/// comment is read from bytes 97 to 125, so a 30-character comment reads as 29; a track byte
/// above 127 reads as 254 and a genre byte above 127 as 0.
std::optional<TagFields> parseId3v1(std::span<const std::uint8_t> last);

/// The 128 bytes of a tag holding `fields` (already normalised for ID3v1): texts in ISO-8859-1
/// ('?' for other characters) padded with blanks, byte 125 zero, then track and genre numbers.
std::array<std::uint8_t, kId3v1Size> id3v1Bytes(const TagFields& fields);

} // namespace mireldo::tags
