// Grey and darker copies and masks of the picture buttons, pixel by pixel.

#include "image_ops.h"

#include <gtest/gtest.h>

using namespace mireldo::ui;

namespace {

constexpr QRgb kKey = 0xFFC0C0C0u;

// 3 x 2: a transparent pixel, pure colours, a mixed colour and white.
QImage sample() {
    QImage image(3, 2, QImage::Format_RGB32);
    image.setPixel(0, 0, kKey);
    image.setPixel(1, 0, qRgb(255, 0, 0));
    image.setPixel(2, 0, qRgb(0, 255, 0));
    image.setPixel(0, 1, qRgb(0, 0, 255));
    image.setPixel(1, 1, qRgb(101, 203, 7));
    image.setPixel(2, 1, qRgb(255, 255, 255));
    return image;
}

} // namespace

TEST(PictureCopies, GreyUsesTruncatedLuminanceAndKeepsTransparentPixels) {
    const QImage grey = greyCopy(sample(), kKey);
    ASSERT_EQ(grey.size(), QSize(3, 2));
    EXPECT_EQ(grey.pixel(0, 0), kKey);
    EXPECT_EQ(grey.pixel(1, 0), qRgb(76, 76, 76));    // 0.299 * 255 = 76.245
    EXPECT_EQ(grey.pixel(2, 0), qRgb(149, 149, 149)); // 0.587 * 255 = 149.685, not rounded up
    EXPECT_EQ(grey.pixel(0, 1), qRgb(29, 29, 29));    // 0.114 * 255 = 29.07
    // 0.299*101 + 0.587*203 + 0.114*7 = 30.199 + 119.161 + 0.798 = 150.158
    EXPECT_EQ(grey.pixel(1, 1), qRgb(150, 150, 150));
    EXPECT_EQ(grey.pixel(2, 1), qRgb(255, 255, 255));
}

TEST(PictureCopies, DarkerTakesAQuarterOffEachChannelTruncated) {
    const QImage darker = darkerCopy(sample(), kKey);
    EXPECT_EQ(darker.pixel(0, 0), kKey);
    EXPECT_EQ(darker.pixel(1, 0), qRgb(191, 0, 0));  // 255 - 63.75 = 191.25
    EXPECT_EQ(darker.pixel(1, 1), qRgb(75, 152, 5)); // 75.75, 152.25, 5.25
    EXPECT_EQ(darker.pixel(2, 1), qRgb(191, 191, 191));
}

TEST(PictureCopies, AColourDifferingFromTheKeyOnlyInOneChannelIsNotTransparent) {
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(192, 192, 193));
    image.setPixel(1, 0, kKey);
    EXPECT_EQ(greyCopy(image, kKey).pixel(0, 0), qRgb(192, 192, 192));
    const QImage mask = makeMask(image, kKey);
    EXPECT_EQ(mask.pixelIndex(0, 0), 0);
    EXPECT_EQ(mask.pixelIndex(1, 0), 1);
}

TEST(PictureMasks, MaskIsWhiteExactlyWhereTheKeyIs) {
    const QImage mask = makeMask(sample(), kKey);
    ASSERT_EQ(mask.format(), QImage::Format_Mono);
    EXPECT_EQ(mask.pixel(0, 0), qRgb(255, 255, 255));
    for (const QPoint p : {QPoint(1, 0), QPoint(2, 0), QPoint(0, 1), QPoint(1, 1), QPoint(2, 1)}) {
        EXPECT_EQ(mask.pixel(p), qRgb(0, 0, 0)) << p.x() << "," << p.y();
    }
}

TEST(PictureMasks, DrawnPictureShowsTheBackgroundOnlyThroughTransparentPixels) {
    const QImage picture = sample();
    const QImage mask = makeMask(picture, kKey);
    const QImage blackened = blackenTransparent(picture, kKey);
    EXPECT_EQ(blackened.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(blackened.pixel(1, 1), qRgb(101, 203, 7));
    const QImage drawn = maskedPicture(blackened, mask);
    EXPECT_EQ(qAlpha(drawn.pixel(0, 0)), 0);
    EXPECT_EQ(drawn.pixel(1, 1), qRgba(101, 203, 7, 255));
    EXPECT_EQ(drawn.pixel(2, 1), qRgba(255, 255, 255, 255));
}

TEST(PictureMasks, DisabledLookEmbossesInkAndIgnoresWhiteAndTransparentPixels) {
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(kKey);
    picture.setPixel(1, 1, qRgb(10, 20, 30));    // ink
    picture.setPixel(2, 2, qRgb(255, 255, 255)); // white: vanishes on white
    const QImage out =
        disabledPicture(picture, makeMask(picture, kKey), qRgb(250, 250, 250), qRgb(100, 100, 100));
    EXPECT_EQ(out.pixel(1, 1), qRgba(100, 100, 100, 255));
    EXPECT_EQ(out.pixel(2, 2), qRgba(250, 250, 250, 255)); // the highlight under the ink
    EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(out.pixel(3, 3)), 0);
}

TEST(PictureMasks, NullPicturesGiveNullResults) {
    EXPECT_TRUE(greyCopy(QImage(), kKey).isNull());
    EXPECT_TRUE(makeMask(QImage(), kKey).isNull());
    EXPECT_TRUE(maskedPicture(sample(), QImage(2, 2, QImage::Format_Mono)).isNull());
}
