// ID3v1 tags at the end of a file: reading its slots, appending a new tag, rewriting it in
// place, and the ISO-8859-1 limits.

#include "id3v1.h"
#include "mp3_tag_file.h"
#include "tag_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace mireldo::tags;
using namespace tagtest;

namespace {

Bytes v1(const std::string& title, std::uint8_t track, std::uint8_t genre,
         const std::string& comment = "") {
    Bytes t(128, 0);
    t[0] = 'T';
    t[1] = 'A';
    t[2] = 'G';
    std::copy(title.begin(), title.end(), t.begin() + 3);
    std::copy(comment.begin(), comment.end(), t.begin() + 97);
    t[126] = track;
    t[127] = genre;
    return t;
}

class Id3v1File : public ::testing::Test {
  protected:
    QString qpath() const { return QString::fromStdString(path_); }
    Bytes bytes() const { return testsupport::readFile(path_); }
    testsupport::TempDir dir_;
    std::string path_ = dir_.file("song.mp3");
};

TEST_F(Id3v1File, OutOfRangeBytesReadAsThePartSays) {
    testsupport::writeFile(path_, mp3Audio() + v1("Title   ", 200, 255));
    const Mp3TagRead r = readMp3Tag(qpath());
    ASSERT_EQ(r.tag.kind, TagKind::Id3v1);
    EXPECT_EQ(r.tag.fields.title, QStringLiteral("Title")) << "trailing blanks stripped";
    EXPECT_EQ(r.tag.fields.track, 254);
    EXPECT_EQ(r.tag.fields.genrePosition, 0) << "genre 255 shows Blues";
    EXPECT_EQ(genreName(r.tag.fields.genrePosition), QStringLiteral("Blues"));
}

TEST_F(Id3v1File, ThirtyCharacterCommentReadsAsTwentyNine) {
    Bytes t = v1("x", 0, 1);
    const std::string comment(30, 'c');
    std::copy(comment.begin(), comment.end(), t.begin() + 97); // over bytes 97..126
    testsupport::writeFile(path_, mp3Audio() + t);
    const Mp3TagRead r = readMp3Tag(qpath());
    EXPECT_EQ(r.tag.fields.comment, QString(29, QLatin1Char('c')));
    EXPECT_EQ(r.tag.fields.track, 99) << "its last character is the track byte ('c')";
}

TEST_F(Id3v1File, UntaggedFileGetsATagAppendedThenRewrittenInPlace) {
    testsupport::writeFile(path_, mp3Audio());
    Mp3TagRead r = readMp3Tag(qpath());
    ASSERT_EQ(r.tag.kind, TagKind::None);
    TagFields f = r.tag.fields;
    f.title = QString::fromUtf8("A title much longer than thirty characters");
    f.artist = QString::fromUtf8("Ан artist");
    f.year = QStringLiteral("20245");
    f.track = 300;
    f.genrePosition = 17;
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    Bytes b = bytes();
    ASSERT_EQ(b.size(), mp3Audio().size() + 128);
    EXPECT_TRUE(std::equal(mp3Audio().begin(), mp3Audio().end(), b.begin()));
    r = readMp3Tag(qpath());
    ASSERT_EQ(r.tag.kind, TagKind::Id3v1);
    EXPECT_EQ(r.tag.fields.title, QStringLiteral("A title much longer than thirt"));
    EXPECT_EQ(r.tag.fields.artist, QStringLiteral("?? artist"));
    EXPECT_EQ(r.tag.fields.year, QStringLiteral("2024"));
    EXPECT_EQ(r.tag.fields.track, 254);
    EXPECT_EQ(r.tag.fields.genrePosition, 17);
    EXPECT_EQ(b[b.size() - 3], 0) << "byte 125 ends the comment";

    f = r.tag.fields;
    f.title = QStringLiteral("Second");
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    b = bytes();
    EXPECT_EQ(b.size(), mp3Audio().size() + 128) << "the second edit overwrites the tag";
    EXPECT_EQ(readMp3Tag(qpath()).tag.fields.title, QStringLiteral("Second"));
}

TEST_F(Id3v1File, FailedAppendLeavesTheFileAsItWas) {
    testsupport::writeFile(path_, mp3Audio());
    TagFields f;
    f.title = QStringLiteral("Never written");
    const auto refuse = [](std::uint64_t) { return false; };
    EXPECT_EQ(writeMp3Tag(qpath(), f, refuse), TagStatus::WriteFailed);
    EXPECT_EQ(bytes(), mp3Audio());
}

TEST_F(Id3v1File, ShortAndMissingFiles) {
    testsupport::writeFile(path_, Bytes(15, 0xFF));
    EXPECT_EQ(readMp3Tag(qpath()).status, TagStatus::TooShort);
    EXPECT_EQ(readMp3Tag(QString::fromStdString(dir_.file("absent.mp3"))).status,
              TagStatus::CannotOpen);
    EXPECT_EQ(writeMp3Tag(QString::fromStdString(dir_.file("absent.mp3")), TagFields{}),
              TagStatus::CannotOpen);
}

TEST(Id3v1Bytes, SlotsArePaddedWithBlanksAndNumbersAreBytes) {
    TagFields f;
    f.title = QStringLiteral("T");
    f.comment = QStringLiteral("C");
    f.track = 7;
    f.genrePosition = 147;
    const auto b = id3v1Bytes(f);
    EXPECT_EQ(b[3], 'T');
    EXPECT_EQ(b[4], ' ');
    EXPECT_EQ(b[124], ' ');
    EXPECT_EQ(b[125], 0);
    EXPECT_EQ(b[126], 7);
    EXPECT_EQ(b[127], 147);
}

} // namespace
