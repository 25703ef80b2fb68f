#include "converter_choices.h"
#include "profile_store.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace mireldo::converter;

namespace {

QString qs(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

TEST(OutputNaming, SingleFileDestinationLosesAKnownExtensionInAnyCase) {
    EXPECT_EQ(outputPath(qs("/out/song.MP3"), DestinationKind::File, qs("/in/a.ogg"), 1),
              qs("/out/song.wav"));
    EXPECT_EQ(outputPath(qs("/out/take.flac"), DestinationKind::File, qs("/in/a.ogg"), 0),
              qs("/out/take.flac.mp3"));
    EXPECT_EQ(outputPath(qs("/out/mix.Wma"), DestinationKind::File, qs("/in/a.ogg"), 2),
              qs("/out/mix.ogg"));
    EXPECT_EQ(outputPath(qs("/out/noext"), DestinationKind::File, qs("/in/a.ogg"), 3),
              qs("/out/noext.wma"));
}

TEST(OutputNaming, FolderDestinationWithOrWithoutTrailingSeparator) {
    const char* sources[] = {"/in/one.mp3", "/in/two.tar.wav", "/in/three"};
    const char* expected[] = {"/out/one.ogg", "/out/two.tar.ogg", "/out/three.ogg"};
    for (const char* dest : {"/out", "/out/"}) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(outputPath(qs(dest), DestinationKind::Folder, qs(sources[i]), 2),
                      qs(expected[i]))
                << dest << " " << sources[i];
        }
    }
}

TEST(TimeRangeText, FormatsParsesAndComputesSeconds) {
    const RangeFields f{0, 1, 5, 3, 1, 2, 3, 9};
    EXPECT_EQ(rangeText(f), qs("0:01:05.3-1:02:03.9"));
    EXPECT_EQ(parseRangeText(rangeText(f)), f);
    EXPECT_FALSE(parseRangeText(entireFileText()).has_value());
    const TimeRange r = rangeOfText(qs("0:01:05.3-1:02:03.9"));
    EXPECT_FLOAT_EQ(r.start, 65.3f);
    EXPECT_FLOAT_EQ(r.end, 3723.9f);
    EXPECT_TRUE(rangeOfText(entireFileText()).entire());
}

TEST(ConverterChoices, ListValuesFollowTheirPositions) {
    ConverterChoices c;
    EXPECT_EQ(c.bitrate(), 128u);
    c.rateIndex = 0;
    EXPECT_EQ(c.outputRate(11025), 11025u);
    c.rateIndex = 2;
    EXPECT_EQ(c.outputRate(11025), 22050u);
    c.channelIndex = 0;
    EXPECT_EQ(c.outputChannels(2), 2);
    c.channelIndex = 1;
    EXPECT_EQ(c.outputChannels(2), 1);
    c.bitrateIndex = 15;
    EXPECT_EQ(c.bitrate(), 8u);
    // MP3 slot 0, WAV slot 3, OGG slot 2, WMA slot 1.
    EXPECT_EQ(encoderSlotOfType(0), 0);
    EXPECT_EQ(encoderSlotOfType(1), 3);
    EXPECT_EQ(encoderSlotOfType(2), 2);
    EXPECT_EQ(encoderSlotOfType(3), 1);
}

TEST(ConverterChoices, StoredIndicesAreClampedAndWrittenBack) {
    testsupport::TempDir dir;
    mireldo::platform::ProfileStore store(QString::fromStdString(dir.file("m.conf")));
    const QString h = qs("History");
    store.setInt(h, qs("AudioConvertorBitrate"), 40);
    store.setInt(h, qs("AudioConvertorSampleRate"), -3);
    store.setInt(h, qs("AudioConvertorFileType"), 9);
    store.setInt(h, qs("AudioConvertorChannels"), 2);
    store.setString(h, qs("AudioConvertorDestination"), qs("/music/out"));
    ConverterChoices c = loadChoices(store);
    EXPECT_EQ(c.bitrateIndex, 15);
    EXPECT_EQ(c.rateIndex, 0);
    EXPECT_EQ(c.typeIndex, 3);
    EXPECT_EQ(c.channelIndex, 2);
    EXPECT_EQ(c.destination, qs("/music/out"));

    c.bitrateIndex = 9;
    saveChoices(store, c);
    EXPECT_EQ(store.getInt(h, qs("AudioConvertorBitrate"), -1), 9);
    EXPECT_EQ(loadChoices(mireldo::platform::ProfileStore(store.filePath())).typeIndex, 3);
}
