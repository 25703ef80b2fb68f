#include "profile_store.h"

#include "test_support.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <string>

using mireldo::platform::ProfileStore;

namespace {

class ProfileStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = QString::fromStdString(dir_.path().string());
        ProfileStore::setFolderForTesting(folder_);
    }
    void TearDown() override { ProfileStore::setFolderForTesting({}); }

    // Writes the INI file directly, as a hand edit or an older version would have left it.
    void writeIni(const std::string& text)
    {
        QDir().mkpath(folder_ + QStringLiteral("/Tarnwick"));
        std::ofstream(ProfileStore::filePathFor(folder_).toStdString()) << text;
    }

    std::string fileText() const
    {
        QFile file(ProfileStore::filePathFor(folder_));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll().toStdString();
    }

    testsupport::TempDir dir_;
    QString folder_;
};

} // namespace

TEST_F(ProfileStoreTest, TestFolderSwitchDecidesTheFile)
{
    ProfileStore store;
    EXPECT_EQ(store.filePath(), folder_ + QStringLiteral("/Tarnwick/Mireldo.conf"));
    ProfileStore::setFolderForTesting({});
    EXPECT_NE(ProfileStore().filePath(), store.filePath());
    EXPECT_TRUE(ProfileStore().filePath().endsWith(QStringLiteral("/Tarnwick/Mireldo.conf")));
}

TEST_F(ProfileStoreTest, IntegersAndStringsRoundTripAcrossStoresAndSections)
{
    {
        ProfileStore store;
        ASSERT_TRUE(store.setInt(QStringLiteral("Settings"), QStringLiteral("EncodeMethod"), 2));
        ASSERT_TRUE(store.setInt(QStringLiteral("Settings"), QStringLiteral("Min"),
                                 std::numeric_limits<std::int32_t>::min()));
        ASSERT_TRUE(store.setInt(QStringLiteral("Settings"), QStringLiteral("Max"),
                                 std::numeric_limits<std::int32_t>::max()));
        ASSERT_TRUE(store.setInt(QStringLiteral("History"), QStringLiteral("EncodeMethod"), -1));
        ASSERT_TRUE(store.setString(QStringLiteral("Settings"), QStringLiteral("RecordFolder"),
                                    QStringLiteral("/home/ana/Records")));
    }
    ProfileStore store;
    EXPECT_EQ(store.getInt(QStringLiteral("Settings"), QStringLiteral("EncodeMethod"), 9), 2);
    EXPECT_EQ(store.getInt(QStringLiteral("History"), QStringLiteral("EncodeMethod"), 9), -1);
    EXPECT_EQ(store.getInt(QStringLiteral("Settings"), QStringLiteral("Min"), 9),
              std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(store.getInt(QStringLiteral("Settings"), QStringLiteral("Max"), 9),
              std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(store.getString(QStringLiteral("Settings"), QStringLiteral("RecordFolder")),
              QStringLiteral("/home/ana/Records"));

    QStringList sections = store.sections();
    sections.sort();
    EXPECT_EQ(sections, (QStringList{QStringLiteral("History"), QStringLiteral("Settings")}));
    EXPECT_EQ(store.keys(QStringLiteral("History")), QStringList{QStringLiteral("EncodeMethod")});
}

TEST_F(ProfileStoreTest, MissingValuesGiveTheirDefaults)
{
    ProfileStore store;
    EXPECT_EQ(store.getInt(QStringLiteral("Settings"), QStringLiteral("Nothing"), 1234), 1234);
    EXPECT_EQ(store.getString(QStringLiteral("Settings"), QStringLiteral("Nothing"),
                              QStringLiteral("dflt")),
              QStringLiteral("dflt"));
    EXPECT_TRUE(store.getString(QStringLiteral("Settings"), QStringLiteral("Nothing")).isNull());
    EXPECT_FALSE(store.contains(QStringLiteral("Settings"), QStringLiteral("Nothing")));
    EXPECT_TRUE(store.sections().isEmpty());

    // A value in one section is not found under the same key in another.
    ASSERT_TRUE(store.setInt(QStringLiteral("Settings"), QStringLiteral("Key"), 5));
    EXPECT_EQ(store.getInt(QStringLiteral("History"), QStringLiteral("Key"), 7), 7);

    // An empty stored string is a value, not a missing one.
    ASSERT_TRUE(store.setString(QStringLiteral("Settings"), QStringLiteral("Empty"), QString()));
    EXPECT_TRUE(store.contains(QStringLiteral("Settings"), QStringLiteral("Empty")));
    EXPECT_EQ(store.getString(QStringLiteral("Settings"), QStringLiteral("Empty"),
                              QStringLiteral("dflt")),
              QString());
}

TEST_F(ProfileStoreTest, StoredTextReadsBackAsSigned32BitOrDefault)
{
    writeIni("[Settings]\n"
             "AllOnes=4294967295\n"
             "TopBit=2147483648\n"
             "MaxSigned=2147483647\n"
             "Minus=-1\n"
             "MinSigned=-2147483648\n"
             "Spaced=  42  \n"
             "Plus=+7\n"
             "TooBig=4294967296\n"
             "TooSmall=-2147483649\n"
             "Huge=99999999999999999999999\n"
             "Words=fast\n"
             "Trailing=12abc\n"
             "Hex=0x10\n"
             "Empty=\n"
             "List=1,2\n");
    ProfileStore store;
    const auto get = [&](const char* key) {
        return store.getInt(QStringLiteral("Settings"), QString::fromLatin1(key), -77);
    };
    EXPECT_EQ(get("AllOnes"), -1);
    EXPECT_EQ(get("TopBit"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(get("MaxSigned"), 0x7fffffff);
    EXPECT_EQ(get("Minus"), -1);
    EXPECT_EQ(get("MinSigned"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(get("Spaced"), 42);
    EXPECT_EQ(get("Plus"), 7);
    for (const char* bad : {"TooBig", "TooSmall", "Huge", "Words", "Trailing", "Hex", "Empty", "List"})
        EXPECT_EQ(get(bad), -77) << bad;
}

TEST_F(ProfileStoreTest, AwkwardStringsRoundTrip)
{
    const QStringList values = {
        QStringLiteral("/music/a,b; c=d.mp3"),
        QStringLiteral("  padded  "),
        QStringLiteral("line one\nline two\ttab"),
        QStringLiteral("\"quoted\" and \\backslash\\"),
        QStringLiteral("@Variant(not really)"),
        QStringLiteral("[Section]"),
        QStringLiteral("#not a comment"),
        QString::fromUtf8("Grüße, 録音"),
    };
    {
        ProfileStore store;
        for (qsizetype i = 0; i < values.size(); ++i)
            ASSERT_TRUE(store.setString(QStringLiteral("Mail"), QStringLiteral("V%1").arg(i), values[i]));
    }
    ProfileStore store;
    for (qsizetype i = 0; i < values.size(); ++i)
        EXPECT_EQ(store.getString(QStringLiteral("Mail"), QStringLiteral("V%1").arg(i)), values[i])
            << values[i].toStdString();
    EXPECT_EQ(store.keys(QStringLiteral("Mail")).size(), values.size());
    EXPECT_EQ(store.getInt(QStringLiteral("Mail"), QStringLiteral("V0"), 3), 3);
}

TEST_F(ProfileStoreTest, EverySetIsOnDiskAtOnce)
{
    ProfileStore store;
    ASSERT_TRUE(store.setInt(QStringLiteral("Settings"), QStringLiteral("ShortRecordSeconds"), 15));
    EXPECT_NE(fileText().find("ShortRecordSeconds=15"), std::string::npos) << fileText();
    ASSERT_TRUE(store.setString(QStringLiteral("History"), QStringLiteral("Folder0"), QStringLiteral("/x")));
    EXPECT_NE(fileText().find("Folder0=/x"), std::string::npos) << fileText();
    ASSERT_TRUE(store.remove(QStringLiteral("History"), QStringLiteral("Folder0")));
    EXPECT_EQ(fileText().find("Folder0"), std::string::npos) << fileText();
}

TEST_F(ProfileStoreTest, ReadsSeeChangesMadeByAnotherWriter)
{
    ProfileStore store;
    ASSERT_TRUE(store.setInt(QStringLiteral("Settings"), QStringLiteral("A"), 1));
    EXPECT_EQ(store.getInt(QStringLiteral("Settings"), QStringLiteral("A"), 0), 1);
    // As another process would leave it. (Qt notices a changed file by its size and time
    // stamp in milliseconds, so the new text differs in size from the old.)
    writeIni("[Settings]\nA=22\n");
    EXPECT_EQ(store.getInt(QStringLiteral("Settings"), QStringLiteral("A"), 0), 22);
}

TEST_F(ProfileStoreTest, WriteThatCannotReachTheFileReportsFailure)
{
    // A folder where the file should be: no write can succeed, whatever the user's rights.
    ASSERT_TRUE(QDir().mkpath(ProfileStore::filePathFor(folder_)));
    ProfileStore store;
    EXPECT_FALSE(store.setInt(QStringLiteral("Settings"), QStringLiteral("A"), 1));
    EXPECT_FALSE(store.setString(QStringLiteral("Settings"), QStringLiteral("B"), QStringLiteral("b")));
    EXPECT_EQ(store.getInt(QStringLiteral("Settings"), QStringLiteral("A"), 0), 0);
}

TEST_F(ProfileStoreTest, UnusableNamesAreRefusedNotMisplaced)
{
    ProfileStore store;
    EXPECT_FALSE(store.setInt(QStringLiteral("Settings"), QStringLiteral("a/b"), 1));
    EXPECT_FALSE(store.setInt(QStringLiteral("Set/tings"), QStringLiteral("a"), 1));
    EXPECT_FALSE(store.setInt(QStringLiteral("Settings"), QStringLiteral("a\\b"), 1));
    EXPECT_FALSE(store.setString(QString(), QStringLiteral("a"), QStringLiteral("x")));
    EXPECT_FALSE(store.setString(QStringLiteral("Settings"), QString(), QStringLiteral("x")));
    EXPECT_EQ(store.getInt(QStringLiteral("Settings"), QStringLiteral("a/b"), 4), 4);
    EXPECT_TRUE(store.sections().isEmpty());
}
