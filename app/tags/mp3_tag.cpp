#include "mp3_tag.h"

#include "id3v1.h"

namespace mireldo::tags {

Mp3Tag interpretMp3Tag(std::span<const std::uint8_t> head, std::span<const std::uint8_t> last,
                       std::uint64_t fileSize) {
    Mp3Tag tag;
    if (const auto header = parseId3v2Header(head, fileSize)) {
        if (head.size() >= kId3v2HeaderSize + header->bodySize) {
            tag.kind = TagKind::Id3v2;
            tag.id3v2 = parseId3v2Body(*header, head.subspan(kId3v2HeaderSize, header->bodySize));
            tag.fields = tag.id3v2.fields;
            tag.writable = tag.id3v2.writable;
            return tag;
        }
    }
    // "ID3" whose tag does not fit the file: a cut or damaged file. Appending an ID3v1 tag
    // could make that header fit and turn the file into something else, so it is left alone.
    if (head.size() >= 3 && head[0] == 'I' && head[1] == 'D' && head[2] == '3') {
        tag.writable = false;
    }
    if (fileSize > kId3v1Size) {
        if (const auto fields = parseId3v1(last)) {
            tag.kind = TagKind::Id3v1;
            tag.fields = *fields;
        }
    }
    return tag;
}

Mp3Tag readMp3TagBytes(std::span<const std::uint8_t> file) {
    const std::size_t tail = file.size() >= kId3v1Size ? kId3v1Size : file.size();
    return interpretMp3Tag(file, file.subspan(file.size() - tail), file.size());
}

TagFields fieldsToWrite(const Mp3Tag& tag, const TagFields& edited) {
    return normalizedForUpdate(edited, tag.kind != TagKind::Id3v2);
}

std::optional<std::vector<std::uint8_t>> rewriteMp3TagBytes(std::span<const std::uint8_t> file,
                                                            const TagFields& edited) {
    const Mp3Tag tag = readMp3TagBytes(file);
    if (!tag.writable) {
        return std::nullopt;
    }
    const TagFields fields = fieldsToWrite(tag, edited);
    if (tag.kind == TagKind::Id3v2) {
        const std::uint32_t oldSize = tag.id3v2.header.bodySize;
        const auto body =
            buildId3v2Body(tag.id3v2, file.subspan(kId3v2HeaderSize, oldSize), fields);
        if (!body) {
            return std::nullopt;
        }
        const auto header =
            id3v2HeaderBytes(tag.id3v2.header, static_cast<std::uint32_t>(body->size()));
        std::vector<std::uint8_t> out(header.begin(), header.end());
        out.insert(out.end(), body->begin(), body->end());
        const auto rest = file.subspan(kId3v2HeaderSize + oldSize);
        out.insert(out.end(), rest.begin(), rest.end());
        return out;
    }
    const std::size_t keep = tag.kind == TagKind::Id3v1 ? file.size() - kId3v1Size : file.size();
    std::vector<std::uint8_t> out(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(keep));
    const auto v1 = id3v1Bytes(fields);
    out.insert(out.end(), v1.begin(), v1.end());
    return out;
}

} // namespace mireldo::tags
