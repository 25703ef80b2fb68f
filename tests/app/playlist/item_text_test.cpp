// The texts of a row: the info line, the extension, the state texts and the tooltip.

#include "item_text.h"
#include "playlist_model.h"
#include "playlist_test_util.h"

#include <gtest/gtest.h>

using namespace mireldo::playlist;
using namespace playlisttest;

namespace {

WAVEFORMATEX format(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                    std::uint32_t avgBytes) {
    WAVEFORMATEX f{};
    f.wFormatTag = 1;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = avgBytes;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.cbSize = 18;
    return f;
}

} // namespace

TEST(ItemText, InfoLineUsesIntegerDivisionsOfFramesAndRate) {
    // 3 min 25.5 s at 44,100 Hz is 9,062,550 frames; 128 kbps is 16,000 bytes a second.
    EXPECT_EQ(infoLine(9062550, format(2, 44100, 16, 16000)),
              QStringLiteral("00:03:25.5   44100 Hz, stereo, 16 bits, 128 kbps"));
    // Tenths are cut, not rounded: 0.99 s shows .9.
    EXPECT_EQ(infoLine(43659, format(1, 44100, 8, 44100)),
              QStringLiteral("00:00:00.9   44100 Hz, mono, 8 bits, 352 kbps"));
    EXPECT_EQ(infoLine(8000u * 3725, format(1, 8000, 16, 4000)),
              QStringLiteral("01:02:05.0   8000 Hz, mono, 16 bits, 32 kbps"));
    // Above 99 hours the hour field simply widens.
    EXPECT_EQ(infoLine(0xFFFFFFFFu, format(2, 8000, 16, 32000)).left(13),
              QStringLiteral("149:07:50.9  "));
    // The kbps product wraps in 32 bits as it always has.
    EXPECT_EQ(infoLine(1, format(2, 44100, 16, 0x20000000u)),
              QStringLiteral("00:00:00.0   44100 Hz, stereo, 16 bits, 0 kbps"));
    EXPECT_EQ(infoLine(10, format(6, 0, 16, 0)).left(12), QStringLiteral("00:00:00.0  "))
        << "a rate of 0 divides nothing";
    EXPECT_EQ(channelName(6), QStringLiteral("6 channels"));
}

TEST(ItemText, ExtensionIsLastThreeCharactersLowerCaseWithThreeSpaces) {
    EXPECT_EQ(extensionText(QStringLiteral("/a/B.MP3")), QStringLiteral("mp3   "));
    EXPECT_EQ(extensionText(QStringLiteral("/a/b.Ogg")), QStringLiteral("ogg   "));
}

TEST(ItemText, EveryLoadStateHasItsText) {
    const std::vector<std::pair<std::uint32_t, const char*>> table{
        {0, "Loading pending"},
        {0xFFFFFFFFu, "Loading..."},
        {1, "Loading failed: File not found."},
        {2, "Loading failed: Sharing voilation"},
        {3, "Loading failed: Can not open file."},
        {4, "Loading failed: The file might be corrupted."},
        {5, "Loading failed: File format is not recognized."},
        {6, "Loading failed: Call records can not be loaded here."},
        {17, "Loading failed: Need media player 10+"},
        {16, "Loading failed: Unknown errors occurred."},
        {8, "Loading failed: Unknown errors occurred."},
        {13, "Loading failed: Unknown errors occurred."},
    };
    for (const auto& [state, text] : table) {
        EXPECT_EQ(stateText(state), QString::fromUtf8(text)) << state;
    }
}

TEST(ItemText, TooltipOfPendingAndLoadedItems) {
    ensureApp();
    testsupport::TempDir dir;
    const std::string wav = dir.file("Morning Take.wav");
    writeWav(wav, 4410);
    PlaylistModel model(10, ModelPictures::plain());
    model.initialise(qs(dir.file("Mireldo.lst")));
    model.addPath(qs(wav));
    model.addPath(qs(dir.file("absent.wav")));
    EXPECT_EQ(tooltipText(*model.item(0), 0), QStringLiteral("1) ") + qs(wav));
    ASSERT_TRUE(pumpUntil([&] { return model.isSettled(); }));
    EXPECT_EQ(tooltipText(*model.item(0), 0), QStringLiteral("1) Morning Take\r\n") + qs(wav));
    EXPECT_EQ(tooltipText(*model.item(1), 1), QStringLiteral("2) ") + qs(dir.file("absent.wav")));
}

// The interop case of the row text: an MP3 made by lame, opened through Sondrel.
TEST(ItemTextInterop, Mp3Of3Min25Point5SecondsReadsAsTheListShowsIt) {
    ensureApp();
    testsupport::TempDir dir;
    const std::string mp3 = dir.file("Long Take.MP3");
    // 205.5 s of quiet stereo noise; lame's own delay and padding stay inside the same tenth.
    const std::string cmd = std::string(MIRELDO_SOX_EXE) +
                            " -n -r 44100 -c 2 -b 16 -t wav - synth 205.5 whitenoise vol 0.01 | " +
                            MIRELDO_LAME_EXE + " --quiet -b 128 --cbr - " +
                            testsupport::shellQuote(mp3);
    ASSERT_EQ(testsupport::runCommand(cmd).exitCode, 0);
    PlaylistModel model(10, ModelPictures::plain());
    model.initialise(qs(dir.file("Mireldo.lst")));
    model.addPath(qs(mp3));
    ASSERT_TRUE(pumpUntil([&] { return model.isSettled(); }, 20000));
    const PlaylistItem* item = model.item(0);
    ASSERT_TRUE(item->isLoaded()) << stateText(item->lengthOrState).toStdString();
    EXPECT_EQ(itemInfoLine(*item),
              QStringLiteral("00:03:25.5   44100 Hz, stereo, 16 bits, 128 kbps"))
        << "length " << item->lengthOrState;
    EXPECT_EQ(extensionText(item->path), QStringLiteral("mp3   "));
    EXPECT_EQ(itemTitle(*item), QStringLiteral("Long Take"));
}
