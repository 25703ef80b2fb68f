#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sondrel::klx {

/// Undoes the topic scrambling: every stored byte XORed with 0xA7. Returns the text up to the
/// first NUL, cut at 128 characters.
std::string unscrambleTopic(std::span<const uint8_t> stored);

/// Undoes the rotated-text scrambling of an n-byte block: the last byte k is a bit count; bytes
/// 0..n-2, read as one bit string with byte 0 most significant, are rotated right by k bits and
/// then XORed with 0xC5 up to the first zero byte. Returns the text before that zero byte (all
/// n-1 bytes when none is zero); an empty block gives an empty text.
std::string unscrambleRotated(std::span<const uint8_t> stored);

/// The text of an unscrambled field: the bytes up to the first NUL.
std::string plainText(std::span<const uint8_t> stored);

/// Cuts text to at most maxChars characters.
void cutText(std::string& text, size_t maxChars);

/// Removes white space at both ends.
void trimText(std::string& text);

} // namespace sondrel::klx
