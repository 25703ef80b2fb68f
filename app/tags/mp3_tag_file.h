#pragma once

// Reading and writing the tag of an MP3 file on disk.
//
// A rewrite never leaves a damaged file: when the ID3v2 body keeps its size it is written in
// place over the old one; when the size changes the whole new file (header, body, audio and
// anything after it) is written beside the old one in the same folder, flushed to disk, given
// the old file's permissions and renamed over it. A path that is a symbolic link is resolved
// first, so the link stays and its target gets the new content. Any failure leaves the old
// file as it was.
//
// Threads: any thread; one call works on one file and keeps no state.

#include "mp3_tag.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace mireldo::tags {

/// Outcome of reading or writing a tag.
enum class TagStatus {
    Ok,
    TooShort,    ///< the file has fewer than 16 bytes (reading ends silently)
    CannotOpen,  ///< the file cannot be opened or read
    NotWritable, ///< the ID3v2 tag cannot be walked to its end, so it is not rewritten
    WriteFailed, ///< writing failed; the old file is unchanged
};

/// A tag read from a file.
struct Mp3TagRead {
    TagStatus status = TagStatus::CannotOpen;
    Mp3Tag tag;
};

/// Reads the tag of the file at `path`.
Mp3TagRead readMp3Tag(const QString& path);

/// Called before every write with the number of bytes the rewrite has written so far; returning
/// false makes that write fail (tests use it to stop a rewrite half-way).
using WriteFaultHook = std::function<bool(std::uint64_t written)>;

/// Writes `edited` into the tag of the file at `path`, reading the file again first. Only the
/// fields that differ from what the file holds are changed.
TagStatus writeMp3Tag(const QString& path, const TagFields& edited,
                      const WriteFaultHook& fault = {});

} // namespace mireldo::tags
