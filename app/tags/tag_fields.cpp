#include "tag_fields.h"

#include <array>

namespace mireldo::tags {

namespace {

// Many names to a line: the formatter would give each of the 148 names a line of its own.
// clang-format off
constexpr std::array<const char*, kGenreCount> kGenres{
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "A&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul",
    "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
    "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southen Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle",
    "Native American", "Cabaret", "New Wave", "Psychedelic", "Rave", "Showtunes", "Trailer",
    "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll",
    "Hard Rock", "Folk", "Folk/Rock", "National Folk", "Swing", "Fast-Fusion", "Bebob", "Latin",
    "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock",
    "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening",
    "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony",
    "Botty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock",
    "Drum Solo", "A Cappella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House",
    "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat",
    "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian",
    "Christian Rock", "merengue", "Salsa", "Thrash Metal", "Anime", "JPop", "Synthpop",
};
// clang-format on

/// Largest value leadingNumber() builds up to.
constexpr int kNumberCeiling = 999'999'999;

QString cut(const QString& text, int limit) {
    return text.size() > limit ? text.left(limit) : text;
}

} // namespace

std::span<const char* const> genreNames() {
    return kGenres;
}

QString genreName(int position) {
    if (position < 0 || position >= kGenreCount) {
        return {};
    }
    return QString::fromLatin1(kGenres[static_cast<std::size_t>(position)]);
}

QString trimTrailing(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace()) {
        --end;
    }
    return text.left(end);
}

TagFields normalizedForUpdate(TagFields fields, bool id3v1) {
    fields.title = trimTrailing(fields.title);
    fields.artist = trimTrailing(fields.artist);
    fields.album = trimTrailing(fields.album);
    fields.year = trimTrailing(fields.year);
    fields.comment = trimTrailing(fields.comment);
    if (fields.track < 0 || fields.track > kMaxTrack) {
        fields.track = kMaxTrack;
    }
    if (id3v1) {
        // Cutting can leave white space at the new end, which the tag's reader strips again.
        fields.title = trimTrailing(cut(fields.title, kV1TextLimit));
        fields.artist = trimTrailing(cut(fields.artist, kV1TextLimit));
        fields.album = trimTrailing(cut(fields.album, kV1TextLimit));
        fields.year = trimTrailing(cut(fields.year, kV1YearLimit));
        fields.comment = trimTrailing(cut(fields.comment, kV1CommentLimit));
    }
    return fields;
}

int leadingNumber(const QString& text) {
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            break;
        }
        if (value <= kNumberCeiling / 10) {
            value = value * 10 + (c.unicode() - u'0');
        }
    }
    return value;
}

GenreChoice::GenreChoice(const TagFields& fields) {
    if (!fields.genreText.isEmpty()) {
        for (int i = 0; i < kGenreCount; ++i) {
            if (fields.genreText.compare(QLatin1String(kGenres[static_cast<std::size_t>(i)]),
                                         Qt::CaseInsensitive) == 0) {
                initialRow_ = i;
                return;
            }
        }
        extra_ = fields.genreText;
        initialRow_ = kGenreCount;
        return;
    }
    initialRow_ = (fields.genrePosition >= 0 && fields.genrePosition < kGenreCount)
                      ? fields.genrePosition
                      : kGenreOther;
}

QStringList GenreChoice::entries() const {
    QStringList rows;
    rows.reserve(kGenreCount + 1);
    for (const char* name : kGenres) {
        rows.append(QString::fromLatin1(name));
    }
    if (!extra_.isEmpty()) {
        rows.append(extra_);
    }
    return rows;
}

void GenreChoice::apply(int row, TagFields& fields) const {
    if (row == initialRow_ || row < 0 || row >= kGenreCount) {
        return;
    }
    fields.genreText = genreName(row);
    fields.genrePosition = row;
}

} // namespace mireldo::tags
