#include "text_compare.h"

#include <gtest/gtest.h>

using namespace mireldo::platform;

namespace {

QString s(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

TEST(TextCompareTest, EqualsIgnoreCaseFoldsOnlyAsciiLetters) {
    EXPECT_TRUE(equalsIgnoreCase(s(".MP3"), s(".mp3")));
    EXPECT_TRUE(equalsIgnoreCase(s("/Music/Take.WaV"), s("/music/take.wav")));
    EXPECT_TRUE(equalsIgnoreCase(s(""), s("")));
    EXPECT_FALSE(equalsIgnoreCase(s(".mp3"), s(".mp")));
    EXPECT_FALSE(equalsIgnoreCase(s(".mp"), s(".mp3")));
    EXPECT_FALSE(equalsIgnoreCase(s(".mp2"), s(".mp3")));
    // Neighbours of the letter ranges must not fold: '@'/'`', '['/'{'.
    EXPECT_FALSE(equalsIgnoreCase(s("@"), s("`")));
    EXPECT_FALSE(equalsIgnoreCase(s("["), s("{")));
    EXPECT_FALSE(equalsIgnoreCase(s("Z"), s("{")));
    // Non-ASCII letters compare exactly, in any locale.
    EXPECT_FALSE(equalsIgnoreCase(s("Ä"), s("ä")));
    EXPECT_TRUE(equalsIgnoreCase(s("Äb"), s("ÄB")));
    // The Turkish dotless/dotted i never equals plain i.
    EXPECT_FALSE(equalsIgnoreCase(s("I"), s("ı")));
    EXPECT_FALSE(equalsIgnoreCase(s("i"), s("İ")));
}

TEST(TextCompareTest, CompareIgnoreCaseOrdersAndAgreesWithEquality) {
    EXPECT_EQ(compareIgnoreCase(s("abc"), s("ABC")), 0);
    EXPECT_LT(compareIgnoreCase(s("abc"), s("ABD")), 0);
    EXPECT_GT(compareIgnoreCase(s("ABD"), s("abc")), 0);
    EXPECT_LT(compareIgnoreCase(s("ab"), s("ABC")), 0);
    EXPECT_GT(compareIgnoreCase(s("abc"), s("AB")), 0);
    // Folding to lower case puts '_' (0x5F) before letters.
    EXPECT_LT(compareIgnoreCase(s("_"), s("A")), 0);
}

TEST(TextCompareTest, EndsWithIgnoreCase) {
    EXPECT_TRUE(endsWithIgnoreCase(s("/a/B.MP3"), s("mp3")));
    EXPECT_TRUE(endsWithIgnoreCase(s("x"), s("")));
    EXPECT_FALSE(endsWithIgnoreCase(s("mp3"), s(".mp3")));
    EXPECT_FALSE(endsWithIgnoreCase(s("/a/b.mp4"), s("mp3")));
}

TEST(TextCompareTest, AsciiToLowerLeavesEverythingElse) {
    EXPECT_EQ(asciiToLower(s("/Home/ÄÖ/TAKE 1.MP3")), s("/home/ÄÖ/take 1.mp3"));
    EXPECT_EQ(asciiToLower(u'A'), u'a');
    EXPECT_EQ(asciiToLower(u'['), u'[');
    EXPECT_EQ(asciiToUpper(u'z'), u'Z');
    EXPECT_EQ(asciiToUpper(u'{'), u'{');
    EXPECT_EQ(asciiToLower(QStringView()), QString());
}

TEST(TextCompareTest, ExtensionIsTheTextFromTheLastDot) {
    EXPECT_EQ(extensionOf(s("/music/take.MP3")), s(".MP3"));
    EXPECT_EQ(extensionOf(s("/music/take.tar.wav")), s(".wav"));
    EXPECT_EQ(extensionOf(s("take.")), s("."));
    EXPECT_TRUE(extensionOf(s("/music/take")).isEmpty());
    EXPECT_TRUE(extensionOf(s("")).isEmpty());
    // A dot in a folder name is still the last dot: the file has no usable extension.
    EXPECT_EQ(extensionOf(s("/home/v1.2/take")), s(".2/take"));
    EXPECT_FALSE(equalsIgnoreCase(extensionOf(s("/home/v1.wav/take")), s(".wav")));
    EXPECT_TRUE(equalsIgnoreCase(extensionOf(s("/x/Y.KLX")), s(".klx")));
}
