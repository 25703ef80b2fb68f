#include "tag_command.h"

#include "mp3_tag_file.h"
#include "native_path.h"
#include "tag_fields.h"
#include "wma_tag_editor.h"

namespace mireldo::cli {

namespace {

using tags::TagFields;

const char* const kUsage =
    "usage: mireldo-cli tag FILE [--title T] [--artist A] [--album B] [--year Y] [--comment C]\n"
    "                           [--track N] [--genre G]\n";

QByteArray local(const QString& text) {
    return platform::encodePath(text);
}

/// The fields as the dialog shows them: the genre is the drop list's selected row.
void print(const TagFields& f, Console console) {
    const tags::GenreChoice genre(f);
    const QString genreText = genre.entries().value(genre.initialRow());
    std::fprintf(console.out,
                 "Title: %s\nArtist: %s\nAlbum: %s\nYear: %s\nComment: %s\nTrack: %d\n"
                 "Genre: %s\n",
                 local(f.title).constData(), local(f.artist).constData(),
                 local(f.album).constData(), local(f.year).constData(),
                 local(f.comment).constData(), f.track, local(genreText).constData());
}

/// Sets the genre as the dialog's drop list would: a listed name (any case) picks that entry,
/// a number picks that position, any other text is kept as it is.
void setGenre(TagFields& f, const QString& value) {
    bool number = false;
    const int position = value.toInt(&number);
    if (number && position >= 0 && position < tags::kGenreCount) {
        f.genreText = tags::genreName(position);
        f.genrePosition = position;
        return;
    }
    for (int i = 0; i < tags::kGenreCount; ++i) {
        if (value.compare(tags::genreName(i), Qt::CaseInsensitive) == 0) {
            f.genreText = tags::genreName(i);
            f.genrePosition = i;
            return;
        }
    }
    f.genreText = value;
}

/// True for a path the tag command treats as WMA: its last three characters, in any case.
bool isWma(const QString& path) {
    return path.right(3).compare(QStringLiteral("wma"), Qt::CaseInsensitive) == 0;
}

/// Applies the options given on the command line to `f`.
void applyOptions(const QList<std::pair<QString, QString>>& options, TagFields& f) {
    for (const auto& [name, value] : options) {
        if (name == QStringLiteral("--title")) {
            f.title = value;
        } else if (name == QStringLiteral("--artist")) {
            f.artist = value;
        } else if (name == QStringLiteral("--album")) {
            f.album = value;
        } else if (name == QStringLiteral("--year")) {
            f.year = value;
        } else if (name == QStringLiteral("--comment")) {
            f.comment = value;
        } else if (name == QStringLiteral("--track")) {
            const unsigned track = value.toUInt();
            f.track = track > static_cast<unsigned>(tags::kMaxTrack) ? tags::kMaxTrack
                                                                     : static_cast<int>(track);
        } else {
            setGenre(f, value);
        }
    }
}

/// The WMA half: the attributes through the runtime's metadata editor, as the WMA dialog
/// reads and writes them (every field is written on a change).
int runWmaTag(const QString& path, const QList<std::pair<QString, QString>>& options,
              Console console) {
    tags::WmaTagEditor editor;
    if (!editor.open(path)) {
        std::fprintf(console.err, "mireldo-cli tag: %s: cannot be read\n", local(path).constData());
        return kExitFailed;
    }
    if (options.isEmpty()) {
        print(editor.fields(), console);
        return kExitOk;
    }
    TagFields f = editor.fields();
    applyOptions(options, f);
    if (!editor.write(f)) {
        std::fprintf(console.err, "mireldo-cli tag: %s: cannot be written; the file is unchanged\n",
                     local(path).constData());
        return kExitFailed;
    }
    tags::WmaTagEditor again;
    if (!again.open(path)) {
        return kExitFailed;
    }
    print(again.fields(), console);
    return kExitOk;
}

} // namespace

int runTag(const QStringList& args, Console console) {
    if (args.isEmpty() || args.front().startsWith(QLatin1Char('-'))) {
        std::fputs(kUsage, console.err);
        return kExitUsage;
    }
    const QString path = args.front();
    QList<std::pair<QString, QString>> options;
    for (qsizetype i = 1; i < args.size(); i += 2) {
        static const QStringList known{QStringLiteral("--title"),   QStringLiteral("--artist"),
                                       QStringLiteral("--album"),   QStringLiteral("--year"),
                                       QStringLiteral("--comment"), QStringLiteral("--track"),
                                       QStringLiteral("--genre")};
        if (!known.contains(args[i]) || i + 1 >= args.size()) {
            std::fputs(kUsage, console.err);
            return kExitUsage;
        }
        if (args[i] == QStringLiteral("--track")) {
            bool ok = false;
            args[i + 1].toUInt(&ok);
            if (!ok) {
                std::fprintf(console.err, "mireldo-cli tag: --track takes a number\n");
                return kExitUsage;
            }
        }
        options.append({args[i], args[i + 1]});
    }

    if (isWma(path)) {
        return runWmaTag(path, options, console);
    }
    const tags::Mp3TagRead read = tags::readMp3Tag(path);
    if (read.status != tags::TagStatus::Ok) {
        std::fprintf(console.err, "mireldo-cli tag: %s: %s\n", local(path).constData(),
                     read.status == tags::TagStatus::TooShort ? "too short to carry a tag"
                                                              : "cannot be read");
        return kExitFailed;
    }
    if (options.isEmpty()) {
        print(read.tag.fields, console);
        return kExitOk;
    }
    TagFields f = read.tag.fields;
    applyOptions(options, f);
    const tags::TagStatus written = tags::writeMp3Tag(path, f);
    if (written != tags::TagStatus::Ok) {
        std::fprintf(console.err, "mireldo-cli tag: %s: %s\n", local(path).constData(),
                     written == tags::TagStatus::NotWritable
                         ? "its tag cannot be rewritten safely; the file is unchanged"
                         : "cannot be written; the file is unchanged");
        return kExitFailed;
    }
    const tags::Mp3TagRead again = tags::readMp3Tag(path);
    if (again.status != tags::TagStatus::Ok) {
        return kExitFailed;
    }
    print(again.tag.fields, console);
    return kExitOk;
}

} // namespace mireldo::cli
