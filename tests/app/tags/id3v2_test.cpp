// The ID3v2 walk and rewrite on files: which frames change, what stays byte for byte, the
// versions' frame headers, text encodings, and the tags that must not be rewritten.

#include "id3v2.h"
#include "mp3_tag_file.h"
#include "tag_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>

using namespace mireldo::tags;
using namespace tagtest;

namespace {

class Id3v2File : public ::testing::Test {
  protected:
    std::string write(const Bytes& tagBytes) {
        testsupport::writeFile(path_, tagBytes + mp3Audio());
        return path_;
    }
    Bytes bytes() const { return testsupport::readFile(path_); }
    QString qpath() const { return QString::fromStdString(path_); }
    TagFields read() {
        const Mp3TagRead r = readMp3Tag(qpath());
        EXPECT_EQ(r.status, TagStatus::Ok);
        EXPECT_EQ(r.tag.kind, TagKind::Id3v2);
        return r.tag.fields;
    }
    /// The tag walked from the file as it is now.
    Id3v2Tag walk() {
        const Bytes b = bytes();
        const auto header = parseId3v2Header(b, b.size());
        EXPECT_TRUE(header.has_value());
        return parseId3v2Body(*header, std::span(b).subspan(10, header->bodySize));
    }
    std::vector<std::string> ids() {
        std::vector<std::string> out;
        for (const auto& f : walk().frames) {
            out.push_back(f.id);
        }
        return out;
    }
    /// True when the file ends with the audio exactly as lame made it.
    bool audioIntact() {
        const Bytes b = bytes();
        const Bytes& audio = mp3Audio();
        return b.size() >= audio.size() &&
               std::equal(audio.begin(), audio.end(), b.end() - static_cast<long>(audio.size()));
    }

    testsupport::TempDir dir_;
    std::string path_ = dir_.file("song.mp3");
};

TEST_F(Id3v2File, FieldsWithoutAFrameAreAddedOnlyWhenFilled) {
    write(tag(
        3, {frame(3, "TIT2", latin1Text("Old title")), frame(3, "TPE1", latin1Text("Someone"))}));
    TagFields f = read();
    EXPECT_EQ(f.title, QStringLiteral("Old title"));
    f.title = QStringLiteral("New");
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    EXPECT_EQ(ids(), (std::vector<std::string>{"TIT2", "TPE1"})) << "no TALB for an empty album";
    EXPECT_EQ(read().title, QStringLiteral("New"));

    f = read();
    f.album = QStringLiteral("An album");
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    EXPECT_EQ(ids(), (std::vector<std::string>{"TIT2", "TPE1", "TALB"}));
    EXPECT_EQ(read().album, QStringLiteral("An album"));
    EXPECT_TRUE(audioIntact());
}

TEST_F(Id3v2File, ShortTitleShrinksTheFrameAndKeepsTheAudio) {
    write(tag(3, {frame(3, "TIT2", latin1Text("A rather long title of a song")),
                  frame(3, "TPE1", latin1Text("Artist"))}));
    TagFields f = read();
    f.title = QStringLiteral("Short");
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    const Id3v2Tag t = walk();
    ASSERT_FALSE(t.frames.empty());
    EXPECT_EQ(t.frames[0].size - 10, 6u) << "encoding byte and five characters";
    EXPECT_EQ(read().title, QStringLiteral("Short"));
    EXPECT_EQ(read().artist, QStringLiteral("Artist"));
    EXPECT_TRUE(audioIntact()) << "the MPEG payload after the tag must not change";
}

TEST_F(Id3v2File, LargePictureSurvivesATitleChangeByteForByte) {
    Bytes picture{0};
    for (const char c : std::string("image/png")) {
        picture.push_back(static_cast<std::uint8_t>(c));
    }
    picture.insert(picture.end(), {0, 3, 0});
    const Bytes pixels = testsupport::patternBytes(300 * 1024, 7);
    picture.insert(picture.end(), pixels.begin(), pixels.end());
    const Bytes apic = frame(4, "APIC", picture);
    write(tag(
        4, {frame(4, "TIT2", latin1Text("Before")), apic, frame(4, "TDRC", latin1Text("2001"))}));
    TagFields f = read();
    EXPECT_EQ(f.year, QStringLiteral("2001")) << "v2.4 keeps the year in TDRC";
    f.title = QStringLiteral("After the change, a longer title");
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    const Bytes b = bytes();
    EXPECT_NE(std::search(b.begin(), b.end(), apic.begin(), apic.end()), b.end());
    EXPECT_EQ(read().title, QStringLiteral("After the change, a longer title"));
    EXPECT_EQ(read().year, QStringLiteral("2001"));
    EXPECT_TRUE(audioIntact());
}

TEST_F(Id3v2File, VersionsWalkWithTheirOwnFrameHeaders) {
    // v2.2: three-character identifiers and three-byte sizes.
    write(tag(2, {frame(2, "TT2", latin1Text("Twenty two")), frame(2, "TP1", latin1Text("Old")),
                  frame(2, "TYE", latin1Text("1999")), frame(2, "TRK", latin1Text("4/9"))}));
    TagFields f = read();
    EXPECT_EQ(f.title, QStringLiteral("Twenty two"));
    EXPECT_EQ(f.artist, QStringLiteral("Old"));
    EXPECT_EQ(f.year, QStringLiteral("1999"));
    EXPECT_EQ(f.track, 4);
    f.album = QStringLiteral("Added");
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    EXPECT_EQ(ids().back(), "TAL");
    EXPECT_EQ(read().album, QStringLiteral("Added"));

    // v2.4: a synchsafe frame size of 200 reads 0x00 0x00 0x01 0x48; read as a plain number
    // it would run past the body.
    const std::string long200(199, 'x');
    write(tag(4, {frame(4, "TIT2", latin1Text(long200)), frame(4, "TPE1", latin1Text("After"))}));
    f = read();
    EXPECT_EQ(f.title.size(), 199);
    EXPECT_EQ(f.artist, QStringLiteral("After"));
    EXPECT_TRUE(readMp3Tag(qpath()).tag.writable);

    // v2.3 keeps the year in TYER; a TDRC there is some other frame.
    write(tag(3, {frame(3, "TDRC", latin1Text("2020")), frame(3, "TYER", latin1Text("1987"))}));
    f = read();
    EXPECT_EQ(f.year, QStringLiteral("1987"));
    f.year = QStringLiteral("1988");
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    EXPECT_EQ(ids(), (std::vector<std::string>{"TDRC", "TYER"}));
    EXPECT_EQ(read().year, QStringLiteral("1988"));
}

TEST_F(Id3v2File, PaddingEndsTheWalkWhateverItsLength) {
    write(tag(3, {frame(3, "TIT2", latin1Text("Padded"))}, 1037));
    const Mp3TagRead r = readMp3Tag(qpath());
    EXPECT_TRUE(r.tag.writable);
    TagFields f = r.tag.fields;
    const std::size_t before = bytes().size();
    f.comment = QStringLiteral("fits in the padding");
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    EXPECT_EQ(bytes().size(), before) << "the padding takes the new frame; size unchanged";
    EXPECT_EQ(read().comment, QStringLiteral("fits in the padding"));
    EXPECT_TRUE(audioIntact());
}

TEST_F(Id3v2File, TagsThatCannotBeWalkedAreReadButNeverRewritten) {
    struct Case {
        const char* name;
        Bytes tagBytes;
    };
    Bytes pastEnd =
        tag(3, {frame(3, "TIT2", latin1Text("Readable")), frame(3, "TPE1", latin1Text("Cut"))});
    pastEnd[10 + 19 + 7] = 0x40; // TPE1 now claims 64 content bytes
    const std::vector<Case> cases{
        {"frame past the body", pastEnd},
        {"unsynchronised", tag(3, {frame(3, "TIT2", latin1Text("Readable"))}, 0, 0x80)},
        {"compressed title",
         tag(3, {frame(3, "TPE1", latin1Text("x")), frame(3, "TIT2", latin1Text("zzzz"), 0x0080)})},
        {"junk after padding", tag(3, {frame(3, "TIT2", latin1Text("Readable"))}, 20) + Bytes{}},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name) == "junk after padding") {
            c.tagBytes[c.tagBytes.size() - 3] = 0x55;
        }
        write(c.tagBytes);
        const Bytes before = bytes();
        const Mp3TagRead r = readMp3Tag(qpath());
        ASSERT_EQ(r.status, TagStatus::Ok);
        EXPECT_FALSE(r.tag.writable);
        if (std::string(c.name) != "compressed title") {
            EXPECT_EQ(r.tag.fields.title, QStringLiteral("Readable")) << "read as far as it walks";
        }
        TagFields f = r.tag.fields;
        f.title = QStringLiteral("Changed");
        EXPECT_EQ(writeMp3Tag(qpath(), f), TagStatus::NotWritable);
        EXPECT_EQ(bytes(), before);
    }
}

TEST_F(Id3v2File, TextEncodingsReadAndWriteRight) {
    // UTF-16 with a big-endian mark, UTF-16BE, UTF-8, and a comment with language and
    // description.
    Bytes utf16{1, 0xFE, 0xFF, 0x04, 0x36, 0x00, 'a'};
    Bytes utf16be{2, 0x00, 0xE9, 0x00, 'b'};
    Bytes utf8{3, 0xD0, 0xB6, 'c'};
    Bytes comm{0, 'e', 'n', 'g', 'd', 'e', 's', 'c', 0, 'h', 'e', 'l', 'l', 'o'};
    write(tag(4, {frame(4, "TIT2", utf16), frame(4, "TPE1", utf16be), frame(4, "TALB", utf8),
                  frame(4, "COMM", comm)}));
    TagFields f = read();
    EXPECT_EQ(f.title, QString::fromUtf8("жa"));
    EXPECT_EQ(f.artist, QString::fromUtf8("éb"));
    EXPECT_EQ(f.album, QString::fromUtf8("жc"));
    EXPECT_EQ(f.comment, QStringLiteral("hello"));

    for (int major : {3, 4}) {
        SCOPED_TRACE(major);
        write(tag(major, {frame(major, "TIT2", latin1Text("plain"))}));
        f = read();
        f.title = QString::fromUtf8("é and ж");
        f.artist = QString::fromUtf8("café");
        f.comment = QString::fromUtf8("коммент");
        ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
        const Id3v2Tag t = walk();
        const Bytes b = bytes();
        // Encoding byte of each frame: UTF-16 (1) in v2.3 and UTF-8 (3) in v2.4 where the text
        // needs it, ISO-8859-1 (0) where it fits.
        EXPECT_EQ(b[10 + t.frames[0].offset + 10], major == 3 ? 1 : 3);
        EXPECT_EQ(b[10 + t.frames[1].offset + 10], 0);
        const TagFields back = read();
        EXPECT_EQ(back.title, QString::fromUtf8("é and ж"));
        EXPECT_EQ(back.artist, QString::fromUtf8("café"));
        EXPECT_EQ(back.comment, QString::fromUtf8("коммент"));
    }
}

TEST_F(Id3v2File, UntouchedFieldsKeepEveryByte) {
    const std::string longTitle = "A title much longer than thirty characters, kept whole";
    Bytes comm{1, 'd', 'e', 'u', 0xFF, 0xFE, 0, 0, 0xFF, 0xFE, 'x', 0};
    const Bytes tagBytes = tag(3, {frame(3, "TIT2", latin1Text(longTitle + "   ")),
                                   frame(3, "TCON", latin1Text("Chiptune")), frame(3, "COMM", comm),
                                   frame(3, "TRCK", latin1Text("07/12"))});
    write(tagBytes);
    TagFields f = read();
    EXPECT_EQ(f.genreText, QStringLiteral("Chiptune"));
    EXPECT_EQ(f.track, 7);
    EXPECT_EQ(f.comment, QStringLiteral("x"));
    f.year = QStringLiteral("1999");
    // The title as read ends in blanks, which an Update trims: that alone is no change.
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    const Bytes b = bytes();
    // Every old frame is still there byte for byte, the new year frame follows them.
    const Bytes oldFrames(tagBytes.begin() + 10, tagBytes.end());
    EXPECT_TRUE(std::equal(oldFrames.begin(), oldFrames.end(), b.begin() + 10));
    const TagFields back = read();
    EXPECT_EQ(back.title, QString::fromStdString(longTitle + "   "));
    EXPECT_EQ(back.genreText, QStringLiteral("Chiptune"));
    EXPECT_EQ(back.year, QStringLiteral("1999"));
}

TEST_F(Id3v2File, CommentKeepsItsLanguageAndDescription) {
    Bytes comm{0, 'd', 'e', 'u', 'n', 'o', 't', 'e', 0, 'a', 'l', 't'};
    write(tag(3, {frame(3, "COMM", comm)}));
    TagFields f = read();
    f.comment = QStringLiteral("neu");
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    const Bytes expected =
        frame(3, "COMM", Bytes{0, 'd', 'e', 'u', 'n', 'o', 't', 'e', 0, 'n', 'e', 'u'});
    const Bytes b = bytes();
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), b.begin() + 10));
}

} // namespace
