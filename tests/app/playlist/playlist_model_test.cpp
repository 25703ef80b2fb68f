// The playlist model with its loader thread: adding, the list file at start-up, loading
// states, and removal while the loader holds an item.

#include "item_text.h"
#include "list_file.h"
#include "playlist_model.h"
#include "playlist_test_util.h"

#include <gtest/gtest.h>

#include <QFile>

#include <atomic>

using namespace mireldo::playlist;
using namespace playlisttest;

namespace {

class PlaylistModelTest : public ::testing::Test {
  protected:
    void SetUp() override { ensureApp(); }

    std::unique_ptr<PlaylistModel> makeModel(int capacity = kPlaylistCapacity) {
        return std::make_unique<PlaylistModel>(capacity, ModelPictures::plain());
    }
    QString listPath() const { return qs(dir.file("Mireldo.lst")); }

    testsupport::TempDir dir;
};

ItemLoader::Opener failingOpener(std::atomic<int>* calls = nullptr) {
    return [calls](SondrelStream**, const QString&) {
        if (calls != nullptr) {
            ++*calls;
        }
        return SONDREL_ERR_NOT_FOUND;
    };
}

} // namespace

TEST_F(PlaylistModelTest, PathDifferingOnlyInCaseAddsNothing) {
    auto model = makeModel();
    model->setOpener(failingOpener());
    ASSERT_TRUE(model->initialise(listPath()));
    EXPECT_EQ(model->addPath(QStringLiteral("/music/Take One.MP3")), 0);
    EXPECT_EQ(model->addPath(QStringLiteral("/music/other.wav")), 1);
    EXPECT_EQ(model->addPath(QStringLiteral("/MUSIC/take one.mp3")), 0);
    EXPECT_EQ(model->count(), 2);
    EXPECT_EQ(model->item(0)->path, QStringLiteral("/music/Take One.MP3"));
    // After a removal the freed path may be added again.
    model->removeItem(0);
    EXPECT_EQ(model->addPath(QStringLiteral("/music/take one.mp3")), 1);
}

TEST_F(PlaylistModelTest, NewItemIsPendingWithThePendingPicture) {
    auto model = makeModel();
    model->setOpener(failingOpener());
    model->initialise(listPath());
    ASSERT_EQ(model->addPath(QStringLiteral("/x/a.wav"), 3), 0);
    const PlaylistItem* item = model->item(0);
    EXPECT_EQ(item->kind, 3);
    EXPECT_EQ(item->imageCount, 1);
    EXPECT_EQ(item->imageIndex, 0);
    EXPECT_EQ(item->images, model->pictures().loading.data());
    EXPECT_EQ(item->imageHeight, 30);
}

TEST_F(PlaylistModelTest, PathsThatCannotBeKeptAreRefused) {
    auto model = makeModel();
    model->setOpener(failingOpener());
    model->initialise(listPath());
    EXPECT_EQ(model->addPath(QString()), kAddRefused);
    EXPECT_EQ(model->addPath(QLatin1Char('/') + QString(259, QLatin1Char('a'))), kAddRefused);
    EXPECT_EQ(model->addPath(QLatin1Char('/') + QString(258, QLatin1Char('a'))), 0);
    EXPECT_EQ(model->count(), 1);
}

TEST_F(PlaylistModelTest, The5001stItemIsRefused) {
    std::atomic<int> opens{0};
    auto model = makeModel();
    model->setOpener(failingOpener(&opens));
    model->initialise(listPath());
    for (int i = 0; i < kPlaylistCapacity; ++i) {
        ASSERT_EQ(model->addPath(QStringLiteral("/many/%1.wav").arg(i)), i);
    }
    EXPECT_EQ(model->addPath(QStringLiteral("/many/extra.wav")), kPlaylistCapacity);
    EXPECT_EQ(model->addPath(QStringLiteral("/MANY/17.wav")), 17) << "duplicates still found";
    EXPECT_EQ(model->count(), kPlaylistCapacity);
    EXPECT_TRUE(pumpUntil([&] { return model->isSettled(); }, 20000));
    EXPECT_EQ(opens.load(), kPlaylistCapacity);
}

TEST_F(PlaylistModelTest, ListFileOfMoreThan5000EntriesLoadsTheFirst5000Distinct) {
    constexpr int kEntries = 5600;
    auto bytes = listHeader(kListFileMagic, 3, kEntries, 264);
    for (int i = 0; i < kEntries; ++i) {
        // Every tenth entry repeats the one before it in other letter case.
        const int n = (i % 10 == 9) ? i - 1 : i;
        std::string path = "/lots/file" + std::to_string(n) + ".wav";
        if (i % 10 == 9) {
            path = "/LOTS/FILE" + std::to_string(n) + ".WAV";
        }
        appendRecord(bytes, path, 264);
    }
    testsupport::writeFile(listPath().toStdString(), bytes);
    auto model = makeModel();
    model->setOpener(failingOpener());
    model->initialise(listPath());
    ASSERT_EQ(model->count(), kPlaylistCapacity);
    EXPECT_EQ(model->item(8)->path, QStringLiteral("/lots/file8.wav"));
    EXPECT_EQ(model->item(9)->path, QStringLiteral("/lots/file10.wav"));
    // 5000 distinct among the first 5555 entries: the last one kept is entry 5554.
    EXPECT_EQ(model->item(kPlaylistCapacity - 1)->path, QStringLiteral("/lots/file5554.wav"));
}

TEST_F(PlaylistModelTest, StartUpRewritesTheFileAsVersion3WithAbsolutePaths) {
    auto bytes = listHeader(kListFileMagic, 2, 2, 120);
    appendRecord(bytes, "near.wav", 120);
    appendRecord(bytes, "/far/away.mp3", 120);
    testsupport::writeFile(listPath().toStdString(), bytes);
    {
        auto model = makeModel();
        model->setOpener(failingOpener());
        model->initialise(listPath());
        EXPECT_FALSE(model->isModified());
    }
    const auto saved = testsupport::readFile(listPath().toStdString());
    ASSERT_EQ(saved.size(), 12u + 2 * 264);
    EXPECT_EQ(saved[4], 3);
    std::vector<ListEntry> back;
    ASSERT_TRUE(readListFile(listPath(), [&](ListEntry e) { back.push_back(e); }));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].path, qs(dir.file("near.wav")));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(saved.data()) + 12), dir.file("near.wav"))
        << "the stored path itself is absolute";
}

TEST_F(PlaylistModelTest, MalformedListFilesGiveAnEmptyListAndAreKeptAsBackups) {
    auto version4 = listHeader(kListFileMagic, 4, 1, 264);
    appendRecord(version4, "/a.wav", 264);
    auto badMagic = listHeader(0x12345678u, 3, 1, 264);
    appendRecord(badMagic, "/a.wav", 264);
    auto shortFile = listHeader(kListFileMagic, 3, 2, 264);
    appendRecord(shortFile, "/a.wav", 264);
    const std::string bak = listPath().toStdString() + ".bak";
    const std::vector<std::string> backups{bak, bak + ".1", bak + ".2"};
    int i = 0;
    for (const auto& bytes : {version4, badMagic, shortFile}) {
        testsupport::writeFile(listPath().toStdString(), bytes);
        auto model = makeModel();
        model->setOpener(failingOpener());
        model->initialise(listPath());
        EXPECT_EQ(model->count(), 0);
        EXPECT_EQ(testsupport::readFile(listPath().toStdString()).size(), 12u);
        EXPECT_EQ(testsupport::readFile(backups[static_cast<std::size_t>(i++)]), bytes);
    }
}

TEST_F(PlaylistModelTest, AddFileSavesAtOnceAndUnwritableListChangesNothingInMemory) {
    auto model = makeModel();
    model->setOpener(failingOpener());
    model->initialise(listPath());
    EXPECT_EQ(model->addFile(QStringLiteral("/rec/2024-01-01 10h00m00s.mp3")), 0);
    std::vector<ListEntry> back;
    readListFile(listPath(), [&](ListEntry e) { back.push_back(e); });
    ASSERT_EQ(back.size(), 1u);

    auto other = makeModel();
    other->setOpener(failingOpener());
    other->initialise(qs(dir.file("missing-folder/Mireldo.lst")));
    EXPECT_EQ(other->addFile(QStringLiteral("/rec/a.wav")), 0);
    EXPECT_EQ(other->count(), 1);
    EXPECT_TRUE(other->isModified()) << "an unsaved change stays marked";
}

TEST_F(PlaylistModelTest, LoadedWavGetsLengthFormatAndDefaultPicture) {
    const std::string wav = dir.file("tone.wav");
    writeWav(wav, 44100 * 3 + 22050);
    auto model = makeModel();
    model->initialise(listPath());
    model->addPath(qs(wav));
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
    const PlaylistItem* item = model->item(0);
    ASSERT_TRUE(item->isLoaded());
    EXPECT_EQ(item->lengthOrState, 44100u * 3 + 22050);
    ASSERT_NE(item->format, nullptr);
    EXPECT_EQ(item->images, model->pictures().defaults.data());
    EXPECT_EQ(itemTitle(*item), QStringLiteral("tone"));
    EXPECT_EQ(itemInfoLine(*item),
              QStringLiteral("00:00:03.5   44100 Hz, stereo, 16 bits, 1411 kbps"));
}

TEST_F(PlaylistModelTest, FailuresShowTheirTextAndTheFailurePicture) {
    const std::string empty = dir.file("empty.wav");
    testsupport::writeFile(empty, testsupport::makeWav(2, 44100, 16, {}));
    const std::string bad = dir.file("noise.mp3");
    testsupport::writeFile(bad, testsupport::patternBytes(3000));
    auto model = makeModel();
    model->initialise(listPath());
    model->addPath(qs(empty));
    model->addPath(qs(dir.file("missing.wav")));
    model->addPath(qs(dir.file("notes.txt")));
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
    EXPECT_EQ(model->item(0)->lengthOrState, kStateEmptyStream);
    EXPECT_EQ(stateText(model->item(0)->lengthOrState),
              QStringLiteral("Loading failed: Unknown errors occurred."));
    EXPECT_EQ(stateText(model->item(1)->lengthOrState),
              QStringLiteral("Loading failed: File not found."));
    EXPECT_EQ(stateText(model->item(2)->lengthOrState),
              QStringLiteral("Loading failed: File format is not recognized."));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(model->item(i)->hasFailed());
        EXPECT_EQ(model->item(i)->images, &model->pictures().failed);
        EXPECT_EQ(itemTitle(*model->item(i)), model->item(i)->path) << "full path when not loaded";
    }
    ASSERT_TRUE(model->save());
    EXPECT_EQ(testsupport::readFile(listPath().toStdString()).size(), 12u + 3 * 264)
        << "failed items stay in the list file";
}

TEST_F(PlaylistModelTest, EveryOpenErrorCodeBecomesTheItemsState) {
    const std::vector<std::int32_t> codes{1, 2, 3, 4, 5, 6, 8, 10, 11, 12, 13, 14, 17};
    auto model = makeModel();
    model->setOpener([](SondrelStream**, const QString& path) {
        return static_cast<std::int32_t>(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).toInt());
    });
    model->initialise(listPath());
    for (std::int32_t code : codes) {
        model->addPath(QStringLiteral("/codes/%1").arg(code));
    }
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
    for (std::size_t i = 0; i < codes.size(); ++i) {
        EXPECT_EQ(model->item(static_cast<int>(i))->lengthOrState,
                  static_cast<std::uint32_t>(codes[i]));
    }
}

TEST_F(PlaylistModelTest, ItemRemovedWhilePendingIsFreedWithoutBeingOpened) {
    GatedOpener gate;
    gate.close();
    const std::string first = dir.file("first.wav");
    const std::string second = dir.file("second.wav");
    writeWav(first);
    writeWav(second);
    auto model = makeModel();
    model->setOpener(gate.opener());
    model->initialise(listPath());
    model->addPath(qs(first));
    model->addPath(qs(second));
    ASSERT_TRUE(gate.waitUntilHeld());
    model->removeItem(1); // second: still pending in the queue
    EXPECT_EQ(model->count(), 1);
    EXPECT_EQ(model->removedWaiting(), 1u);
    gate.open();
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
    EXPECT_EQ(model->removedWaiting(), 0u);
    ASSERT_EQ(gate.asked().size(), 1u) << "the removed item is never opened";
    EXPECT_TRUE(model->item(0)->isLoaded());
}

TEST_F(PlaylistModelTest, ItemRemovedWhileBeingOpenedIsFreedAndItsStreamClosed) {
    GatedOpener gate;
    gate.close();
    const std::string wav = dir.file("opening.wav");
    writeWav(wav);
    auto model = makeModel();
    model->setOpener(gate.opener());
    model->initialise(listPath());
    model->addPath(qs(wav));
    ASSERT_TRUE(gate.waitUntilHeld());
    ASSERT_TRUE(pumpUntil([&] { return model->item(0)->lengthOrState == kStateLoading; }));
    model->removeItem(0);
    EXPECT_EQ(model->removedWaiting(), 1u);
    gate.open();
    ASSERT_TRUE(pumpUntil([&] { return model->removedWaiting() == 0; }));
    EXPECT_EQ(openDescriptorsOf(wav), 0) << "the stream opened for the removed item is closed";
}

TEST_F(PlaylistModelTest, RemovingLoadedItemClosesItsStreamAndCanDeleteTheFile) {
    const std::string keep = dir.file("keep.wav");
    const std::string gone = dir.file("gone.wav");
    writeWav(keep);
    writeWav(gone);
    auto model = makeModel();
    model->initialise(listPath());
    model->addPath(qs(keep));
    model->addPath(qs(gone));
    ASSERT_TRUE(pumpUntil([&] { return model->isSettled(); }));
    EXPECT_EQ(openDescriptorsOf(keep), 1);
    model->removeItem(0);
    EXPECT_EQ(openDescriptorsOf(keep), 0);
    EXPECT_TRUE(QFile::exists(qs(keep)));
    model->removeItem(0, true);
    EXPECT_FALSE(QFile::exists(qs(gone)));
    EXPECT_EQ(model->removedWaiting(), 0u);
    EXPECT_TRUE(model->isModified());
}

TEST_F(PlaylistModelTest, ShutdownWithFilesQueuedEndsAfterTheFileBeingOpened) {
    GatedOpener gate;
    gate.close();
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i) {
        files.push_back(dir.file("q" + std::to_string(i) + ".wav"));
        writeWav(files.back(), 1000);
    }
    {
        auto model = makeModel();
        model->setOpener(gate.opener());
        model->initialise(listPath());
        for (const auto& f : files) {
            model->addPath(qs(f));
        }
        ASSERT_TRUE(gate.waitUntilHeld());
        // Let the open go on while shutdown waits for the loader.
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            gate.open();
        });
        model->shutdown();
        release.join();
    }
    EXPECT_EQ(gate.asked().size(), 1u);
    for (const auto& f : files) {
        EXPECT_EQ(openDescriptorsOf(f), 0) << f;
    }
}

TEST_F(PlaylistModelTest, ResultsTheWindowNeverSawAreClosedAtDestruction) {
    const std::string wav = dir.file("unseen.wav");
    writeWav(wav);
    {
        auto model = makeModel();
        model->initialise(listPath());
        model->addPath(qs(wav));
        // Wait for the loader to finish without handling its messages.
        for (int i = 0; i < 200 && openDescriptorsOf(wav) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(openDescriptorsOf(wav), 0);
}
