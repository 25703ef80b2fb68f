// Rename, progress and link texts.

#include "link_rules.h"
#include "progress_text.h"
#include "rename_rules.h"
#include "ui_strings.h"

#include <gtest/gtest.h>

using namespace mireldo::ui;

TEST(RenameRules, ExtensionIsAddedUnlessTheNameAlreadyEndsWithIt) {
    const QString mp3 = QStringLiteral(".mp3");
    EXPECT_EQ(applyRename(QStringLiteral("take2"), mp3).name, QStringLiteral("take2.mp3"));
    EXPECT_EQ(applyRename(QStringLiteral("TAKE2.MP3"), mp3).name, QStringLiteral("TAKE2.MP3"));
    EXPECT_EQ(applyRename(QStringLiteral("a.mp3"), mp3).name, QStringLiteral("a.mp3"));
    EXPECT_EQ(applyRename(QStringLiteral("b.mp"), mp3).name, QStringLiteral("b.mp.mp3"));
    EXPECT_EQ(applyRename(QStringLiteral(".mp3"), mp3).name, QStringLiteral(".mp3.mp3"));
    EXPECT_EQ(applyRename(QStringLiteral("  song  "), mp3).name, QStringLiteral("song.mp3"));
    EXPECT_EQ(applyRename(QStringLiteral("x.ogg"), QStringLiteral(".wav")).name,
              QStringLiteral("x.ogg.wav"));
}

TEST(RenameRules, ForbiddenCharactersAndEmptyNamesAreRefused) {
    for (const char* bad : {"a\\b", "a/b", "a:b", "a*b", "a?b", "a>b", "a<b", "a|b", "a\"b"}) {
        const RenameResult r = applyRename(QString::fromUtf8(bad), QStringLiteral(".mp3"));
        EXPECT_EQ(r.status, RenameResult::Status::ForbiddenCharacter) << bad;
        EXPECT_TRUE(r.name.isEmpty());
    }
    EXPECT_EQ(applyRename(QStringLiteral("   "), QStringLiteral(".mp3")).status,
              RenameResult::Status::Empty);
    EXPECT_EQ(applyRename(QString(), QStringLiteral(".mp3")).status, RenameResult::Status::Empty);
    EXPECT_EQ(emptyFileNameText(), QStringLiteral("File name can not be empty!"));
    EXPECT_EQ(uiString(kStrBadFileNameCharacters),
              QStringLiteral("A filename can not include following characters:\n\n      "
                             "\\  /  :  *  ?  \"\"  <  >  |"));
}

TEST(ProgressText, PercentIsTakenModulo100ExceptAtExactly100) {
    EXPECT_EQ(percentOf(250, 0, 200), 25);
    EXPECT_EQ(percentOf(200, 0, 200), 100);
    EXPECT_EQ(percentOf(0, 0, 200), 0);
    EXPECT_EQ(percentOf(150, 100, 200), 50);
    EXPECT_EQ(percentOf(5, 7, 7), 0); // an empty range divides by nothing
}

TEST(ProgressText, TextWithAndWithoutTheEstimate) {
    EXPECT_EQ(progressText(25, {}), QStringLiteral("25%"));
    ProgressEstimate e;
    e.total = 100000;
    e.done = 25000;
    e.perSecond = 100; // 750 s left
    EXPECT_EQ(progressText(25, e), QStringLiteral("25% done, time remaining: 12 mins 30 secs"));
    e.perSecond = 0; // no division by zero
    EXPECT_FALSE(progressText(25, e).isEmpty());
}

TEST(ProgressText, ReplacedOnlyWhenDifferentAndAfter300MsSharedByAllDialogs) {
    ProgressTextThrottle::reset();
    const QString a = QStringLiteral("10%");
    const QString b = QStringLiteral("20%");
    EXPECT_TRUE(ProgressTextThrottle::shouldReplace(QString(), a, 1000));
    EXPECT_FALSE(ProgressTextThrottle::shouldReplace(a, a, 5000)); // same text
    EXPECT_FALSE(ProgressTextThrottle::shouldReplace(a, b, 1299)); // too soon
    // Another dialog showing other text is held by the same timestamp.
    EXPECT_FALSE(ProgressTextThrottle::shouldReplace(QString(), b, 1200));
    EXPECT_TRUE(ProgressTextThrottle::shouldReplace(a, b, 1300));
    ProgressTextThrottle::reset();
}

TEST(LinkRules, NonWebTargetsOpenAsMail) {
    EXPECT_EQ(linkAddress(QStringLiteral("support@example.org"), false),
              QStringLiteral("mailto:support@example.org"));
    EXPECT_EQ(linkAddress(QStringLiteral("https://example.org/"), true),
              QStringLiteral("https://example.org/"));
}

TEST(LinkRules, ErrorMessagesByCode) {
    EXPECT_EQ(openErrorMessage(2),
              QStringLiteral("Unable to open hyperlink:\n\nThe specified file was not found."));
    // A code the desktop opener never produces has no text of its own.
    EXPECT_EQ(openErrorText(26), QStringLiteral("Unknown Error (26) occurred."));
    EXPECT_EQ(openErrorText(31), QStringLiteral("There is no application associated\nwith the "
                                                "given filename extension."));
    EXPECT_EQ(openErrorText(4), QStringLiteral("Unknown Error (4) occurred."));
    EXPECT_EQ(openErrorText(-3), QStringLiteral("Unknown Error (-3) occurred."));
}
