#pragma once

// Text inside ID3v2 frames: the four encodings a frame's first byte names, their terminators,
// and the encoding a new frame is written in.
//
// Threads: any thread; no state.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mireldo::tags {

/// Encoding bytes of ID3v2 text.
enum class Id3Encoding : std::uint8_t {
    Latin1 = 0,   ///< ISO-8859-1
    Utf16Bom = 1, ///< UTF-16 starting with a byte-order mark
    Utf16Be = 2,  ///< UTF-16 big-endian without a mark (ID3v2.4)
    Utf8 = 3,     ///< UTF-8 (ID3v2.4)
};

/// Bytes of the terminator of `encoding` (2 for the UTF-16 forms, else 1).
std::size_t terminatorWidth(std::uint8_t encoding);

/// Offset just past the first terminator at or after `from` (UTF-16 terminators sit on even
/// offsets counted from `from`), or bytes.size() + 1 when there is none.
std::size_t afterTerminator(std::uint8_t encoding, std::span<const std::uint8_t> bytes,
                            std::size_t from);

/// Decodes `bytes` up to the first terminator. An unknown encoding reads as ISO-8859-1; an odd
/// trailing byte of UTF-16 is ignored; UTF-16 without a mark reads as little-endian. Characters
/// that cannot stand in a string (lone surrogates) become what UTF-8 conversion makes of them,
/// so that decoding what encodeText() wrote gives the same text.
QString decodeText(std::uint8_t encoding, std::span<const std::uint8_t> bytes);

/// The encoding a frame of an ID3v2.`major` tag holding `text` is written in: ISO-8859-1 when
/// the text fits it, else UTF-8 in v2.4 and UTF-16 with a mark in earlier versions.
std::uint8_t encodingFor(const QString& text, int major);

/// `text` in `encoding` (0, 1 with a little-endian mark, or 3), without a terminator.
std::vector<std::uint8_t> encodeText(const QString& text, std::uint8_t encoding);

/// `text` as ISO-8859-1, a '?' for every character outside it.
std::vector<std::uint8_t> latin1OrQuestion(const QString& text);

} // namespace mireldo::tags
