#include "id3v1.h"

#include "byte_reader.h"
#include "id3_text.h"

#include <algorithm>

namespace mireldo::tags {

namespace {

QString slot(common::ByteReader& reader, std::size_t offset, std::size_t width) {
    QString text;
    for (std::size_t i = 0; i < width; ++i) {
        const std::uint8_t c = reader.at(offset + i);
        if (c == 0) {
            break;
        }
        text.append(QChar(static_cast<char16_t>(c)));
    }
    return trimTrailing(text);
}

void putSlot(std::array<std::uint8_t, kId3v1Size>& out, std::size_t offset, std::size_t width,
             const QString& text) {
    const auto bytes = latin1OrQuestion(text);
    const std::size_t n = std::min(width, bytes.size());
    std::copy_n(bytes.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(offset));
    std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(offset + n), width - n,
                std::uint8_t{' '});
}

} // namespace

std::optional<TagFields> parseId3v1(std::span<const std::uint8_t> last) {
    common::ByteReader reader(last);
    if (last.size() != kId3v1Size || !reader.matches(0, "TAG", 3)) {
        return std::nullopt;
    }
    TagFields fields;
    fields.title = slot(reader, 3, 30);
    fields.artist = slot(reader, 33, 30);
    fields.album = slot(reader, 63, 30);
    fields.year = slot(reader, 93, 4);
    fields.comment = slot(reader, 97, 29);
    const std::uint8_t track = reader.at(126);
    const std::uint8_t genre = reader.at(127);
    fields.track = track <= 127 ? track : kMaxTrack;
    fields.genrePosition = genre <= 127 ? genre : 0;
    return fields;
}

std::array<std::uint8_t, kId3v1Size> id3v1Bytes(const TagFields& fields) {
    std::array<std::uint8_t, kId3v1Size> out{};
    out[0] = 'T';
    out[1] = 'A';
    out[2] = 'G';
    putSlot(out, 3, 30, fields.title);
    putSlot(out, 33, 30, fields.artist);
    putSlot(out, 63, 30, fields.album);
    putSlot(out, 93, 4, fields.year);
    putSlot(out, 97, 28, fields.comment);
    out[125] = 0;
    out[126] = static_cast<std::uint8_t>(fields.track & 0xFF);
    out[127] = static_cast<std::uint8_t>(fields.genrePosition & 0xFF);
    return out;
}

} // namespace mireldo::tags
