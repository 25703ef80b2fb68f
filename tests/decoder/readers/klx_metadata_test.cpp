// The metadata read on its own, before a payload reader adds what it knows (length, call end).
#include "klx_writer.h"
#include "test_support.h"
#include "wave_file_stream.h"

#include <gtest/gtest.h>

using namespace testsupport;
using klxtest::KlxFile;

namespace {

// Opens a container through the base open only and exposes what the metadata read stored.
class MetadataProbe : public sondrel::WaveFileStream {
  public:
    int32_t readMetadata(const std::string& path) { return BaseOpen(path.c_str(), 1); }
    using DecoderStream::lengthFrames_;
    using DecoderStream::payloadOffset_;
    using DecoderStream::seekIndex_;
};

class KlxMetadata : public ::testing::Test {
  protected:
    TempDir dir;
    MetadataProbe probe;

    int32_t read(const KlxFile& klx) {
        const std::string path = dir.file("m.klx");
        writeFile(path, klx.bytes());
        return probe.readMetadata(path);
    }
    static KlxFile base(uint32_t headerSize) {
        KlxFile klx;
        klx.headerSize = headerSize;
        klx.payload = makeWav(1, 8000, 8, patternBytes(200));
        return klx;
    }
};

TEST_F(KlxMetadata, SmallestHeaderHasAnEmptyDescriptionAndNothingElse) {
    KlxFile klx = base(160);
    klx.topic = "Plain";
    klx.lengthFrames = 777;
    ASSERT_EQ(read(klx), SONDREL_OK);
    EXPECT_EQ(probe.payloadOffset_, 160u);
    EXPECT_EQ(probe.lengthFrames_, 777u) << "the header's length until a reader counts its own";
    ASSERT_TRUE(probe.description().has_value()) << "the description is always stored";
    EXPECT_EQ(*probe.description(), "");
    EXPECT_EQ(probe.topic(), "Plain");
    EXPECT_EQ(probe.callRecord(), nullptr);
    EXPECT_EQ(probe.voidBytes(), 0);
    EXPECT_EQ(probe.imageCount(), 0);
    EXPECT_EQ(probe.imageArray(), nullptr);
}

TEST_F(KlxMetadata, IndexFollowsTheDescriptionDirectly) {
    for (const std::string description : {"", "Notes"}) {
        KlxFile klx = base(164);
        klx.description = description;
        klx.index = {{0, 0}, {1152, 417}, {2304, 835}};
        ASSERT_EQ(read(klx), SONDREL_OK);
        EXPECT_EQ(*probe.description(), description);
        ASSERT_EQ(probe.seekIndex_.size(), 3u);
        EXPECT_EQ(probe.seekIndex_[1].framePosition, 1152u);
        EXPECT_EQ(probe.seekIndex_[1].byteOffset, 417u);
        EXPECT_EQ(probe.seekIndex_[2].framePosition, 2304u);
        EXPECT_EQ(probe.seekIndex_[2].byteOffset, 835u);
        EXPECT_EQ(probe.payloadOffset_, 164u + description.size() + 24u);
        probe.Close();
    }
}

TEST_F(KlxMetadata, CallTimesBeforeAnyReaderFix) {
    KlxFile klx = base(172);
    klx.callId = 5;
    klx.callStart = -3;
    ASSERT_EQ(read(klx), SONDREL_OK);
    ASSERT_NE(probe.callRecord(), nullptr);
    EXPECT_EQ(probe.callRecord()->startTime, 0);
    EXPECT_EQ(probe.callRecord()->endTime, 0);
    probe.Close();

    klx = base(180);
    klx.callId = 0;
    klx.callStart = 100;
    klx.callEnd = 40;
    ASSERT_EQ(read(klx), SONDREL_OK);
    EXPECT_EQ(probe.callRecord()->startTime, 100);
    EXPECT_EQ(probe.callRecord()->endTime, 100) << "an end below the start is the start";
}

TEST_F(KlxMetadata, ScrambledTopicOfOnlyTerminatorsIsNoTopic) {
    KlxFile klx = base(260);
    klx.topicBytes.assign(129, 0xA7);
    klx.description = "kept";
    ASSERT_EQ(read(klx), SONDREL_OK);
    EXPECT_FALSE(probe.topic().has_value());
    EXPECT_EQ(probe.description(), "kept");
}

TEST_F(KlxMetadata, EmptyTopicOfASmallHeaderIsNoTopic) {
    ASSERT_EQ(read(base(180)), SONDREL_OK);
    EXPECT_FALSE(probe.topic().has_value());
    // An empty description length still stores the (empty) description.
    ASSERT_TRUE(probe.description().has_value());
}

} // namespace
