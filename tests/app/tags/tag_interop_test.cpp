// Every tag we write is read back by outside readers with the same seven values: ffprobe and
// TagLib, on files made by lame. mireldo-cli tag drives the engine as a user does.

#include "mp3_tag_file.h"
#include "tag_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/mpegfile.h>

#include <map>

using namespace mireldo::tags;
using namespace tagtest;
using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

std::string ffprobe() {
    const std::string ffmpeg = MIRELDO_FFMPEG_EXE;
    return ffmpeg.substr(0, ffmpeg.rfind('/') + 1) + "ffprobe";
}

/// The format tags ffprobe reads, by lower-case key.
std::map<std::string, std::string> probe(const std::string& path) {
    const auto r = runCommand(ffprobe() + " -v error -show_entries format_tags -of default=nw=1 " +
                              shellQuote(path));
    std::map<std::string, std::string> tags;
    std::size_t start = 0;
    while (start < r.output.size()) {
        std::size_t end = r.output.find('\n', start);
        if (end == std::string::npos) {
            end = r.output.size();
        }
        const std::string line = r.output.substr(start, end - start);
        const auto eq = line.find('=');
        if (line.rfind("TAG:", 0) == 0 && eq != std::string::npos) {
            std::string key = line.substr(4, eq - 4);
            for (char& c : key) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            tags[key] = line.substr(eq + 1);
        }
        start = end + 1;
    }
    return tags;
}

std::string utf8(const QString& s) {
    return s.toStdString();
}

class TagInterop : public ::testing::TestWithParam<int> {
  protected:
    testsupport::TempDir dir_;
    std::string path_ = dir_.file("song.mp3");
};

TagFields sample(bool wide) {
    TagFields f;
    f.title = wide ? QString::fromUtf8("Tïtle ж") : QStringLiteral("Title");
    f.artist = QStringLiteral("The Artist");
    // ffprobe reads ID3v1 bytes as UTF-8, so the ISO-8859-1 check is TagLib's alone.
    f.album = wide ? QString::fromUtf8("Album é") : QStringLiteral("Album");
    f.year = QStringLiteral("1999");
    f.comment = QStringLiteral("Some comment");
    f.track = 7;
    f.genreText = QStringLiteral("Rock");
    f.genrePosition = 17;
    return f;
}

// Parameter: 3 or 4 for a tag of that version, 1 for ID3v1, 0 for a file without tags.
TEST_P(TagInterop, OutsideReadersSeeTheSevenValues) {
    const int kind = GetParam();
    Bytes start;
    if (kind >= 3) {
        start = tag(kind,
                    {frame(kind, "TIT2", latin1Text("old")), frame(kind, "TXXX", latin1Text("x"))});
    }
    Bytes file = start + mp3Audio();
    if (kind == 1 || kind == 0) {
        // The ISO-8859-1 slot, read by TagLib: é is one byte there.
        TagFields latin = sample(false);
        latin.album = QString::fromUtf8("Album é");
        testsupport::writeFile(path_, mp3Audio());
        ASSERT_EQ(writeMp3Tag(QString::fromStdString(path_), latin), TagStatus::Ok);
        TagLib::MPEG::File t(path_.c_str());
        EXPECT_EQ(t.tag()->album().to8Bit(true), "Album é");
    }
    if (kind == 1) {
        Bytes v1(128, 0);
        v1[0] = 'T';
        v1[1] = 'A';
        v1[2] = 'G';
        file = file + v1;
    }
    testsupport::writeFile(path_, file);
    const bool v2 = kind >= 3;
    ASSERT_EQ(writeMp3Tag(QString::fromStdString(path_), sample(v2)), TagStatus::Ok);
    const TagFields expected = readMp3Tag(QString::fromStdString(path_)).tag.fields;
    if (v2) {
        EXPECT_EQ(expected, [] {
            TagFields f = sample(true);
            f.genrePosition = 0; // a genre text reads with position 0
            return f;
        }());
    }

    const auto p = probe(path_);
    EXPECT_EQ(p.count("title") ? p.at("title") : "", utf8(expected.title));
    EXPECT_EQ(p.count("artist") ? p.at("artist") : "", utf8(expected.artist));
    EXPECT_EQ(p.count("album") ? p.at("album") : "", utf8(expected.album));
    EXPECT_EQ(p.count("date") ? p.at("date") : "", utf8(expected.year));
    EXPECT_EQ(p.count("comment") ? p.at("comment") : "", utf8(expected.comment));
    EXPECT_EQ(p.count("track") ? p.at("track") : "", std::to_string(expected.track));

    TagLib::MPEG::File t(path_.c_str());
    ASSERT_TRUE(t.isValid());
    TagLib::Tag* tl = t.tag();
    EXPECT_EQ(tl->title().to8Bit(true), utf8(expected.title));
    EXPECT_EQ(tl->artist().to8Bit(true), utf8(expected.artist));
    EXPECT_EQ(tl->album().to8Bit(true), utf8(expected.album));
    EXPECT_EQ(std::to_string(tl->year()), utf8(expected.year));
    EXPECT_EQ(tl->comment().to8Bit(true), utf8(expected.comment));
    EXPECT_EQ(static_cast<int>(tl->track()), expected.track);
    if (v2) {
        EXPECT_EQ(p.count("genre") ? p.at("genre") : "", utf8(expected.genreText));
        EXPECT_EQ(tl->genre().to8Bit(true), utf8(expected.genreText));
    } else {
        // The list's spellings differ from other readers' at a few positions: compare numbers.
        EXPECT_EQ(static_cast<int>(t.ID3v1Tag()->genreNumber()), expected.genrePosition);
        EXPECT_EQ(TagLib::ID3v1::genreIndex(
                      TagLib::String(p.count("genre") ? p.at("genre") : "", TagLib::String::UTF8)),
                  expected.genrePosition);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, TagInterop, ::testing::Values(0, 1, 3, 4));

class TagCli : public ::testing::Test {
  protected:
    testsupport::CommandResult cli(const std::string& args) {
        return runCommand(shellQuote(testsupport::binDir() + "/mireldo-cli") + " tag " + args +
                          " 2>/dev/null");
    }
    testsupport::TempDir dir_;
    std::string path_ = dir_.file("song.MP3");
};

TEST_F(TagCli, ShowsWritesAndKeepsFieldsNotGiven) {
    testsupport::writeFile(
        path_, tag(3, {frame(3, "TIT2", latin1Text("Old")), frame(3, "TPE1", latin1Text("Kept"))}) +
                   mp3Audio());
    auto r = cli(shellQuote(path_));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "Title: Old\nArtist: Kept\nAlbum: \nYear: \nComment: \nTrack: 0\n"
                        "Genre: Other\n");
    r = cli(shellQuote(path_) + " --title " + shellQuote("New é") + " --track 12 --genre jazz");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "Title: New é\nArtist: Kept\nAlbum: \nYear: \nComment: \nTrack: 12\n"
                        "Genre: Jazz\n");
    const TagFields f = readMp3Tag(QString::fromStdString(path_)).tag.fields;
    EXPECT_EQ(f.genreText, QStringLiteral("Jazz"));
}

TEST_F(TagCli, ExitStatusTellsUsageFromFailure) {
    testsupport::writeFile(path_, mp3Audio());
    EXPECT_EQ(cli("").exitCode, 2);
    EXPECT_EQ(cli(shellQuote(path_) + " --title").exitCode, 2);
    EXPECT_EQ(cli(shellQuote(path_) + " --bogus x").exitCode, 2);
    EXPECT_EQ(cli(shellQuote(path_) + " --track seven").exitCode, 2);
    EXPECT_EQ(cli(shellQuote(dir_.file("absent.mp3"))).exitCode, 1);
    Bytes broken = tag(3, {frame(3, "TIT2", latin1Text("x"))});
    broken[10 + 7] = 0x7F; // the frame runs past the body
    testsupport::writeFile(path_, broken + mp3Audio());
    EXPECT_EQ(cli(shellQuote(path_) + " --title y").exitCode, 1);
    EXPECT_EQ(testsupport::readFile(path_), broken + mp3Audio());
}

} // namespace
