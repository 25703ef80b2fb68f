// The playlist control on the offscreen platform: rows, pictures, the hint, the tooltip, the
// animation, and a window thread that keeps working while thousands of files load.

#include "item_text.h"
#include "klx_image.h"
#include "list_file.h"
#include "play_list_box.h"
#include "playlist_pictures.h"
#include "playlist_test_util.h"
#include "row_painter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>

#include <chrono>
#include <iostream>
#include <thread>

using namespace mireldo::playlist;
using namespace playlisttest;

namespace {

class ListBoxTest : public ::testing::Test {
  protected:
    void SetUp() override { ensureApp(); }
    QString listPath() const { return qs(dir.file("Mireldo.lst")); }

    std::unique_ptr<CPlayListBox> makeList(int width = 560, int height = 420) {
        auto list = std::make_unique<CPlayListBox>();
        list->resize(width, height);
        return list;
    }

    static void saveShot(const QImage& image, const char* name) {
        QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
        image.save(QStringLiteral(MIRELDO_SCREENSHOT_DIR "/") + QLatin1String(name));
    }

    static int countPixels(const QImage& image, const QRect& area,
                           const std::function<bool(QRgb)>& match) {
        int n = 0;
        const QRect r = area.intersected(image.rect());
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                n += match(image.pixel(x, y)) ? 1 : 0;
            }
        }
        return n;
    }

    testsupport::TempDir dir;
};

bool isSelection(QRgb c) {
    return (c & 0xFFFFFFu) == (kSelectionColour & 0xFFFFFFu);
}
bool isWhite(QRgb c) {
    return (c & 0xFFFFFFu) == 0xFFFFFFu;
}
bool isStateRed(QRgb c) {
    return qRed(c) > 120 && qGreen(c) < 90 && qBlue(c) < 90;
}

} // namespace

TEST_F(ListBoxTest, EmptyListShowsOnlyTheHintAndTheCornerPicture) {
    auto list = makeList();
    ASSERT_TRUE(list->initialise(listPath()));
    list->show();
    const QImage shot = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    saveShot(shot, "playlist_empty.png");
    EXPECT_EQ(list->count(), 1) << "only the dummy row";
    EXPECT_EQ(list->visualItemRect(list->item(0)).height(), 0);
    const QRect hintArea(10, 15, shot.width() - 20, 120);
    EXPECT_GT(countPixels(shot, hintArea, [](QRgb c) { return !isWhite(c); }), 200)
        << "the hint is drawn";
    const QImage& corner = SharedPictures::get().corner;
    const QRect cornerArea(shot.width() - corner.width(), shot.height() - corner.height(),
                           corner.width(), corner.height());
    for (int y = 0; y < corner.height(); ++y) {
        for (int x = 0; x < corner.width(); ++x) {
            ASSERT_EQ(shot.pixel(cornerArea.left() + x, cornerArea.top() + y) & 0xFFFFFFu,
                      corner.pixel(x, y) & 0xFFFFFFu)
                << "corner picture ends in the bottom-right pixel";
        }
    }
    EXPECT_EQ(countPixels(shot, QRect(0, 200, shot.width(), shot.height() - 220),
                          [](QRgb c) { return !isWhite(c); }),
              0)
        << "below the hint all is white";
}

TEST_F(ListBoxTest, RowsOfLoadedPendingLoadingAndFailedItems) {
    const std::string loaded = dir.file("Evening take.wav");
    writeWav(loaded, 44100 * 65 + 4410);
    const std::string slow = dir.file("slow.wav");
    const std::string later = dir.file("later.wav");
    writeWav(slow);
    writeWav(later);
    GatedOpener gate;
    auto list = makeList();
    list->setLoaderOpener(gate.opener());
    ASSERT_TRUE(list->initialise(listPath()));
    list->show();
    list->model()->addPath(qs(loaded));
    list->model()->addPath(qs(dir.file("gone.mp3")));
    ASSERT_TRUE(pumpUntil([&] { return list->model()->isSettled(); }));
    gate.close();
    list->model()->addPath(qs(slow));
    list->model()->addPath(qs(later));
    ASSERT_TRUE(gate.waitUntilHeld());
    ASSERT_TRUE(pumpUntil([&] { return list->model()->item(2)->lengthOrState == kStateLoading; }));
    list->model()->item(0)->queued = 1;
    list->model()->item(1)->queued = 1;
    list->setPlayingItem(list->model()->item(0));
    list->item(1)->setSelected(true);
    list->setCurrentRow(1, QItemSelectionModel::NoUpdate);
    QCoreApplication::processEvents();

    const QImage shot = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    saveShot(shot, "playlist_items.png");
    gate.open();

    ASSERT_EQ(list->count(), 5);
    for (int row = 1; row <= 4; ++row) {
        EXPECT_EQ(list->visualItemRect(list->item(row)).height(), 30) << row;
    }
    const auto rowRect = [&](int row) { return list->visualItemRect(list->item(row)); };
    // The selected row takes the selection colour right of its picture, and in the picture's
    // white background connected to its top-left corner.
    EXPECT_GT(countPixels(shot, rowRect(1).adjusted(40, 0, 0, 0), isSelection), 1000);
    EXPECT_TRUE(isSelection(shot.pixel(rowRect(1).topLeft())));
    EXPECT_EQ(countPixels(shot, rowRect(2), isSelection), 0);
    // Failed, pending and loading rows write their state in dark red; the loaded row does not.
    EXPECT_EQ(countPixels(shot, rowRect(1).adjusted(35, 14, 0, 0), isStateRed), 0);
    for (int row : {2, 3, 4}) {
        EXPECT_GT(countPixels(shot, rowRect(row).adjusted(35, 14, 0, 0), isStateRed), 10) << row;
    }
    // The failure picture (a red cross) shows on row 2.
    EXPECT_GT(countPixels(shot, QRect(rowRect(2).topLeft(), QSize(30, 30)), isStateRed), 20);
    // Markers: playing (green) on row 1, queued (grey) on row 2, at (left + 33, bottom - 13).
    const QRect playing(rowRect(1).left() + 33, rowRect(1).top() + 30 - 13, 9, 9);
    EXPECT_GT(countPixels(shot, playing, [](QRgb c) { return qGreen(c) > 120 && qRed(c) < 80; }),
              10);

    EXPECT_EQ(itemTitle(*list->model()->item(0)), QStringLiteral("Evening take"));
    EXPECT_EQ(itemInfoLine(*list->model()->item(0)),
              QStringLiteral("00:01:05.1   44100 Hz, stereo, 16 bits, 1411 kbps"));
    ASSERT_TRUE(pumpUntil([&] { return list->model()->isSettled(); }));
}

TEST_F(ListBoxTest, LoadingAnimationAdvancesOnlyVisibleRows) {
    GatedOpener gate;
    gate.close();
    auto list = makeList(400, 70); // two rows fit
    list->setLoaderOpener(gate.opener());
    ASSERT_TRUE(list->initialise(listPath()));
    list->show();
    for (int i = 0; i < 4; ++i) {
        list->model()->addPath(qs(dir.file("a" + std::to_string(i) + ".wav")));
    }
    ASSERT_TRUE(gate.waitUntilHeld());
    ASSERT_TRUE(pumpUntil([&] { return list->model()->item(0)->imageCount == 4; }));
    const int ticks = list->animationTicks();
    ASSERT_TRUE(pumpUntil([&] { return list->animationTicks() >= ticks + 2; }, 3000));
    EXPECT_NE(list->model()->item(0)->imageIndex, 0) << "loading frames turn";
    EXPECT_EQ(list->model()->item(1)->imageCount, 1) << "pending: the first frame alone";
    EXPECT_EQ(list->model()->item(1)->imageIndex, 0);
    gate.open();
}

TEST_F(ListBoxTest, TooltipToolsMapToItemsFromTheTopRow) {
    const std::string wav = dir.file("tip.wav");
    writeWav(wav, 4410);
    auto list = makeList();
    ASSERT_TRUE(list->initialise(listPath()));
    list->model()->addPath(qs(wav));
    list->model()->addPath(qs(dir.file("second.wav")));
    ASSERT_TRUE(pumpUntil([&] { return list->model()->isSettled(); }));
    EXPECT_EQ(list->tooltipForTool(1), QStringLiteral("1) tip\r\n") + qs(wav));
    EXPECT_EQ(list->tooltipForTool(2), QStringLiteral("2) ") + qs(dir.file("second.wav")));
    EXPECT_TRUE(list->tooltipForTool(3).isEmpty());
    EXPECT_TRUE(list->tooltipForTool(61).isEmpty());
}

TEST_F(ListBoxTest, AddFileSelectsOnlyItsRowAndSaves) {
    auto list = makeList();
    ASSERT_TRUE(list->initialise(listPath()));
    list->model()->addPath(qs(dir.file("one.wav")));
    list->item(1)->setSelected(true);
    const int index = list->addFile(qs(dir.file("rec.wav")), true);
    EXPECT_EQ(index, 1);
    const auto selected = list->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(list->row(selected.front()), 2);
    EXPECT_EQ(testsupport::readFile(listPath().toStdString()).size(), 12u + 2 * 264);
    list->removeItem(0);
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->model()->item(0)->path, qs(dir.file("rec.wav")));
}

// The window thread only handles messages while files open on the loader thread: a 10 ms
// timer keeps firing while 5,000 queued files load.
TEST_F(ListBoxTest, WindowThreadKeepsHandlingTimersWhile5000ItemsLoad) {
    std::vector<ListEntry> entries;
    for (int i = 0; i < kPlaylistCapacity; ++i) {
        const std::string path = dir.file("f" + std::to_string(i) + ".wav");
        writeWav(path, 441);
        entries.push_back({qs(path), 0});
    }
    ASSERT_TRUE(writeListFile(listPath(), buildListFile(entries, 0)));

    auto list = makeList();
    // Each open takes at least 0.15 ms more, so loading spans well over a hundred ticks.
    list->setLoaderOpener([](SondrelStream** stream, const QString& path) {
        std::this_thread::sleep_for(std::chrono::microseconds(150));
        return openWithSondrel(stream, path);
    });
    list->show();
    QElapsedTimer clock;
    qint64 last = -1;
    qint64 longest = 0;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0) {
            longest = std::max(longest, now - last);
        }
        last = now;
        ++ticks;
    });
    ASSERT_TRUE(list->initialise(listPath()));
    ASSERT_EQ(list->model()->count(), kPlaylistCapacity);
    clock.start();
    timer.start();
    QElapsedTimer loading;
    loading.start();
    ASSERT_TRUE(pumpUntil([&] { return list->model()->isSettled(); }, 60000));
    const double seconds = static_cast<double>(loading.elapsed()) / 1000.0;
    timer.stop();
    const double longestMs = static_cast<double>(longest) / 1e6;
    std::cout << "[ measure  ] 5000 items loaded in " << seconds << " s; " << ticks
              << " timer ticks; longest gap between ticks " << longestMs << " ms\n";
    RecordProperty("longest_tick_gap_ms", std::to_string(longestMs));
    EXPECT_GT(ticks, 0);
    EXPECT_LT(longestMs, 250.0) << "the window thread stalled";
    for (int i = 0; i < kPlaylistCapacity; ++i) {
        ASSERT_TRUE(list->model()->item(i)->isLoaded()) << i;
    }
}

TEST(KlxImage, RowsBitDepthsAndClippedReads) {
    // 2 x 2, 24-bit, bottom-up: the first stored row is the bottom one. Rows pad to 8 bytes.
    std::vector<std::uint8_t> pixels{0,   0, 255, 0,   255, 0,   0, 0,  // bottom: red, green
                                     255, 0, 0,   255, 255, 255, 0, 0}; // top: blue, white
    SondrelImage image{};
    image.header.biSize = 40;
    image.header.biWidth = 2;
    image.header.biHeight = 2;
    image.header.biBitCount = 24;
    image.header.biSizeImage = static_cast<std::uint32_t>(pixels.size());
    image.pixelBytes = static_cast<std::uint32_t>(pixels.size());
    image.pixels = pixels.data();
    QImage out = imageFromSondrel(image);
    ASSERT_EQ(out.size(), QSize(2, 2));
    EXPECT_EQ(out.pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(1, 1), qRgb(0, 255, 0));
    EXPECT_EQ(out.pixel(0, 0), qRgb(0, 0, 255));

    image.header.biHeight = -2; // top-down
    out = imageFromSondrel(image);
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 0, 0));

    image.header.biHeight = 2;
    image.pixelBytes = 8; // only the bottom row was read
    out = imageFromSondrel(image);
    EXPECT_EQ(out.pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 255, 255)) << "unread pixels are white";

    // A header far larger than its bytes: cut to 255 x 255, reads stay within the bytes.
    image.header.biWidth = 100000;
    image.header.biHeight = 100000;
    image.pixelBytes = static_cast<std::uint32_t>(pixels.size());
    out = imageFromSondrel(image);
    EXPECT_EQ(out.size(), QSize(255, 255));

    // 16-bit 5-5-5 and 32-bit.
    std::vector<std::uint8_t> p16{0x00, 0x7C, 0, 0}; // pure red, padded to 4 bytes
    SondrelImage i16 = image;
    i16.header.biWidth = 1;
    i16.header.biHeight = 1;
    i16.header.biBitCount = 16;
    i16.pixelBytes = 4;
    i16.pixels = p16.data();
    EXPECT_EQ(imageFromSondrel(i16).pixel(0, 0), qRgb(255, 0, 0));
    std::vector<std::uint8_t> p32{10, 20, 30, 0};
    i16.header.biBitCount = 32;
    i16.pixels = p32.data();
    EXPECT_EQ(imageFromSondrel(i16).pixel(0, 0), qRgb(30, 20, 10));
    i16.header.biBitCount = 8;
    EXPECT_TRUE(imageFromSondrel(i16).isNull());
}

TEST(PlaylistPictures, SizesAndSelectedPictureFill) {
    ensureApp();
    const SharedPictures& shared = SharedPictures::get();
    for (const QImage& frame : shared.loading) {
        EXPECT_EQ(frame.size(), QSize(30, 30));
    }
    EXPECT_NE(shared.loading[0], shared.loading[1]) << "frames differ";
    EXPECT_EQ(shared.failed.size(), QSize(30, 30));
    EXPECT_EQ(defaultItemPicture().size(), QSize(30, 30));
    EXPECT_EQ(shared.queuedMarker.size(), QSize(9, 9));
    EXPECT_EQ(qAlpha(shared.queuedMarker.pixel(0, 0)), 0) << "top-left colour is transparent";
    EXPECT_EQ(shared.corner.size(), QSize(15, 14));

    // A white picture with a black ring: the outside turns to the selection colour, the white
    // inside the ring (not connected to the corner) stays white.
    QImage ring(30, 30, QImage::Format_RGB32);
    ring.fill(Qt::white);
    {
        QPainter p(&ring);
        p.setPen(Qt::black);
        p.drawRect(5, 5, 19, 19);
    }
    floodFillWhiteFromCorner(ring, kSelectionColour);
    EXPECT_TRUE(isSelection(ring.pixel(0, 0)));
    EXPECT_TRUE(isSelection(ring.pixel(29, 29)));
    EXPECT_TRUE(isWhite(ring.pixel(15, 15)));
    EXPECT_EQ(ring.pixel(5, 5) & 0xFFFFFFu, 0u);
}
