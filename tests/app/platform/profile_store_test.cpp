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
using namespace Qt::StringLiterals;

namespace {

class ProfileStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = QString::fromStdString(dir_.path().string());
        ProfileStore::setFolderForTesting(folder_);
    }
    void TearDown() override { ProfileStore::setFolderForTesting({}); }

    // Writes the INI file directly, as a hand edit or an older version would have left it.
    void writeIni(const std::string& text) {
        QDir().mkpath(folder_ + u"/Tarnwick"_s);
        std::ofstream(ProfileStore::filePathFor(folder_).toStdString()) << text;
    }

    std::string fileText() const {
        QFile file(ProfileStore::filePathFor(folder_));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return file.readAll().toStdString();
    }

    testsupport::TempDir dir_;
    QString folder_;
};

} // namespace

TEST_F(ProfileStoreTest, TestFolderSwitchDecidesTheFile) {
    ProfileStore store;
    EXPECT_EQ(store.filePath(), folder_ + u"/Tarnwick/Mireldo.conf"_s);
    ProfileStore::setFolderForTesting({});
    EXPECT_NE(ProfileStore().filePath(), store.filePath());
    EXPECT_TRUE(ProfileStore().filePath().endsWith(u"/Tarnwick/Mireldo.conf"_s));
}

TEST_F(ProfileStoreTest, IntegersAndStringsRoundTripAcrossStoresAndSections) {
    {
        ProfileStore store;
        ASSERT_TRUE(store.setInt(u"Settings"_s, u"EncodeMethod"_s, 2));
        ASSERT_TRUE(
            store.setInt(u"Settings"_s, u"Min"_s, std::numeric_limits<std::int32_t>::min()));
        ASSERT_TRUE(
            store.setInt(u"Settings"_s, u"Max"_s, std::numeric_limits<std::int32_t>::max()));
        ASSERT_TRUE(store.setInt(u"History"_s, u"EncodeMethod"_s, -1));
        ASSERT_TRUE(store.setString(u"Settings"_s, u"RecordFolder"_s, u"/home/ana/Records"_s));
    }
    ProfileStore store;
    EXPECT_EQ(store.getInt(u"Settings"_s, u"EncodeMethod"_s, 9), 2);
    EXPECT_EQ(store.getInt(u"History"_s, u"EncodeMethod"_s, 9), -1);
    EXPECT_EQ(store.getInt(u"Settings"_s, u"Min"_s, 9), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(store.getInt(u"Settings"_s, u"Max"_s, 9), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(store.getString(u"Settings"_s, u"RecordFolder"_s), u"/home/ana/Records"_s);

    QStringList sections = store.sections();
    sections.sort();
    EXPECT_EQ(sections, (QStringList{u"History"_s, u"Settings"_s}));
    EXPECT_EQ(store.keys(u"History"_s), QStringList{u"EncodeMethod"_s});
}

TEST_F(ProfileStoreTest, MissingValuesGiveTheirDefaults) {
    ProfileStore store;
    EXPECT_EQ(store.getInt(u"Settings"_s, u"Nothing"_s, 1234), 1234);
    EXPECT_EQ(store.getString(u"Settings"_s, u"Nothing"_s, u"dflt"_s), u"dflt"_s);
    EXPECT_TRUE(store.getString(u"Settings"_s, u"Nothing"_s).isNull());
    EXPECT_FALSE(store.contains(u"Settings"_s, u"Nothing"_s));
    EXPECT_TRUE(store.sections().isEmpty());

    // A value in one section is not found under the same key in another.
    ASSERT_TRUE(store.setInt(u"Settings"_s, u"Key"_s, 5));
    EXPECT_EQ(store.getInt(u"History"_s, u"Key"_s, 7), 7);

    // An empty stored string is a value, not a missing one.
    ASSERT_TRUE(store.setString(u"Settings"_s, u"Empty"_s, QString()));
    EXPECT_TRUE(store.contains(u"Settings"_s, u"Empty"_s));
    EXPECT_EQ(store.getString(u"Settings"_s, u"Empty"_s, u"dflt"_s), QString());
}

TEST_F(ProfileStoreTest, StoredTextReadsBackAsSigned32BitOrDefault) {
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
        return store.getInt(u"Settings"_s, QString::fromLatin1(key), -77);
    };
    EXPECT_EQ(get("AllOnes"), -1);
    EXPECT_EQ(get("TopBit"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(get("MaxSigned"), 0x7fffffff);
    EXPECT_EQ(get("Minus"), -1);
    EXPECT_EQ(get("MinSigned"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(get("Spaced"), 42);
    EXPECT_EQ(get("Plus"), 7);
    for (const char* bad :
         {"TooBig", "TooSmall", "Huge", "Words", "Trailing", "Hex", "Empty", "List"}) {
        EXPECT_EQ(get(bad), -77) << bad;
    }
}

TEST_F(ProfileStoreTest, AwkwardStringsRoundTrip) {
    const QStringList values = {
        u"/music/a,b; c=d.mp3"_s,     u"  padded  "_s,
        u"line one\nline two\ttab"_s, QStringLiteral("\"quoted\" and \\backslash\\"),
        u"@Variant(not really)"_s,    u"[Section]"_s,
        u"#not a comment"_s,          QString::fromUtf8("Grüße, 録音"),
    };
    {
        ProfileStore store;
        for (qsizetype i = 0; i < values.size(); ++i) {
            ASSERT_TRUE(store.setString(u"Mail"_s, u"V%1"_s.arg(i), values[i]));
        }
    }
    ProfileStore store;
    for (qsizetype i = 0; i < values.size(); ++i) {
        EXPECT_EQ(store.getString(u"Mail"_s, u"V%1"_s.arg(i)), values[i])
            << values[i].toStdString();
    }
    EXPECT_EQ(store.keys(u"Mail"_s).size(), values.size());
    EXPECT_EQ(store.getInt(u"Mail"_s, u"V0"_s, 3), 3);
}

TEST_F(ProfileStoreTest, EverySetIsOnDiskAtOnce) {
    ProfileStore store;
    ASSERT_TRUE(store.setInt(u"Settings"_s, u"ShortRecordSeconds"_s, 15));
    EXPECT_NE(fileText().find("ShortRecordSeconds=15"), std::string::npos) << fileText();
    ASSERT_TRUE(store.setString(u"History"_s, u"Folder0"_s, u"/x"_s));
    EXPECT_NE(fileText().find("Folder0=/x"), std::string::npos) << fileText();
    ASSERT_TRUE(store.remove(u"History"_s, u"Folder0"_s));
    EXPECT_EQ(fileText().find("Folder0"), std::string::npos) << fileText();
}

TEST_F(ProfileStoreTest, ReadsSeeChangesMadeByAnotherWriter) {
    ProfileStore store;
    ASSERT_TRUE(store.setInt(u"Settings"_s, u"A"_s, 1));
    EXPECT_EQ(store.getInt(u"Settings"_s, u"A"_s, 0), 1);
    // As another process would leave it. (Qt notices a changed file by its size and time
    // stamp in milliseconds, so the new text differs in size from the old.)
    writeIni("[Settings]\nA=22\n");
    EXPECT_EQ(store.getInt(u"Settings"_s, u"A"_s, 0), 22);
}

TEST_F(ProfileStoreTest, WriteThatCannotReachTheFileReportsFailure) {
    // A folder where the file should be: no write can succeed, whatever the user's rights.
    ASSERT_TRUE(QDir().mkpath(ProfileStore::filePathFor(folder_)));
    ProfileStore store;
    EXPECT_FALSE(store.setInt(u"Settings"_s, u"A"_s, 1));
    EXPECT_FALSE(store.setString(u"Settings"_s, u"B"_s, u"b"_s));
    EXPECT_EQ(store.getInt(u"Settings"_s, u"A"_s, 0), 0);
}

TEST_F(ProfileStoreTest, UnusableNamesAreRefusedNotMisplaced) {
    ProfileStore store;
    EXPECT_FALSE(store.setInt(u"Settings"_s, u"a/b"_s, 1));
    EXPECT_FALSE(store.setInt(u"Set/tings"_s, u"a"_s, 1));
    EXPECT_FALSE(store.setInt(u"Settings"_s, u"a\\b"_s, 1));
    EXPECT_FALSE(store.setString(QString(), u"a"_s, u"x"_s));
    EXPECT_FALSE(store.setString(u"Settings"_s, QString(), u"x"_s));
    EXPECT_EQ(store.getInt(u"Settings"_s, u"a/b"_s, 4), 4);
    EXPECT_TRUE(store.sections().isEmpty());
}
