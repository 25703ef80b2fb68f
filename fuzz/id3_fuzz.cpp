// libFuzzer target for the ID3 reader and writer: any bytes are read as an MP3 file's tag, the
// fields are written back into a copy in memory, and reading the copy must give the same seven
// fields once both sides are cleaned up as an Update cleans them. A file may be refused only
// when the reader marked its tag as not writable.

#include "mp3_tag.h"
#include "tag_fields.h"

#include <cstddef>
#include <cstdint>
#include <span>

using namespace mireldo::tags;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    const Mp3Tag first = readMp3TagBytes(file);
    const auto rewritten = rewriteMp3TagBytes(file, first.fields);
    if (!rewritten) {
        if (first.writable) {
            __builtin_trap();
        }
        return 0;
    }
    const Mp3Tag second = readMp3TagBytes(*rewritten);
    const bool v1 = first.kind != TagKind::Id3v2;
    // An ID3v1 tag is read only from files longer than the tag itself.
    const TagKind expected =
        v1 ? (rewritten->size() > 128 ? TagKind::Id3v1 : TagKind::None) : TagKind::Id3v2;
    if (second.kind != expected) {
        __builtin_trap();
    }
    if (expected != TagKind::None &&
        normalizedForUpdate(second.fields, v1) != normalizedForUpdate(first.fields, v1)) {
        __builtin_trap();
    }
    return 0;
}
