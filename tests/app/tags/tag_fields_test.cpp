// The genre list, the genre drop list's choice and the clean-up an Update applies.

#include "tag_fields.h"

#include <gtest/gtest.h>

using namespace mireldo::tags;

namespace {

TEST(GenreList, HasTheListedSpellings) {
    ASSERT_EQ(genreNames().size(), 148u);
    EXPECT_EQ(genreName(0), QStringLiteral("Blues"));
    EXPECT_EQ(genreName(12), QStringLiteral("Other"));
    EXPECT_EQ(genreName(14), QStringLiteral("A&B"));
    EXPECT_EQ(genreName(56), QStringLiteral("Southen Rock"));
    EXPECT_EQ(genreName(107), QStringLiteral("Botty Bass"));
    EXPECT_EQ(genreName(147), QStringLiteral("Synthpop"));
    EXPECT_TRUE(genreName(148).isEmpty());
}

TEST(GenreChoice, SelectsByTextByPositionOrAsAnExtraEntry) {
    TagFields f;
    f.genreText = QStringLiteral("hard ROCK");
    GenreChoice byText(f);
    EXPECT_EQ(byText.initialRow(), 79);
    EXPECT_EQ(byText.entries().size(), 148);

    f.genreText = QStringLiteral("Chiptune");
    GenreChoice extra(f);
    EXPECT_EQ(extra.initialRow(), 148);
    EXPECT_EQ(extra.entries().last(), QStringLiteral("Chiptune"));
    TagFields untouched = f;
    extra.apply(148, untouched);
    EXPECT_EQ(untouched.genreText, QStringLiteral("Chiptune")) << "written back unchanged";
    extra.apply(17, untouched);
    EXPECT_EQ(untouched.genreText, QStringLiteral("Rock"));
    EXPECT_EQ(untouched.genrePosition, 17);

    TagFields byPosition;
    byPosition.genrePosition = 33;
    EXPECT_EQ(GenreChoice(byPosition).initialRow(), 33);
    byPosition.genrePosition = 200;
    EXPECT_EQ(GenreChoice(byPosition).initialRow(), 12) << "beyond the list selects Other";
}

TEST(GenreChoice, AnUntouchedSelectionStoresNothingNew) {
    TagFields f; // no genre: "Other" shown
    GenreChoice choice(f);
    choice.apply(choice.initialRow(), f);
    EXPECT_TRUE(f.genreText.isEmpty()) << "an empty genre must not become \"Other\"";
}

TEST(Normalisation, TrimsClampsAndCutsOnlyForId3v1) {
    TagFields f;
    f.title = QString(40, QLatin1Char('t')) + QStringLiteral("  \t");
    f.comment = QString(35, QLatin1Char('c'));
    f.year = QStringLiteral("2024-01-01");
    f.track = -1;
    const TagFields v2 = normalizedForUpdate(f, false);
    EXPECT_EQ(v2.title.size(), 40);
    EXPECT_EQ(v2.comment.size(), 35);
    EXPECT_EQ(v2.year, QStringLiteral("2024-01-01"));
    EXPECT_EQ(v2.track, 254) << "a negative number read as unsigned is above 254";
    const TagFields v1 = normalizedForUpdate(f, true);
    EXPECT_EQ(v1.title.size(), 30);
    EXPECT_EQ(v1.comment.size(), 28);
    EXPECT_EQ(v1.year, QStringLiteral("2024"));
    f.track = 255;
    EXPECT_EQ(normalizedForUpdate(f, false).track, 254);
    f.track = 254;
    EXPECT_EQ(normalizedForUpdate(f, false).track, 254);
}

TEST(Normalisation, LeadingNumber) {
    EXPECT_EQ(leadingNumber(QStringLiteral("07/12")), 7);
    EXPECT_EQ(leadingNumber(QStringLiteral("x7")), 0);
    EXPECT_EQ(leadingNumber(QStringLiteral("99999999999999999999")), 999999999);
}

} // namespace
