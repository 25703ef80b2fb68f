#pragma once

// Fixtures for the tag tests: ID3 tags assembled byte by byte and MP3 audio made by lame.

#include "tag_fields.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tagtest {

using Bytes = std::vector<std::uint8_t>;

/// One ID3v2 frame of version `major` (2, 3 or 4): identifier, size in that version's form,
/// flags (none in v2.2), content.
Bytes frame(int major, const std::string& id, const Bytes& content, std::uint16_t flags = 0);
/// Content of a text frame: encoding byte 0 and the text.
Bytes latin1Text(const std::string& text);
/// A whole tag: header with a synchsafe size, the frames, then `padding` zero bytes.
Bytes tag(int major, const std::vector<Bytes>& frames, std::size_t padding = 0,
          std::uint8_t flags = 0);
/// Concatenation.
Bytes operator+(Bytes a, const Bytes& b);

/// MPEG audio made by lame from a sine of `seconds` (made once per length and reused).
const Bytes& mp3Audio(double seconds = 0.5);

/// The seven fields as one line, for readable failures.
std::string describe(const mireldo::tags::TagFields& fields);

} // namespace tagtest
