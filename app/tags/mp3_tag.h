#pragma once

// The tag of an MP3 file as the MP3 dialog edits it: an ID3v2 tag at the start, else an ID3v1
// tag in the last 128 bytes, else none (a new ID3v1 tag is then appended). This file holds the
// decisions on bytes already in memory; mp3_tag_file.h reads and writes real files with them.
//
// Threads: any thread; no state.

#include "id3v2.h"
#include "tag_fields.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace mireldo::tags {

enum class TagKind { None, Id3v1, Id3v2 };

/// What was read from a file.
struct Mp3Tag {
    TagKind kind = TagKind::None;
    TagFields fields;
    /// False for an ID3v2 tag whose frames cannot all be walked (it is read as far as they go
    /// and never rewritten), and for a file starting with an ID3v2 header that does not fit it.
    bool writable = true;
    /// The walk of the ID3v2 tag (kind Id3v2 only).
    Id3v2Tag id3v2;
};

/// Reads the tag of a file from its `head` (at least its first 10 bytes, and the whole ID3v2
/// tag when there is one) and its `last` 128 bytes (fewer when the file is shorter).
Mp3Tag interpretMp3Tag(std::span<const std::uint8_t> head, std::span<const std::uint8_t> last,
                       std::uint64_t fileSize);

/// Reads the tag of a whole file held in memory.
Mp3Tag readMp3TagBytes(std::span<const std::uint8_t> file);

/// The fields an Update writes into `tag`: `edited` cleaned up as an Update does, with the
/// ID3v1 limits when the tag is not ID3v2.
TagFields fieldsToWrite(const Mp3Tag& tag, const TagFields& edited);

/// The whole file held in memory with `edited` written into its tag, or nothing when the tag
/// cannot be rewritten.
std::optional<std::vector<std::uint8_t>> rewriteMp3TagBytes(std::span<const std::uint8_t> file,
                                                            const TagFields& edited);

} // namespace mireldo::tags
