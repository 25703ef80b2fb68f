// A tag rewrite never leaves a damaged file: writes stopped at any point keep the old file,
// links keep pointing at the rewritten file, permissions stay, and an unchanged size is written
// in place.

#include "mp3_tag_file.h"
#include "tag_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace mireldo::tags;
using namespace tagtest;
namespace fs = std::filesystem;

namespace {

class RewriteSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        // A tag without padding, so that any longer title grows the body.
        original_ = tag(3, {frame(3, "TIT2", latin1Text("Original")),
                            frame(3, "TPE1", latin1Text("Artist"))}) +
                    mp3Audio(2.0);
        testsupport::writeFile(path_, original_);
    }
    QString qpath() const { return QString::fromStdString(path_); }
    std::size_t filesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()));
    }
    TagFields grown() {
        TagFields f = readMp3Tag(qpath()).tag.fields;
        f.title = QStringLiteral("A title that makes the tag grow");
        return f;
    }

    testsupport::TempDir dir_;
    std::string path_ = dir_.file("song.mp3");
    Bytes original_;
};

TEST_F(RewriteSafety, AWriteStoppedAnywhereLeavesTheOldFileWhole) {
    // Stop before the header, inside the body, and part-way through the audio.
    for (std::uint64_t stopAt : {std::uint64_t{0}, std::uint64_t{12}, std::uint64_t{50}}) {
        SCOPED_TRACE(stopAt);
        const auto stop = [stopAt](std::uint64_t written) { return written < stopAt; };
        EXPECT_EQ(writeMp3Tag(qpath(), grown(), stop), TagStatus::WriteFailed);
        EXPECT_EQ(testsupport::readFile(path_), original_);
        EXPECT_EQ(filesInFolder(), 1u) << "no temporary file is left behind";
    }
    // The fault hook runs before each write and copy; a copy of the audio in the fallback
    // path comes in chunks, so let the header and body through and stop at the audio.
    int calls = 0;
    const auto stopAtAudio = [&calls](std::uint64_t) { return ++calls <= 2; };
    EXPECT_EQ(writeMp3Tag(qpath(), grown(), stopAtAudio), TagStatus::WriteFailed);
    EXPECT_EQ(testsupport::readFile(path_), original_);
    EXPECT_EQ(filesInFolder(), 1u);

    ASSERT_EQ(writeMp3Tag(qpath(), grown()), TagStatus::Ok);
    EXPECT_EQ(readMp3Tag(qpath()).tag.fields.title,
              QStringLiteral("A title that makes the tag grow"));
}

TEST_F(RewriteSafety, GrowingReplacesTheFileKeepingModeAndLinks) {
    ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
    const std::string link = dir_.file("link.mp3");
    fs::create_symlink(path_, link);
    struct stat before {};
    ASSERT_EQ(::stat(path_.c_str(), &before), 0);

    ASSERT_EQ(writeMp3Tag(QString::fromStdString(link), grown()), TagStatus::Ok);
    EXPECT_TRUE(fs::is_symlink(link)) << "the link is not replaced by a file";
    struct stat after {};
    ASSERT_EQ(::stat(path_.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_NE(after.st_ino, before.st_ino) << "a new file was renamed over the old one";
    EXPECT_EQ(readMp3Tag(qpath()).tag.fields.title,
              QStringLiteral("A title that makes the tag grow"));
    const Bytes b = testsupport::readFile(path_);
    const Bytes& audio = mp3Audio(2.0);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), b.end() - static_cast<long>(audio.size())));
}

TEST_F(RewriteSafety, AnUnchangedSizeIsWrittenInPlace) {
    struct stat before {};
    ASSERT_EQ(::stat(path_.c_str(), &before), 0);
    TagFields f = readMp3Tag(qpath()).tag.fields;
    f.title = QStringLiteral("Replace!"); // as long as "Original"
    ASSERT_EQ(writeMp3Tag(qpath(), f), TagStatus::Ok);
    struct stat after {};
    ASSERT_EQ(::stat(path_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(readMp3Tag(qpath()).tag.fields.title, QStringLiteral("Replace!"));
}

} // namespace
