// The playlist's controller without a widget: the play queue driven by the player's posted
// position notifications, removing (the playing item, queued items, deleting files), moving,
// renaming and copying the selected items, adding a file for another dialog, and the player
// engine's start and stop.

#include "audio_play_thread.h"
#include "list_file.h"
#include "messages.h"
#include "playlist_controller.h"
#include "playlist_fakes.h"
#include "playlist_test_util.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <filesystem>

using namespace mireldo::playlist;
using namespace playlisttest;

namespace {

class PlaylistControllerTest : public ::testing::Test {
  protected:
    void SetUp() override { ensureApp(); }

    /// A controller with the fake player on a list file in the test folder holding `files`
    /// WAV files (a.wav, b.wav, ...), loaded.
    void makeController(int files) {
        auto fake = std::make_unique<FakePlayer>();
        player = fake.get();
        controller = std::make_unique<PlaylistController>(kPlaylistCapacity, ModelPictures::plain(),
                                                          view, view, std::move(fake));
        ASSERT_TRUE(controller->initialise(listPath()));
        for (int i = 0; i < files; ++i) {
            const std::string name(1, static_cast<char>('a' + i));
            writeWav(dir.file(name + ".wav"), 4410);
            controller->model().addPath(qs(dir.file(name + ".wav")));
        }
        ASSERT_TRUE(pumpUntil([&] { return controller->model().isSettled(); }));
    }
    QString listPath() const { return qs(dir.file("Mireldo.lst")); }
    QString path(const char* name) const { return qs(dir.file(name)); }
    std::vector<QString> paths() const {
        std::vector<QString> out;
        for (int i = 0; i < controller->model().count(); ++i) {
            out.push_back(controller->model().item(i)->path);
        }
        return out;
    }
    std::vector<QString> savedPaths() const {
        std::vector<QString> saved;
        readListFile(listPath(), [&](ListEntry e) { saved.push_back(e.path); });
        return saved;
    }
    /// Posts the player's notification as the player thread does and delivers it.
    void playerReports(std::uint32_t position, bool end) {
        ASSERT_TRUE(mireldo::platform::postMessage(controller->handle(), PLAYLIST_PLAYER_MSG,
                                                   position, end ? 1 : 0));
        QCoreApplication::sendPostedEvents(controller.get());
    }
    const PlaylistItem* item(int index) const { return controller->model().item(index); }

    testsupport::TempDir dir;
    FakeView view;
    FakePlayer* player = nullptr;
    std::unique_ptr<PlaylistController> controller;
};

} // namespace

TEST_F(PlaylistControllerTest, PlayQueueFollowsTheSelectionAndThePlayersNotifications) {
    makeController(3);
    view.selection = {0, 2};
    PlaylistCommands& commands = controller->commands();
    ASSERT_TRUE(commands.playSelected(controller->selectedItems()));
    EXPECT_EQ(commands.currentItem(), item(0));
    EXPECT_EQ(commands.queue().items(), (std::vector<const PlaylistItem*>{item(0), item(2)}));
    EXPECT_EQ(item(1)->queued, 0);

    // A position on the way moves the control; the end of a.wav starts c.wav.
    playerReports(100, false);
    EXPECT_EQ(view.positions.back(), 100u);
    playerReports(4409, true);
    EXPECT_EQ(commands.currentItem(), item(2));
    EXPECT_EQ(player->streams, (std::vector<SondrelStream*>{item(0)->stream, item(2)->stream}));

    // The end of the last item ends the sequence: "Ready", the player stopped, queue empty.
    playerReports(4409, true);
    EXPECT_EQ(commands.currentItem(), nullptr);
    EXPECT_TRUE(commands.queue().empty());
    EXPECT_TRUE(view.titles.back().isEmpty());
    EXPECT_FALSE(player->open);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(item(i)->queued, 0) << i;
    }
}

TEST_F(PlaylistControllerTest, PositionControlDragStopsNotificationsAndItsReleaseSeeks) {
    makeController(1);
    ASSERT_TRUE(controller->commands().playSelected({0}));
    controller->commands().onPositionControl(PositionAction::Dragging, 0);
    const std::size_t shown = view.positions.size();
    playerReports(200, false);
    playerReports(300, true); // the end still moves the queue on while dragging
    EXPECT_EQ(view.positions.size(), shown);
    ASSERT_TRUE(controller->commands().playSelected({0}));
    controller->commands().onPositionControl(PositionAction::MovedTo, 2000);
    EXPECT_EQ(player->seeks, (std::vector<std::uint32_t>{2000}));
    EXPECT_FALSE(controller->commands().isDragging());
}

TEST_F(PlaylistControllerTest, RemovingThePlayingItemStopsItAndQueuedItemsLeaveTheQueue) {
    makeController(4);
    ASSERT_TRUE(controller->commands().playSelected({1, 2, 3}));
    const PlaylistItem* third = item(2);

    // Removed by another dialog: the playing item is stopped first, the view loses its row.
    controller->removeItem(1);
    EXPECT_EQ(player->stops, 1);
    EXPECT_EQ(controller->commands().currentItem(), nullptr);
    EXPECT_EQ(view.removedIndices, (std::vector<int>{1}));
    EXPECT_EQ(item(1), third);
    EXPECT_EQ(third->queued, 0); // stopping cleared the whole queue

    // A queued item that is not playing leaves the queue and the list; the file stays.
    ASSERT_TRUE(controller->commands().playSelected({0, 1}));
    controller->removeItem(1);
    EXPECT_EQ(controller->commands().queue().items(), (std::vector<const PlaylistItem*>{item(0)}));
    EXPECT_EQ(paths(), (std::vector<QString>{path("a.wav"), path("d.wav")}));
    EXPECT_TRUE(QFileInfo::exists(path("c.wav")));

    // Out of range: nothing happens.
    controller->removeItem(7);
    controller->removeItem(-1);
    EXPECT_EQ(controller->model().count(), 2);
}

TEST_F(PlaylistControllerTest, RemovingTheSelectionAsTheAnswerSays) {
    makeController(3);
    view.selection = {0, 2};
    controller->commands().removeItems(controller->selectedItems(), RemoveAnswer::Keep);
    EXPECT_EQ(controller->model().count(), 3);
    EXPECT_TRUE(view.removedIndices.empty());

    controller->commands().removeItems(controller->selectedItems(),
                                       RemoveAnswer::RemoveAndDeleteFiles);
    EXPECT_EQ(paths(), (std::vector<QString>{path("b.wav")}));
    // Item 2 was renumbered to 1 once item 0 went.
    EXPECT_EQ(view.removedIndices, (std::vector<int>{0, 1}));
    EXPECT_EQ(view.selected, (std::vector<int>{0}));
    EXPECT_FALSE(QFileInfo::exists(path("a.wav")));
    EXPECT_FALSE(QFileInfo::exists(path("c.wav")));
    EXPECT_EQ(savedPaths(), paths());
}

TEST_F(PlaylistControllerTest, MovingTheSelectionKeepsBlocksAndSavesTheList) {
    makeController(4);
    const auto p = paths();
    EXPECT_EQ(controller->commands().moveDown({1, 3}), (std::vector<int>{2, 3}));
    EXPECT_EQ(paths(), (std::vector<QString>{p[0], p[2], p[1], p[3]}));
    EXPECT_EQ(savedPaths(), paths());
    EXPECT_EQ(controller->commands().moveUp({1, 2}), (std::vector<int>{0, 1}));
    EXPECT_EQ(paths(), (std::vector<QString>{p[2], p[1], p[0], p[3]}));
    EXPECT_EQ(savedPaths(), paths());
}

TEST_F(PlaylistControllerTest, RenameMovesTheFileAndReloadShowsTheItemAgain) {
    makeController(2);
    controller->commands().renameItem(1, QStringLiteral("renamed.wav"));
    EXPECT_EQ(item(1)->path, path("renamed.wav"));
    EXPECT_FALSE(QFileInfo::exists(path("b.wav")));
    ASSERT_TRUE(pumpUntil([&] { return controller->model().isSettled(); }));
    EXPECT_TRUE(item(1)->isLoaded());
    EXPECT_EQ(savedPaths(), paths());

    // The tag dialog's reload: the item goes back to the loader and comes back loaded.
    const int repaints = view.repaints;
    controller->reloadItem(item(0));
    EXPECT_GT(view.repaints, repaints);
    ASSERT_TRUE(pumpUntil([&] { return controller->model().isSettled(); }));
    EXPECT_TRUE(item(0)->isLoaded());
    controller->reloadItem(nullptr); // not in the list: nothing happens
}

TEST_F(PlaylistControllerTest, CopyTheSelectedItemsAndHandTheirPathsToOtherDialogs) {
    makeController(3);
    view.selection = {0, 2};
    EXPECT_EQ(controller->selectedPaths(), (QStringList{path("a.wav"), path("c.wav")}));
    const std::filesystem::path out = dir.path() / "out";
    std::filesystem::create_directory(out);
    controller->commands().copyItemsToFolder(controller->selectedItems(), qs(out.string()));
    EXPECT_TRUE(std::filesystem::exists(out / "a.wav"));
    EXPECT_FALSE(std::filesystem::exists(out / "b.wav"));
    EXPECT_TRUE(std::filesystem::exists(out / "c.wav"));
    controller->commands().copyItemTo(1, qs((out / "copy.wav").string()));
    EXPECT_EQ(std::filesystem::file_size(out / "copy.wav"),
              std::filesystem::file_size(dir.file("b.wav")));
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(PlaylistControllerTest, AddFileForAnotherDialogSelectsItAndSaves) {
    makeController(1);
    writeWav(dir.file("x.wav"), 4410);
    EXPECT_EQ(controller->addFile(path("x.wav"), true), 1);
    EXPECT_EQ(view.selected, (std::vector<int>{1}));
    EXPECT_EQ(savedPaths(), paths());
    // A path already in the list answers its index and is not selected without `select`.
    EXPECT_EQ(controller->addFile(path("a.wav"), false), 0);
    EXPECT_EQ(view.selected, (std::vector<int>{1}));
}

TEST_F(PlaylistControllerTest, OwnPlayerEngineStartsAndStopsWithTheController) {
    ::setenv("MIRELDO_AUDIO_MODE", "virtual", 1);
    PlaylistController own(kPlaylistCapacity, ModelPictures::plain(), view, view);
    EXPECT_EQ(own.player(), nullptr);
    ASSERT_TRUE(own.initialise(listPath()));
    ASSERT_NE(own.player(), nullptr);
    EXPECT_FALSE(own.player()->isFinished());
    own.shutdown();
    EXPECT_TRUE(own.player()->isFinished());
    own.shutdown(); // idempotent
}
