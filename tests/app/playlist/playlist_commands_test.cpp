// The playlist's commands without widgets: the play queue with and without the loop option,
// position notifications and the time text, removing, adding folders, moving, renaming and
// copying, with a fake player and a fake window.

#include "list_file.h"
#include "native_path.h"
#include "playlist_commands.h"
#include "playlist_fakes.h"
#include "playlist_test_util.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

#include <sys/stat.h>

using namespace mireldo::playlist;
using namespace playlisttest;

namespace {

class PlaylistCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override { ensureApp(); }

    /// A model on a list file in the test folder holding WAV files of `frames` frames each
    /// (named a.wav, b.wav, ...), loaded.
    void makeLoadedModel(int files, std::uint32_t frames = 44100) {
        model = std::make_unique<PlaylistModel>(kPlaylistCapacity, ModelPictures::plain());
        ASSERT_TRUE(model->initialise(listPath()));
        for (int i = 0; i < files; ++i) {
            const std::string name(1, static_cast<char>('a' + i));
            writeWav(dir.file(name + ".wav"), frames);
            model->addPath(qs(dir.file(name + ".wav")));
        }
        ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
        commands = std::make_unique<PlaylistCommands>(*model, player, host);
    }
    QString listPath() const { return qs(dir.file("Mireldo.lst")); }
    std::vector<QString> paths() const {
        std::vector<QString> out;
        for (int i = 0; i < model->count(); ++i) {
            out.push_back(model->item(i)->path);
        }
        return out;
    }

    testsupport::TempDir dir;
    FakePlayer player;
    FakeHost host;
    std::unique_ptr<PlaylistModel> model;
    std::unique_ptr<PlaylistCommands> commands;
};

} // namespace

TEST(PlayTimeText, MinutesBelowAnHourAndHoursFromAnHourOn) {
    // 61.5 s into 3599.9 s at 44.1 kHz.
    EXPECT_EQ(playTimeText(44100 * 61 + 22050, 44100 * 3599 + 39690, 44100),
              QStringLiteral("01:01.5/59:59.9"));
    // Exactly one hour long: the hours show in front of both times.
    EXPECT_EQ(playTimeText(44100 * 3725 + 4410, 44100 * 3600, 44100),
              QStringLiteral("1:02:05.1/1:00:00.0"));
    // Positions beyond 2^32 / 10 frames must not overflow the tenths.
    EXPECT_EQ(playTimeText(4294967295u, 4294967295u, 48000),
              QStringLiteral("24:51:18.4/24:51:18.4"));
    EXPECT_EQ(playTimeText(0, 0, 0), QString());
}

TEST_F(PlaylistCommandsTest, LoopWithOneItemPlaysItAgainAndAgain) {
    makeLoadedModel(1);
    commands->setLoop(true);
    ASSERT_TRUE(commands->playSelected({0}));
    for (int end = 0; end < 3; ++end) {
        commands->onPlayerPosition(44099, true);
    }
    ASSERT_EQ(player.streams.size(), 4u);
    for (SondrelStream* s : player.streams) {
        EXPECT_EQ(s, model->item(0)->stream);
    }
    EXPECT_EQ(commands->currentItem(), model->item(0));
    EXPECT_EQ(player.stops, 0);
}

TEST_F(PlaylistCommandsTest, QueueOfThreePlaysInSelectionOrderThenReady) {
    makeLoadedModel(3, 44100 * 2);
    commands->setOutputDevice(2); // output device 1
    ASSERT_TRUE(commands->playSelected({0, 1, 2}));
    EXPECT_EQ(host.titles.back(), QStringLiteral("a"));
    EXPECT_EQ(host.rangeMax, 44100u * 2 - 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(commands->currentItem(), model->item(i));
        EXPECT_NE(model->item(i)->queued, 0);
        commands->onPlayerPosition(44100 + 4410, false);
        EXPECT_EQ(host.positions.back(), 44100u + 4410);
        EXPECT_EQ(host.timeText, QStringLiteral("00:01.1/00:02.0"));
        commands->onPlayerPosition(44100 * 2, true);
        // A finished item leaves the queue.
        EXPECT_EQ(model->item(i)->queued, 0);
    }
    ASSERT_EQ(player.streams.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(player.streams[static_cast<std::size_t>(i)], model->item(i)->stream);
    }
    EXPECT_EQ(player.devices, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(commands->currentItem(), nullptr);
    EXPECT_TRUE(host.titles.back().isEmpty()); // "Ready"
    EXPECT_TRUE(host.timeText.isEmpty());
    EXPECT_FALSE(player.open);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(PlaylistCommandsTest, ItemNotLoadedAtItsTurnEndsTheSequenceSilently) {
    makeLoadedModel(2);
    writeWav(dir.file("c.wav"));
    QFile::remove(qs(dir.file("c.wav")));
    model->addPath(qs(dir.file("c.wav"))); // fails to load: the file is gone
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
    ASSERT_TRUE(model->item(2)->hasFailed());
    ASSERT_TRUE(commands->playSelected({0, 2, 1}));
    commands->onPlayerPosition(44100, true);
    EXPECT_EQ(commands->currentItem(), nullptr);
    EXPECT_TRUE(commands->queue().empty());
    EXPECT_EQ(player.streams.size(), 1u);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.titles.back().isEmpty());
    EXPECT_EQ(model->item(1)->queued, 0);
}

TEST_F(PlaylistCommandsTest, PlayMessagesForItemsThatCannotPlay) {
    makeLoadedModel(1);
    EXPECT_FALSE(commands->playSelected({}));
    EXPECT_EQ(host.messages.back(), QStringLiteral("No item was selected."));
    player.failWith = 1;
    EXPECT_FALSE(commands->playSelected({0}));
    EXPECT_EQ(host.messages.back(), QStringLiteral("Failed to open the audio device."));
    player.failWith = 2;
    EXPECT_FALSE(commands->playSelected({0}));
    EXPECT_EQ(host.messages.back(), QStringLiteral("Can not play sound."));
    EXPECT_TRUE(commands->queue().empty());
}

TEST_F(PlaylistCommandsTest, PauseSeekStopAndVolume) {
    makeLoadedModel(1, 44100 * 3);
    commands->pauseContinue(); // nothing open: nothing happens
    EXPECT_FALSE(player.paused);
    ASSERT_TRUE(commands->playSelected({0}));
    commands->pauseContinue();
    EXPECT_TRUE(player.paused);
    commands->pauseContinue();
    EXPECT_FALSE(player.paused);

    // While the thumb is dragged positions from the player do not move it.
    commands->onPositionControl(PositionAction::Dragging, 0);
    commands->onPlayerPosition(100, false);
    EXPECT_TRUE(host.positions.empty());
    commands->onPositionControl(PositionAction::MovedTo, 44100 * 2);
    EXPECT_EQ(player.seeks, (std::vector<std::uint32_t>{44100 * 2}));
    EXPECT_EQ(host.timeText, QStringLiteral("00:02.0/00:03.0"));

    commands->setVolume(0x1234);
    EXPECT_EQ(player.volume, 0x12341234u);

    commands->stopPlaying();
    EXPECT_FALSE(player.open);
    EXPECT_EQ(commands->currentItem(), nullptr);
    EXPECT_EQ(host.positions.back(), 0u);
    EXPECT_TRUE(host.titles.back().isEmpty());
    EXPECT_EQ(model->item(0)->queued, 0);
}

TEST_F(PlaylistCommandsTest, RemovingASelectionWithThePlayingItemStopsAtIt) {
    makeLoadedModel(4);
    ASSERT_TRUE(commands->playSelected({2}));
    const QString playing = model->item(2)->path;
    commands->removeItems({0, 1, 2, 3}, RemoveAnswer::Remove);
    EXPECT_EQ(
        host.messages,
        (std::vector<QString>{QStringLiteral("You can not delete items which is being played.")}));
    ASSERT_EQ(model->count(), 2);
    EXPECT_EQ(model->item(0)->path, playing);
    // Items are renumbered as they go: item 0 twice, then the playing item at 0 stops it.
    EXPECT_EQ(host.removedIndices, (std::vector<int>{0, 0}));
    EXPECT_TRUE(host.selected.empty());
    EXPECT_TRUE(QFileInfo::exists(qs(dir.file("a.wav")))); // Remove keeps the files
}

TEST_F(PlaylistCommandsTest, RemovingQueuedItemsAndDeletingFiles) {
    makeLoadedModel(4);
    ASSERT_TRUE(commands->playSelected({0, 1, 3}));
    commands->removeItems({1, 3}, RemoveAnswer::RemoveAndDeleteFiles);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(model->count(), 2);
    EXPECT_FALSE(QFileInfo::exists(qs(dir.file("b.wav"))));
    EXPECT_FALSE(QFileInfo::exists(qs(dir.file("d.wav"))));
    EXPECT_TRUE(QFileInfo::exists(qs(dir.file("c.wav"))));
    // Only the playing item is left in the queue; the last removed item was the last one.
    EXPECT_EQ(commands->queue().items().size(), 1u);
    EXPECT_EQ(host.selected, (std::vector<int>{1}));
    // The list file holds the two items that are left.
    std::vector<QString> saved;
    readListFile(listPath(), [&](ListEntry e) { saved.push_back(e.path); });
    EXPECT_EQ(saved, paths());
}

TEST_F(PlaylistCommandsTest, DeletingAFileThatFailsIsToldWithTheReasonAndTheItemGoes) {
    makeLoadedModel(2);
    QFile::remove(qs(dir.file("a.wav")));
    commands->removeItems({0, 1}, RemoveAnswer::RemoveAndDeleteFiles);
    EXPECT_EQ(model->count(), 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].contains(qs(dir.file("a.wav"))));
    EXPECT_TRUE(host.messages[0].contains(QStringLiteral("No such file")));
}

TEST_F(PlaylistCommandsTest, AddingAFolderToA4999ItemListTellsFullOncePerPattern) {
    model = std::make_unique<PlaylistModel>(kPlaylistCapacity, ModelPictures::plain());
    for (int i = 0; i < kPlaylistCapacity - 1; ++i) {
        model->addPath(QStringLiteral("/nowhere/%1.mp3").arg(i));
    }
    commands = std::make_unique<PlaylistCommands>(*model, player, host);
    const std::filesystem::path folder = dir.path() / "music";
    std::filesystem::create_directory(folder);
    for (const char* name : {"a.mp3", "b.mp3", "c.mp2", "d.wav", "e.WAV", "f.ogg", "g.txt"}) {
        testsupport::writeFile((folder / name).string(), {1, 2, 3});
    }
    std::filesystem::create_directory(folder / "sub.mp3"); // folders are not files
    commands->addDirectory(qs(folder.string()));
    EXPECT_EQ(model->count(), kPlaylistCapacity);
    // One mp3 fits; the second mp3, the mp2, a wav and the ogg each find the list full.
    EXPECT_EQ(host.messages.size(), 4u);
    for (const QString& m : host.messages) {
        EXPECT_EQ(m, QStringLiteral(
                         "Too many items. You can add a maximum of 5000 items into the list."));
    }
    EXPECT_TRUE(model->item(kPlaylistCapacity - 1)->path.endsWith(QStringLiteral(".mp3")));
    // The last add of every pattern with a match found the list full: no item is selected.
    EXPECT_TRUE(host.selected.empty());
}

TEST_F(PlaylistCommandsTest, AddFilesStopsAtAFolderAndReportsTheFirstFolder) {
    makeLoadedModel(0);
    writeWav(dir.file("x.wav"));
    writeWav(dir.file("y.wav"));
    const QString folder =
        commands->addFiles({qs(dir.file("x.wav")), qs(dir.path().string()), qs(dir.file("y.wav"))});
    EXPECT_EQ(folder, qs(dir.path().string()));
    EXPECT_EQ(paths(), (std::vector<QString>{qs(dir.file("x.wav"))}));
    EXPECT_EQ(host.selected, (std::vector<int>{0}));
}

TEST_F(PlaylistCommandsTest, MovingTopUpOrBottomDownChangesNothingButRewritesTheList) {
    makeLoadedModel(3);
    const auto before = paths();
    QFile::remove(listPath());
    EXPECT_EQ(commands->moveUp({0}), (std::vector<int>{0}));
    EXPECT_EQ(paths(), before);
    EXPECT_TRUE(QFileInfo::exists(listPath()));
    QFile::remove(listPath());
    EXPECT_EQ(commands->moveDown({2}), (std::vector<int>{2}));
    EXPECT_EQ(paths(), before);
    EXPECT_TRUE(QFileInfo::exists(listPath()));
    EXPECT_EQ(host.repaints, 0);
}

TEST_F(PlaylistCommandsTest, MovingBlocksOfItems) {
    makeLoadedModel(5);
    const auto p = paths();
    // Items 0-1 are a block at the top: they stay; item 3 passes item 2.
    EXPECT_EQ(commands->moveUp({0, 1, 3}), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(paths(), (std::vector<QString>{p[0], p[1], p[3], p[2], p[4]}));
    EXPECT_EQ(commands->moveDown({2, 4}), (std::vector<int>{3, 4}));
    EXPECT_EQ(paths(), (std::vector<QString>{p[0], p[1], p[2], p[3], p[4]}));
}

TEST_F(PlaylistCommandsTest, RenamingToTheSameNameInOtherCaseChangesNothing) {
    makeLoadedModel(1);
    SondrelStream* stream = model->item(0)->stream;
    commands->renameItem(0, QStringLiteral("A.WAV"));
    EXPECT_EQ(model->item(0)->path, qs(dir.file("a.wav")));
    EXPECT_EQ(model->item(0)->stream, stream);
    EXPECT_TRUE(QFileInfo::exists(qs(dir.file("a.wav"))));
    EXPECT_FALSE(QFileInfo::exists(qs(dir.file("A.WAV"))));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(PlaylistCommandsTest, RenameMovesTheFileAndLoadsTheItemAgain) {
    makeLoadedModel(1);
    commands->renameItem(0, QStringLiteral("new name.wav"));
    EXPECT_EQ(model->item(0)->path, qs(dir.file("new name.wav")));
    EXPECT_FALSE(QFileInfo::exists(qs(dir.file("a.wav"))));
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
    EXPECT_TRUE(model->item(0)->isLoaded());
    std::vector<QString> saved;
    readListFile(listPath(), [&](ListEntry e) { saved.push_back(e.path); });
    EXPECT_EQ(saved, paths());
}

TEST_F(PlaylistCommandsTest, RenameNeverReplacesAnotherFileAndSaysWhy) {
    makeLoadedModel(2);
    const auto bBytes = testsupport::readFile(dir.file("b.wav"));
    commands->renameItem(0, QStringLiteral("b.wav"));
    EXPECT_EQ(model->item(0)->path, qs(dir.file("a.wav")));
    EXPECT_EQ(testsupport::readFile(dir.file("b.wav")), bBytes);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].contains(qs(dir.file("a.wav"))));
    EXPECT_TRUE(host.messages[0].contains(QStringLiteral("exists")));
    // The item is loaded again all the same.
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
    EXPECT_TRUE(model->item(0)->isLoaded());
}

TEST_F(PlaylistCommandsTest, EditingThePlayingItemIsRefused) {
    makeLoadedModel(2);
    ASSERT_TRUE(commands->playSelected({1}));
    EXPECT_TRUE(commands->refusePlayingEdit({1, 0}));
    EXPECT_EQ(host.messages.back(),
              QStringLiteral("You can not edit an item which is being played."));
    EXPECT_FALSE(commands->refusePlayingEdit({0}));
}

TEST_F(PlaylistCommandsTest, CopyToReplacesTargetsAndTellsFailures) {
    makeLoadedModel(2);
    const std::filesystem::path out = dir.path() / "out";
    std::filesystem::create_directory(out);
    testsupport::writeFile((out / "a.wav").string(), {9, 9, 9});
    commands->copyItemsToFolder({0, 1}, qs(out.string()) + QLatin1Char('/'));
    EXPECT_EQ(testsupport::readFile((out / "a.wav").string()),
              testsupport::readFile(dir.file("a.wav")));
    EXPECT_EQ(testsupport::readFile((out / "b.wav").string()),
              testsupport::readFile(dir.file("b.wav")));
    EXPECT_TRUE(host.messages.empty());

    // A file copied onto itself stays whole.
    const auto aBytes = testsupport::readFile(dir.file("a.wav"));
    commands->copyItemTo(0, qs(dir.file("a.wav")));
    EXPECT_EQ(testsupport::readFile(dir.file("a.wav")), aBytes);

    // A folder that does not exist: one message naming both files.
    commands->copyItemsToFolder({0, 1}, qs(dir.file("missing")));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].contains(qs(dir.file("a.wav"))));
    EXPECT_TRUE(host.messages[0].contains(qs(dir.file("b.wav"))));
}

// Special files: a FIFO, a socket or a device is never added by Add Files or Add Directory,
// and one that reaches the loader through the list file is refused without blocking it.
TEST_F(PlaylistCommandsTest, SpecialFilesAreNotAddedAndNeverBlockTheLoader) {
    makeLoadedModel(1);
    const std::string fifo = dir.file("x.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    writeWav(dir.file("z.wav"));

    commands->addFiles({qs(fifo), qs(dir.file("z.wav"))});
    EXPECT_EQ(paths(), (std::vector<QString>{qs(dir.file("a.wav")), qs(dir.file("z.wav"))}));

    std::filesystem::create_directory(dir.path() / "folder.wav");
    commands->addDirectory(qs(dir.path().string()));
    EXPECT_EQ(model->count(), 2) << "neither the FIFO nor the folder named *.wav comes in";

    // Through the list file, the FIFO becomes an item; the loader refuses it and goes on.
    ASSERT_EQ(model->addPath(qs(fifo)), 2);
    writeWav(dir.file("after.wav"));
    ASSERT_EQ(model->addPath(qs(dir.file("after.wav"))), 3);
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }, 10000));
    EXPECT_EQ(model->item(2)->lengthOrState, std::uint32_t{SONDREL_ERR_UNSUPPORTED});
    EXPECT_TRUE(model->item(3)->isLoaded());
    EXPECT_EQ(refuseSpecialFile("/dev/null"), SONDREL_ERR_UNSUPPORTED);

    // Copy To from the FIFO's item fails at once instead of waiting for a writer.
    commands->copyItemTo(2, qs(dir.file("copy.wav")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("copy.wav")));
    EXPECT_EQ(host.messages.size(), 1u);
}

// A name that is not UTF-8 (Latin-1 "lat\xe9.wav") survives adding, loading, the list file,
// renaming, copying and deleting, byte for byte.
TEST_F(PlaylistCommandsTest, NamesThatAreNotUtf8SurviveEveryCommand) {
    using mireldo::platform::decodePath;
    using mireldo::platform::encodePath;
    makeLoadedModel(0);
    const std::string base = dir.path().string();
    const std::string latin = base + "/lat\xe9.wav";
    writeWav(latin);
    commands->addFiles({decodePath(QByteArray::fromStdString(latin))});
    ASSERT_EQ(model->count(), 1);
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
    EXPECT_TRUE(model->item(0)->isLoaded()) << "the loader opened the very file";

    // The list file holds the bytes.
    const auto saved = testsupport::readFile(listPath().toStdString());
    ASSERT_GE(saved.size(), 12u + 264);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(saved.data()) + 12), latin);
    std::vector<ListEntry> back;
    ASSERT_TRUE(readListFile(listPath(), [&](ListEntry e) { back.push_back(e); }));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(encodePath(back[0].path).toStdString(), latin);

    // Rename to another such name, then copy it into a folder, then delete it.
    commands->renameItem(0, decodePath("r\xe9nomm\xe9.wav"));
    EXPECT_TRUE(host.messages.empty());
    const std::string renamed = base + "/r\xe9nomm\xe9.wav";
    EXPECT_TRUE(std::filesystem::exists(renamed));
    EXPECT_FALSE(std::filesystem::exists(latin));
    EXPECT_EQ(encodePath(model->item(0)->path).toStdString(), renamed);
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
    EXPECT_TRUE(model->item(0)->isLoaded());

    std::filesystem::create_directory(dir.path() / "out\xff");
    commands->copyItemsToFolder({0}, decodePath(QByteArray::fromStdString(base + "/out\xff")));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(testsupport::readFile(base + "/out\xff/r\xe9nomm\xe9.wav"),
              testsupport::readFile(renamed));

    commands->removeItems({0}, RemoveAnswer::RemoveAndDeleteFiles);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(renamed)) << "the file itself was deleted";
}
