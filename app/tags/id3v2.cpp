#include "id3v2.h"

#include "byte_reader.h"
#include "id3_text.h"

namespace mireldo::tags {

namespace {

/// Frame identifiers of the seven fields, by major version (v2.2 has three characters; the
/// year is TYER up to v2.3 and TDRC in v2.4).
constexpr std::array<const char*, kTagFieldCount> kIds22{"TT2", "TP1", "TAL", "TYE",
                                                         "COM", "TRK", "TCO"};
constexpr std::array<const char*, kTagFieldCount> kIds23{"TIT2", "TPE1", "TALB", "TYER",
                                                         "COMM", "TRCK", "TCON"};
constexpr std::array<const char*, kTagFieldCount> kIds24{"TIT2", "TPE1", "TALB", "TDRC",
                                                         "COMM", "TRCK", "TCON"};

// Tag header flags.
constexpr std::uint8_t kTagUnsynchronised = 0x80;
constexpr std::uint8_t kTagExtendedHeader = 0x40; // compression in v2.2
constexpr std::uint8_t kTagFooter = 0x10;         // v2.4

/// Frame flags (low byte) that change how the content is stored: compression, encryption,
/// grouping, and in v2.4 unsynchronisation and a data length indicator.
constexpr std::uint16_t kFormatFlags23 = 0x00E0;
constexpr std::uint16_t kFormatFlags24 = 0x004F;

const std::array<const char*, kTagFieldCount>& idsFor(int major) {
    return major == 2 ? kIds22 : (major == 3 ? kIds23 : kIds24);
}

std::size_t frameHeaderSize(int major) {
    return major == 2 ? 6 : 10;
}

bool isIdChar(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

int fieldOf(const std::string& id, int major) {
    const auto& ids = idsFor(major);
    for (std::size_t f = 0; f < kTagFieldCount; ++f) {
        if (id == ids[f]) {
            return static_cast<int>(f);
        }
    }
    return -1;
}

/// A comment frame's parts: language, short description and text. A frame too short for the
/// full form, or without a terminated description, is read as encoding byte and text.
struct Comment {
    std::array<std::uint8_t, 3> language{'e', 'n', 'g'};
    QString description;
    QString text;
};

Comment parseComment(std::span<const std::uint8_t> content) {
    Comment c;
    common::ByteReader reader(content);
    const std::uint8_t encoding = reader.u8();
    if (content.size() >= 4) {
        const std::size_t descEnd = afterTerminator(encoding, content, 4);
        if (descEnd <= content.size()) {
            c.language = {reader.at(1), reader.at(2), reader.at(3)};
            reader.seek(4);
            c.description = decodeText(encoding, reader.view(descEnd - 4));
            c.text = decodeText(encoding, reader.view(content.size() - descEnd));
            return c;
        }
    }
    c.text = decodeText(encoding, reader.view(reader.remaining()));
    return c;
}

QString fieldText(const TagFields& fields, std::size_t f) {
    switch (static_cast<TagField>(f)) {
    case TagField::Title:
        return fields.title;
    case TagField::Artist:
        return fields.artist;
    case TagField::Album:
        return fields.album;
    case TagField::Year:
        return fields.year;
    case TagField::Comment:
        return fields.comment;
    case TagField::Track:
        return fields.track == 0 ? QString() : QString::number(fields.track);
    case TagField::Genre:
        return fields.genreText;
    }
    return {};
}

void setField(TagFields& fields, std::size_t f, const QString& value) {
    switch (static_cast<TagField>(f)) {
    case TagField::Title:
        fields.title = value;
        break;
    case TagField::Artist:
        fields.artist = value;
        break;
    case TagField::Album:
        fields.album = value;
        break;
    case TagField::Year:
        fields.year = value;
        break;
    case TagField::Comment:
        fields.comment = value;
        break;
    case TagField::Track:
        if (!value.isEmpty()) {
            fields.track = leadingNumber(value);
        }
        break;
    case TagField::Genre:
        fields.genreText = value;
        fields.genrePosition = 0;
        break;
    }
}

/// True when the user changed field `f`: an Update trims trailing white space from the texts,
/// so a frame whose text differs only there is left as it is.
bool fieldChanged(const TagFields& before, const TagFields& after, std::size_t f) {
    switch (static_cast<TagField>(f)) {
    case TagField::Track:
        return before.track != after.track;
    case TagField::Genre:
        return before.genreText != after.genreText;
    default:
        return trimTrailing(fieldText(before, f)) != trimTrailing(fieldText(after, f));
    }
}

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes, int bits) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>((value >> (bits * i)) & ((1u << bits) - 1)));
    }
}

/// Appends a frame; false when its content is too large for the version's size field.
bool putFrame(std::vector<std::uint8_t>& out, int major, const std::string& id, std::uint16_t flags,
              const std::vector<std::uint8_t>& content) {
    const std::size_t size = content.size();
    if (size > (major == 2 ? 0xFFFFFFu : kMaxId3v2Body)) {
        return false;
    }
    out.insert(out.end(), id.begin(), id.end());
    if (major == 2) {
        putBigEndian(out, static_cast<std::uint32_t>(size), 3, 8);
    } else {
        putBigEndian(out, static_cast<std::uint32_t>(size), 4, major == 4 ? 7 : 8);
        out.push_back(static_cast<std::uint8_t>(flags >> 8));
        out.push_back(static_cast<std::uint8_t>(flags & 0xFF));
    }
    out.insert(out.end(), content.begin(), content.end());
    return true;
}

std::vector<std::uint8_t> textContent(const QString& value, int major) {
    const std::uint8_t encoding = encodingFor(value, major);
    const auto text = encodeText(value, encoding);
    std::vector<std::uint8_t> content;
    content.reserve(text.size() + 1);
    content.push_back(encoding);
    content.insert(content.end(), text.begin(), text.end());
    return content;
}

std::vector<std::uint8_t> commentContent(const Comment& old, const QString& value, int major) {
    const std::uint8_t encoding = encodingFor(old.description + value, major);
    std::vector<std::uint8_t> content;
    content.reserve(16 + static_cast<std::size_t>(old.description.size() + value.size()) * 2);
    content.push_back(encoding);
    content.insert(content.end(), old.language.begin(), old.language.end());
    const auto description = encodeText(old.description, encoding);
    content.insert(content.end(), description.begin(), description.end());
    content.insert(content.end(), terminatorWidth(encoding), 0);
    const auto text = encodeText(value, encoding);
    content.insert(content.end(), text.begin(), text.end());
    return content;
}

} // namespace

std::optional<Id3v2Header> parseId3v2Header(std::span<const std::uint8_t> first,
                                            std::uint64_t fileSize) {
    common::ByteReader reader(first);
    if (!reader.matches(0, "ID3", 3) || first.size() < kId3v2HeaderSize) {
        return std::nullopt;
    }
    Id3v2Header header;
    header.major = reader.at(3);
    header.revision = reader.at(4);
    header.flags = reader.at(5);
    const std::uint32_t raw = reader.bigEndian32(6);
    if ((raw & 0x80808080u) != 0) {
        return std::nullopt;
    }
    header.bodySize = ((raw >> 3) & 0x0FE00000u) | ((raw >> 2) & 0x001FC000u) |
                      ((raw >> 1) & 0x00003F80u) | (raw & 0x7Fu);
    if (header.bodySize < 10 || kId3v2HeaderSize + header.bodySize > fileSize) {
        return std::nullopt;
    }
    return header;
}

Id3v2Tag parseId3v2Body(const Id3v2Header& header, std::span<const std::uint8_t> body) {
    Id3v2Tag tag;
    tag.header = header;
    const int major = header.major;
    if (major < 2 || major > 4 || (major == 2 && (header.flags & kTagExtendedHeader) != 0)) {
        return tag; // an unknown layout, or v2.2 compression: nothing to walk
    }
    common::ByteReader reader(body);
    bool writable = (header.flags & kTagUnsynchronised) == 0;
    std::size_t offset = 0;
    if (major > 2 && (header.flags & kTagExtendedHeader) != 0) {
        // Skipped to read the frames; a rewrite would have to keep its checksum right.
        writable = false;
        const std::uint32_t size = reader.bigEndian32(0);
        offset = major == 3 ? std::size_t{size} + 4
                            : ((size >> 3) & 0x0FE00000u) | ((size >> 2) & 0x001FC000u) |
                                  ((size >> 1) & 0x00003F80u) | (size & 0x7Fu);
    }
    if (major == 4 && (header.flags & kTagFooter) != 0) {
        writable = false;
    }
    const std::size_t headerSize = frameHeaderSize(major);
    const std::size_t idSize = major == 2 ? 3 : 4;
    bool walked = false;
    while (offset <= body.size()) {
        if (offset == body.size()) {
            walked = true;
            break;
        }
        if (reader.at(offset) == 0) {
            // Padding: the rest must be zeros, else something follows that we cannot read.
            walked = true;
            for (std::size_t i = offset; i < body.size(); ++i) {
                if (reader.at(i) != 0) {
                    walked = false;
                    break;
                }
            }
            break;
        }
        if (body.size() - offset < headerSize) {
            break;
        }
        Id3v2Frame frame;
        frame.offset = offset;
        bool validId = true;
        for (std::size_t i = 0; i < idSize; ++i) {
            const std::uint8_t c = reader.at(offset + i);
            validId = validId && isIdChar(c);
            frame.id.push_back(static_cast<char>(c));
        }
        if (!validId) {
            break;
        }
        std::size_t contentSize = 0;
        if (major == 2) {
            contentSize = (std::size_t{reader.at(offset + 3)} << 16) |
                          (std::size_t{reader.at(offset + 4)} << 8) | reader.at(offset + 5);
        } else {
            const std::uint32_t raw = reader.bigEndian32(offset + 4);
            if (major == 4) {
                if ((raw & 0x80808080u) != 0) {
                    break;
                }
                contentSize = ((raw >> 3) & 0x0FE00000u) | ((raw >> 2) & 0x001FC000u) |
                              ((raw >> 1) & 0x00003F80u) | (raw & 0x7Fu);
            } else {
                contentSize = raw;
            }
            frame.flags =
                static_cast<std::uint16_t>((reader.at(offset + 8) << 8) | reader.at(offset + 9));
        }
        if (contentSize > body.size() - offset - headerSize) {
            break; // runs past the body
        }
        frame.size = headerSize + contentSize;
        tag.frames.push_back(std::move(frame));
        offset += headerSize + contentSize;
    }
    tag.framesEnd = offset > body.size() ? body.size() : offset;

    bool commentHasDescription = false;
    const std::uint16_t formatFlags = major == 4 ? kFormatFlags24 : kFormatFlags23;
    for (std::size_t i = 0; i < tag.frames.size(); ++i) {
        const Id3v2Frame& frame = tag.frames[i];
        const int f = fieldOf(frame.id, major);
        if (f < 0) {
            continue;
        }
        if ((frame.flags & formatFlags) != 0) {
            writable = false; // compressed, encrypted or grouped text we do not decode
            continue;
        }
        const auto fi = static_cast<std::size_t>(f);
        const bool comment = static_cast<TagField>(f) == TagField::Comment;
        if (tag.source[fi] >= 0 && !(comment && commentHasDescription)) {
            continue; // the first frame of each kind counts
        }
        reader.seek(frame.offset + headerSize);
        const std::span<const std::uint8_t> content = reader.view(frame.size - headerSize);
        if (comment) {
            const Comment parsed = parseComment(content);
            if (tag.source[fi] >= 0 && !parsed.description.isEmpty()) {
                continue; // keep the first; prefer one without a description
            }
            commentHasDescription = !parsed.description.isEmpty();
            setField(tag.fields, fi, parsed.text);
        } else {
            common::ByteReader text(content);
            const std::uint8_t encoding = text.u8();
            setField(tag.fields, fi, decodeText(encoding, text.view(text.remaining())));
        }
        tag.source[fi] = static_cast<int>(i);
    }
    tag.writable = writable && walked;
    return tag;
}

std::optional<std::vector<std::uint8_t>>
buildId3v2Body(const Id3v2Tag& tag, std::span<const std::uint8_t> body, const TagFields& updated) {
    if (!tag.writable) {
        return std::nullopt;
    }
    const int major = tag.header.major;
    const std::size_t headerSize = frameHeaderSize(major);
    const auto& ids = idsFor(major);
    std::array<bool, kTagFieldCount> changed{};
    for (std::size_t f = 0; f < kTagFieldCount; ++f) {
        changed[f] = fieldChanged(tag.fields, updated, f);
    }
    common::ByteReader reader(body);
    std::vector<std::uint8_t> out;
    out.reserve(body.size() + 1024);
    for (std::size_t i = 0; i < tag.frames.size(); ++i) {
        const Id3v2Frame& frame = tag.frames[i];
        int replaced = -1;
        for (std::size_t f = 0; f < kTagFieldCount; ++f) {
            if (changed[f] && tag.source[f] == static_cast<int>(i)) {
                replaced = static_cast<int>(f);
            }
        }
        reader.seek(frame.offset);
        const std::span<const std::uint8_t> bytes = reader.view(frame.size);
        if (!reader.ok()) {
            return std::nullopt;
        }
        if (replaced < 0) {
            out.insert(out.end(), bytes.begin(), bytes.end());
            continue;
        }
        const auto f = static_cast<std::size_t>(replaced);
        const QString value = fieldText(updated, f);
        const auto content =
            static_cast<TagField>(f) == TagField::Comment
                ? commentContent(parseComment(bytes.subspan(headerSize)), value, major)
                : textContent(value, major);
        // Status flags stay; the content is stored plainly, so no format flag applies.
        const auto flags = static_cast<std::uint16_t>(frame.flags & 0xFF00u);
        if (!putFrame(out, major, frame.id, flags, content)) {
            return std::nullopt;
        }
    }
    for (std::size_t f = 0; f < kTagFieldCount; ++f) {
        const QString value = fieldText(updated, f);
        if (!changed[f] || tag.source[f] >= 0 || value.isEmpty()) {
            continue;
        }
        const auto content = static_cast<TagField>(f) == TagField::Comment
                                 ? commentContent(Comment{}, value, major)
                                 : textContent(value, major);
        if (!putFrame(out, major, ids[f], 0, content)) {
            return std::nullopt;
        }
    }
    if (out.size() > kMaxId3v2Body) {
        return std::nullopt;
    }
    if (out.size() < body.size()) {
        out.resize(body.size(), 0); // the old padding absorbs the change
    }
    return out;
}

std::array<std::uint8_t, kId3v2HeaderSize> id3v2HeaderBytes(const Id3v2Header& header,
                                                            std::uint32_t bodySize) {
    return {'I',
            'D',
            '3',
            header.major,
            header.revision,
            header.flags,
            static_cast<std::uint8_t>((bodySize >> 21) & 0x7F),
            static_cast<std::uint8_t>((bodySize >> 14) & 0x7F),
            static_cast<std::uint8_t>((bodySize >> 7) & 0x7F),
            static_cast<std::uint8_t>(bodySize & 0x7F)};
}

} // namespace mireldo::tags
