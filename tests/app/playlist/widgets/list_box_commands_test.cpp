// The playlist control's commands on the offscreen platform: keys, the context menu and its
// enabling, removal through ConfirmRemove, and playing three files (WAV, MP3, WAV) through the
// playlist's player into the virtual output.

#include "play_list_box.h"
#include "playlist_test_util.h"
#include "position_control.h"
#include "time_label.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QMenu>

#include <cstdlib>
#include <cstring>

using namespace mireldo::playlist;
using namespace playlisttest;

namespace {

/// A playlist control whose dialogs answer from the test.
class TestListBox : public CPlayListBox {
  public:
    QStringList filesToAdd;
    RemoveAnswer removeAnswer = RemoveAnswer::Remove;
    int removeAsked = 0;

  protected:
    QStringList askFilesToAdd(const QString&) override { return filesToAdd; }
    RemoveAnswer ConfirmRemove(int) override {
        ++removeAsked;
        return removeAnswer;
    }
};

class ListBoxCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Playing must reach the virtual back-end whatever the runner's environment holds.
        ::setenv("MIRELDO_AUDIO_MODE", "virtual", 1);
        ensureApp();
    }

    std::unique_ptr<TestListBox> makeList() {
        auto list = std::make_unique<TestListBox>();
        list->resize(400, 300);
        list->setMessageSink([this](const QString& text) { messages.push_back(text); });
        list->setMainCommandSink([this](int id) { mainCommands.push_back(id); });
        EXPECT_TRUE(list->initialise(qs(dir.file("Mireldo.lst"))));
        return list;
    }
    void addWavs(TestListBox& list, int n) {
        for (int i = 0; i < n; ++i) {
            const std::string name = dir.file(std::string(1, static_cast<char>('a' + i)) + ".wav");
            writeWav(name, 4410);
            list.filesToAdd.append(qs(name));
        }
        list.onCommand(ID_ADD_FILES);
        ASSERT_TRUE(pumpUntil([&] { return list.model()->isSettled(); }));
    }
    static void press(QWidget& w, int key, const QString& text = {}) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(&w, &event);
    }
    static QAction* action(const TestListBox& list, int id) {
        for (QAction* a : list.contextMenu()->actions()) {
            if (a->data().toInt() == id) {
                return a;
            }
        }
        return nullptr;
    }

    testsupport::TempDir dir;
    std::vector<QString> messages;
    std::vector<int> mainCommands;
};

/// The PCM of a file decoded through Sondrel, as the player hands it to the output.
std::vector<std::uint8_t> decodeAll(const std::string& path) {
    SondrelStream* stream = nullptr;
    if (Sondrel_OpenStream(&stream, path.c_str(), 1, 1) != SONDREL_OK) {
        return {};
    }
    WAVEFORMATEX* format = nullptr;
    std::uint32_t length = 0;
    Sondrel_GetStreamFormat(stream, &format);
    Sondrel_GetStreamLength(stream, &length);
    std::vector<std::uint8_t> pcm(static_cast<std::size_t>(length) * format->nBlockAlign);
    std::uint32_t got = 0;
    Sondrel_DecodeAudioBegin(stream);
    Sondrel_DecodeAudio(stream, 0, length, pcm.data(), &got);
    Sondrel_DecodeAudioEnd(stream);
    pcm.resize(static_cast<std::size_t>(got) * format->nBlockAlign);
    Sondrel_CloseStream(stream);
    return pcm;
}

} // namespace

TEST_F(ListBoxCommandsTest, KeysOfTheList) {
    auto list = makeList();
    addWavs(*list, 3);
    EXPECT_EQ(list->selectedRows(), (std::vector<int>{3})); // the last added row alone

    press(*list, Qt::Key_Space, QStringLiteral(" "));
    press(*list, Qt::Key_Period, QStringLiteral("."));
    EXPECT_EQ(mainCommands, (std::vector<int>{kMainPauseContinue, kMainRecorderStop}));

    list->selectRows({1, 2});
    press(*list, Qt::Key_Delete);
    EXPECT_EQ(list->removeAsked, 1);
    ASSERT_EQ(list->model()->count(), 1);
    EXPECT_EQ(list->count(), 2); // the dummy row and one item
    EXPECT_EQ(list->selectedRows(), (std::vector<int>{1}));

    // Enter plays the selection: the one item left starts.
    press(*list, Qt::Key_Return);
    EXPECT_EQ(list->commands()->currentItem(), list->model()->item(0));
    list->stopPlaying();
    EXPECT_EQ(list->commands()->currentItem(), nullptr);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ListBoxCommandsTest, MenuEnablingFollowsTheSelection) {
    auto list = makeList();
    addWavs(*list, 2);
    list->clearSelection();
    list->updateMenuForSelection();
    for (int id : {ID_REMOVE_ITEMS, ID_OPEN_FOLDER, ID_COPY_TO, ID_TAG, ID_MOVE_UP, ID_MOVE_DOWN}) {
        EXPECT_FALSE(action(*list, id)->isEnabled()) << id;
    }
    EXPECT_TRUE(action(*list, ID_ADD_FILES)->isEnabled());
    list->selectRows({1, 2});
    list->updateMenuForSelection();
    for (int id : {ID_REMOVE_ITEMS, ID_OPEN_FOLDER, ID_COPY_TO, ID_MOVE_UP, ID_MOVE_DOWN}) {
        EXPECT_TRUE(action(*list, id)->isEnabled()) << id;
    }
    // Commands without a selection tell so.
    list->clearSelection();
    list->onCommand(ID_RENAME_FILE);
    EXPECT_EQ(messages, (std::vector<QString>{QStringLiteral("No item was selected.")}));
}

TEST_F(ListBoxCommandsTest, MoveUpCarriesTheSelection) {
    auto list = makeList();
    addWavs(*list, 3);
    const QString third = list->model()->item(2)->path;
    list->selectRows({3});
    list->onCommand(ID_MOVE_UP);
    EXPECT_EQ(list->model()->item(1)->path, third);
    EXPECT_EQ(list->selectedRows(), (std::vector<int>{2}));
}

TEST_F(ListBoxCommandsTest, ThreeFilesPlayInOrderIntoTheVirtualOutput) {
    // Fixtures: two WAVs and an MP3 that lame makes from a third, all 44.1 kHz stereo 16 bits.
    const std::string first = dir.file("first.wav");
    const std::string last = dir.file("last.wav");
    const std::string source = dir.file("source.wav");
    const std::string mp3 = dir.file("middle.mp3");
    writeWav(first, 11025);
    writeWav(last, 7000);
    writeWav(source, 22050);
    const auto lame = testsupport::runCommand(
        std::string(MIRELDO_LAME_EXE) + " --quiet -b 128 --cbr " + testsupport::shellQuote(source) +
        " " + testsupport::shellQuote(mp3));
    ASSERT_EQ(lame.exitCode, 0) << lame.output;

    const std::string output = dir.file("played.wav");
    ::setenv("MIRELDO_VIRTUAL_OUTPUT", output.c_str(), 1);
    ::setenv("MIRELDO_VIRTUAL_SPEED", "8", 1);

    auto list = makeList();
    mireldo::ui::CPositionControl position;
    mireldo::ui::CTimeLabel time;
    time.show();
    list->attachPositionControl(&position);
    list->attachTimeLabel(&time);
    QStringList statuses;
    list->setStatusSink([&](const QString& s) { statuses.append(s); });
    QStringList times;

    list->filesToAdd = {qs(first), qs(mp3), qs(last)};
    list->onCommand(ID_ADD_FILES);
    ASSERT_TRUE(pumpUntil([&] { return list->model()->isSettled(); }));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(list->model()->item(i)->isLoaded()) << i;
    }
    list->selectRows({1, 2, 3});
    list->playSelected();
    ASSERT_NE(list->commands()->currentItem(), nullptr);
    std::uint32_t maxSeen = 0;
    const bool ended = pumpUntil(
        [&] {
            if (!time.text().isEmpty() && !times.contains(time.text())) {
                times.append(time.text());
            }
            maxSeen = std::max(maxSeen, position.maximum());
            return list->commands()->currentItem() == nullptr;
        },
        20000);
    ::unsetenv("MIRELDO_VIRTUAL_OUTPUT");
    ::unsetenv("MIRELDO_VIRTUAL_SPEED");
    ASSERT_TRUE(ended);
    EXPECT_TRUE(messages.empty());
    ASSERT_GE(statuses.size(), 4);
    EXPECT_EQ(statuses.at(0), QStringLiteral("Play: first"));
    EXPECT_EQ(statuses.at(1), QStringLiteral("Play: middle"));
    EXPECT_EQ(statuses.at(2), QStringLiteral("Play: last"));
    EXPECT_EQ(statuses.back(), QStringLiteral("Ready"));
    EXPECT_TRUE(time.text().isEmpty());
    EXPECT_FALSE(times.isEmpty());
    list->shutdownList();

    std::vector<std::uint8_t> expected;
    for (const std::string& path : {first, mp3, last}) {
        const auto pcm = decodeAll(path);
        ASSERT_FALSE(pcm.empty()) << path;
        expected.insert(expected.end(), pcm.begin(), pcm.end());
    }
    const auto played = testsupport::readFile(output);
    ASSERT_GE(played.size(), 44u);
    const std::vector<std::uint8_t> data(played.begin() + 44, played.end());
    ASSERT_EQ(data.size(), expected.size());
    EXPECT_TRUE(data == expected) << "the output differs from the three decoded streams";
}

TEST_F(ListBoxCommandsTest, EmailChecksTheSelectionBeforeTheDialog) {
    auto list = makeList();
    std::vector<QStringList> mailed;
    list->setMailHook([&](const QStringList& paths) { mailed.push_back(paths); });
    ASSERT_NE(action(*list, ID_EMAIL), nullptr);
    EXPECT_EQ(action(*list, ID_EMAIL)->text(), QStringLiteral("E-mail..."));

    list->onCommand(ID_EMAIL);
    EXPECT_EQ(messages, std::vector<QString>{QStringLiteral("No item was selected.")});
    EXPECT_TRUE(mailed.empty());

    addWavs(*list, 2);
    list->selectRows({1, 2});
    messages.clear();
    list->onCommand(ID_EMAIL);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(mailed.size(), 1u);
    EXPECT_EQ(mailed[0].size(), 2);
}

TEST_F(ListBoxCommandsTest, EmailRefuses51Items) {
    auto list = makeList();
    std::vector<QStringList> mailed;
    list->setMailHook([&](const QStringList& paths) { mailed.push_back(paths); });
    for (int i = 0; i < 51; ++i) {
        const std::string name = dir.file("take" + std::to_string(i) + ".wav");
        writeWav(name, 441);
        list->filesToAdd.append(qs(name));
    }
    list->onCommand(ID_ADD_FILES);
    ASSERT_TRUE(pumpUntil([&] { return list->model()->isSettled(); }));
    std::vector<int> rows;
    for (int r = 1; r <= 51; ++r) {
        rows.push_back(r);
    }
    list->selectRows(rows);
    ASSERT_EQ(list->controller()->selectedPaths().size(), 51);
    list->onCommand(ID_EMAIL);
    EXPECT_EQ(messages, std::vector<QString>{QStringLiteral("Error: Too many attachment files!")});
    EXPECT_TRUE(mailed.empty());
}
