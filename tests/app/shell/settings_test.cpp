#include "folder_history.h"
#include "recorder_settings.h"
#include "string_table.h"

#include "test_support.h"

#include <QDir>
#include <QSettings>
#include <gtest/gtest.h>

namespace {

using mireldo::FolderHistory;
using mireldo::RecorderHistory;
using mireldo::RecorderSettings;
using mireldo::platform::ProfileStore;

const QString kSettings = QStringLiteral("Settings");
const QString kHistory = QStringLiteral("History");

class SettingsStore : public ::testing::Test {
  protected:
    ProfileStore store() const {
        return ProfileStore(QString::fromStdString(dir_.file("Mireldo.conf")));
    }
    testsupport::TempDir dir_;
};

TEST_F(SettingsStore, FirstStartGivesTheDefaults) {
    const ProfileStore s = store();
    const RecorderSettings settings = mireldo::readRecorderSettings(s, 2);
    EXPECT_EQ(settings, RecorderSettings{});
    EXPECT_EQ(settings.encodeMethod, 0);
    EXPECT_EQ(settings.recordQuality, 10);
    EXPECT_EQ(settings.longBlankSeconds, 2);
    EXPECT_TRUE(settings.showSilenceArea);
    EXPECT_TRUE(settings.showSavingArea);
    EXPECT_TRUE(settings.showPlaylist);
    EXPECT_TRUE(settings.recordFolder.isEmpty());

    const RecorderHistory history = mireldo::readRecorderHistory(s, true);
    EXPECT_EQ(history.outputFormat, 3);
    EXPECT_EQ(history.recordingDevice, 0);
    EXPECT_TRUE(history.endpointName.isEmpty());

    FolderHistory folders(QStringLiteral("/home/someone"));
    folders.read(s);
    for (int k = 0; k < FolderHistory::KeyCount; ++k) {
        EXPECT_EQ(folders.folder(static_cast<FolderHistory::Key>(k)),
                  QStringLiteral("/home/someone"));
    }
    EXPECT_EQ(FolderHistory().folder(FolderHistory::AddDir), QDir::homePath());
}

TEST_F(SettingsStore, OutOfRangeValuesAreNormalisedWhenRead) {
    ProfileStore s = store();
    s.setString(kSettings, QStringLiteral("RecordFolder"), QStringLiteral("/srv/records///"));
    s.setInt(kSettings, QStringLiteral("ActionAtBlank"), 9);
    s.setInt(kSettings, QStringLiteral("NoiseLevel"), -1);
    s.setInt(kSettings, QStringLiteral("RecordQuality"), 17);
    s.setInt(kSettings, QStringLiteral("EncodeMethod"), 6);
    s.setInt(kSettings, QStringLiteral("CurrentOutputDevice"), 3);
    const RecorderSettings read = mireldo::readRecorderSettings(s, 2);
    EXPECT_EQ(read.recordFolder, QStringLiteral("/srv/records"));
    EXPECT_EQ(read.actionAtBlank, 4);
    EXPECT_EQ(read.noiseLevel, 0);
    EXPECT_EQ(read.recordQuality, 1);
    EXPECT_EQ(read.encodeMethod, 2);
    EXPECT_EQ(read.outputDevice, 0);

    s.setInt(kSettings, QStringLiteral("ActionAtBlank"), -1);
    s.setInt(kSettings, QStringLiteral("NoiseLevel"), 9);
    s.setString(kSettings, QStringLiteral("RecordFolder"), QStringLiteral("///"));
    const RecorderSettings again = mireldo::readRecorderSettings(s, 2);
    EXPECT_EQ(again.actionAtBlank, 0);
    EXPECT_EQ(again.noiseLevel, 4);
    EXPECT_TRUE(again.recordFolder.isEmpty());
}

TEST_F(SettingsStore, KeepBeforeSoundAndSoundMustLastAreClampedWhenRead) {
    ProfileStore s = store();
    EXPECT_EQ(mireldo::readRecorderSettings(s, 2).preRollTenths, 0);
    EXPECT_EQ(mireldo::readRecorderSettings(s, 2).holdMilliseconds, 0);
    s.setInt(kSettings, QStringLiteral("PreRollTenths"), 21);
    s.setInt(kSettings, QStringLiteral("HoldMilliseconds"), -1);
    EXPECT_EQ(mireldo::readRecorderSettings(s, 2).preRollTenths, 20);
    EXPECT_EQ(mireldo::readRecorderSettings(s, 2).holdMilliseconds, 0);
    s.setInt(kSettings, QStringLiteral("PreRollTenths"), -5);
    s.setInt(kSettings, QStringLiteral("HoldMilliseconds"), 501);
    EXPECT_EQ(mireldo::readRecorderSettings(s, 2).preRollTenths, 0);
    EXPECT_EQ(mireldo::readRecorderSettings(s, 2).holdMilliseconds, 500);
}

TEST_F(SettingsStore, OutputDeviceIsKeptWhileItNamesADevice) {
    ProfileStore s = store();
    s.setInt(kSettings, QStringLiteral("CurrentOutputDevice"), 2);
    EXPECT_EQ(mireldo::readRecorderSettings(s, 2).outputDevice, 2); // device 1
    EXPECT_EQ(mireldo::readRecorderSettings(s, 1).outputDevice, 0);
    // More than ten devices count as ten.
    s.setInt(kSettings, QStringLiteral("CurrentOutputDevice"), 11);
    EXPECT_EQ(mireldo::readRecorderSettings(s, 14).outputDevice, 0);
    // Without a device layer to count them the choice is kept for when one is back.
    s.setInt(kSettings, QStringLiteral("CurrentOutputDevice"), 3);
    EXPECT_EQ(mireldo::readRecorderSettings(s, std::nullopt).outputDevice, 3);
    s.setInt(kSettings, QStringLiteral("CurrentOutputDevice"), -4);
    EXPECT_EQ(mireldo::readRecorderSettings(s, std::nullopt).outputDevice, 0);
}

TEST_F(SettingsStore, FlagsAreWrittenAsZeroOrOneAndAnyNonZeroReadsAsSet) {
    RecorderSettings settings;
    settings.dropSilence = true;
    settings.showPlaylist = false;
    ProfileStore s = store();
    ASSERT_TRUE(mireldo::writeRecorderState(s, settings, RecorderHistory{}, false));
    EXPECT_EQ(s.getInt(kSettings, QStringLiteral("ToDropBlanks"), -1), 1);
    EXPECT_EQ(s.getInt(kSettings, QStringLiteral("ShowRightPanel"), -1), 0);
    EXPECT_EQ(s.getInt(kSettings, QStringLiteral("LooplyPlaying"), -1), 0);

    s.setInt(kSettings, QStringLiteral("AskForRenaming"), 5);
    s.setInt(kSettings, QStringLiteral("ShowSaveSettings"), -1);
    s.setInt(kSettings, QStringLiteral("DiscardShortRecord"), 0);
    const RecorderSettings read = mireldo::readRecorderSettings(s, 4);
    EXPECT_TRUE(read.askForRenaming);
    EXPECT_TRUE(read.showSavingArea);
    EXPECT_FALSE(read.discardShortRecord);
}

TEST_F(SettingsStore, WrittenStateReadsBackUnchanged) {
    RecorderSettings settings;
    settings.dropSilence = true;
    settings.longBlankSeconds = 17;
    settings.actionAtBlank = 3;
    settings.noiseLevel = 2;
    settings.outputDevice = 1;
    settings.encodeMethod = 2;
    settings.recordFolder = QStringLiteral("/data/Aufnahmen é, 1");
    settings.showPlaylist = false;
    settings.recordQuality = 15;
    settings.showSilenceArea = false;
    settings.showSavingArea = false;
    settings.askForRenaming = true;
    settings.loopPlaying = true;
    settings.shortRecordSeconds = 42;
    settings.discardShortRecord = true;
    settings.preRollTenths = 15;
    settings.holdMilliseconds = 120;
    RecorderHistory history;
    history.recordingDevice = 5;
    history.outputFormat = 27;
    history.endpointName = QStringLiteral("Monitor of Built-in Audio");

    ProfileStore s = store();
    ASSERT_TRUE(mireldo::writeRecorderState(s, settings, history, true));
    EXPECT_EQ(mireldo::readRecorderSettings(s, 4), settings);
    EXPECT_EQ(mireldo::readRecorderHistory(s, true), history);
    // Outside the endpoint mode the endpoint name is neither read nor written.
    EXPECT_TRUE(mireldo::readRecorderHistory(s, false).endpointName.isEmpty());
    history.endpointName = QStringLiteral("other");
    mireldo::writeRecorderState(s, settings, history, false);
    EXPECT_EQ(mireldo::readRecorderHistory(s, true).endpointName,
              QStringLiteral("Monitor of Built-in Audio"));
}

TEST_F(SettingsStore, FolderKeysSurviveARunUnchanged) {
    ProfileStore s = store();
    const QString longPath = QStringLiteral("/mnt/") + QString(300, u'x') + QStringLiteral("/end");
    QStringList stored;
    for (int k = 0; k < FolderHistory::KeyCount; ++k) {
        const QString value = k == 4 ? longPath : QStringLiteral("/folder %1/ü,x").arg(k);
        stored << value;
        s.setString(kHistory, FolderHistory::keyName(static_cast<FolderHistory::Key>(k)), value);
    }
    FolderHistory folders(QStringLiteral("/home/x"));
    folders.read(s);
    ASSERT_TRUE(folders.write(s));
    for (int k = 0; k < FolderHistory::KeyCount; ++k) {
        EXPECT_EQ(s.getString(kHistory, FolderHistory::keyName(static_cast<FolderHistory::Key>(k))),
                  stored[k]);
    }
    EXPECT_EQ(FolderHistory::keyName(FolderHistory::UploadFiles),
              QStringLiteral("CurDirUploadFiles"));
    EXPECT_EQ(FolderHistory::keyName(FolderHistory::AddDir), QStringLiteral("CurDirAddDir"));
}

TEST(DialogInteger, AcceptsWhatAnIntegerFieldMayHold) {
    EXPECT_EQ(mireldo::parseDialogInteger(QStringLiteral("12")), 12);
    EXPECT_EQ(mireldo::parseDialogInteger(QStringLiteral(" 7 ")), 7);
    EXPECT_EQ(mireldo::parseDialogInteger(QStringLiteral("-3")), -3);
    EXPECT_EQ(mireldo::parseDialogInteger(QStringLiteral("+0")), 0);
    EXPECT_EQ(mireldo::parseDialogInteger(QStringLiteral("-2147483648")), INT32_MIN);
    EXPECT_FALSE(mireldo::parseDialogInteger(QStringLiteral("")));
    EXPECT_FALSE(mireldo::parseDialogInteger(QStringLiteral("  ")));
    EXPECT_FALSE(mireldo::parseDialogInteger(QStringLiteral("-")));
    EXPECT_FALSE(mireldo::parseDialogInteger(QStringLiteral("1a")));
    EXPECT_FALSE(mireldo::parseDialogInteger(QStringLiteral("a1")));
    EXPECT_FALSE(mireldo::parseDialogInteger(QStringLiteral("1 2")));
    EXPECT_FALSE(mireldo::parseDialogInteger(QStringLiteral("2147483648")));
    EXPECT_FALSE(mireldo::parseDialogInteger(QStringLiteral("99999999999999999999")));
    EXPECT_FALSE(mireldo::parseDialogInteger(QStringLiteral("\u0663"))); // Arabic-Indic 3
}

TEST(StringTable, LooksTextsUpById) {
    EXPECT_EQ(mireldo::loadString(364),
              QStringLiteral("Save modifications made to the current record?"));
    EXPECT_EQ(mireldo::loadString(489), QStringLiteral("Ready to record"));
    EXPECT_EQ(mireldo::loadString(493), QStringLiteral("Saving, please wait ..."));
    EXPECT_EQ(mireldo::loadString(426),
              QStringLiteral("%d%% done, time remaining: %02d mins %02d secs"));
    EXPECT_EQ(mireldo::loadString(494),
              QStringLiteral("A filename can not include following characters:\n\n      "
                             "\\  /  :  *  ?  \"\"  <  >  |"));
    EXPECT_EQ(mireldo::loadString(mireldo::kStrEnterInteger),
              QStringLiteral("Please enter an integer."));
    EXPECT_TRUE(mireldo::loadString(1).isEmpty());
    EXPECT_FALSE(mireldo::hasString(379));
    // The placeholder of the shell's own messages is there to be filled.
    EXPECT_TRUE(mireldo::loadString(mireldo::kStrRecordsRecovered).contains(QStringLiteral("%1")));
}

} // namespace
