// The textured buttons' palette image, colour table and style-8 pattern, with scripted and
// seeded generators so that every pixel is known.

#include "texture.h"

#include <gtest/gtest.h>

#include <deque>
#include <set>

using namespace mireldo::ui;

namespace {

// A generator that plays `values` and then `rest` forever.
RandomSource script(std::deque<int> values, int rest = 0) {
    return [values, rest]() mutable {
        if (values.empty()) {
            return rest;
        }
        const int v = values.front();
        values.pop_front();
        return v;
    };
}

} // namespace

TEST(PaletteImage, RowsArePaddedToFourBytesAndStoredBottomFirst) {
    PaletteImage image(5, 3);
    EXPECT_EQ(image.stride(), 8);
    EXPECT_EQ(image.imageSize(), 24u);
    image.setPixel(1, 0, 7); // top row
    EXPECT_EQ(image.stored(2, 1), 7);
    EXPECT_EQ(image.pixel(1, 0), 7);
    image.setPixel(-1, 0, 9);
    image.setPixel(5, 0, 9);
    image.setPixel(0, 3, 9);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(image.pixel(x, y), (x == 1 && y == 0) ? 7 : 0) << x << "," << y;
        }
    }
    const QImage q = image.toImage();
    EXPECT_EQ(q.pixelIndex(1, 0), 7);
    EXPECT_EQ(PaletteImage(0, -4).width(), 1);
}

TEST(PaletteImage, TintMovesEveryEntryTowardsTheColourAndIsLimitedTo100) {
    PaletteImage image(1, 1);
    image.setColor(3, qRgb(100, 0, 200));
    image.tint(qRgb(200, 100, 0), 10);
    EXPECT_EQ(image.color(3), qRgb(110, 10, 180));
    image.tint(qRgb(200, 100, 0), 0);
    EXPECT_EQ(image.color(3), qRgb(110, 10, 180));
    image.tint(qRgb(1, 2, 3), 250);
    EXPECT_EQ(image.color(3), qRgb(1, 2, 3));
    EXPECT_EQ(image.color(200), qRgb(1, 2, 3));
}

TEST(TextureColours, TableRunsFromShadowOverFaceToHighlight) {
    PaletteImage image(1, 1);
    const ButtonColors colors{qRgb(64, 0, 128), qRgb(192, 128, 64), qRgb(255, 255, 255)};
    fillButtonColorTable(image, colors);
    EXPECT_EQ(image.color(0), qRgb(64, 0, 128));
    EXPECT_EQ(image.color(64), qRgb(128, 64, 96));
    EXPECT_EQ(image.color(127),
              qRgb((64 * 1 + 192 * 127) / 128, (128 * 127) / 128, (128 * 1 + 64 * 127) / 128));
    // Entry 128 comes from the second rule (j = 1), not the first (which would be the face).
    EXPECT_EQ(image.color(128), qRgb(192, 128, 65));
    EXPECT_EQ(image.color(191), qRgb((192 * 64 + 255 * 64) / 128, (128 * 64 + 255 * 64) / 128,
                                     (64 * 64 + 255 * 64) / 128));
    EXPECT_EQ(image.color(255), qRgb(255, 255, 255));
}

TEST(TexturePattern, EachScratchIsAPairOfMirroredDiagonalStrokes) {
    PaletteImage image(20, 10);
    // x = 5 (32767 / 20 = 1638), y = 4 (32767 / 10 = 3276), length 6, value 30; then 199
    // scratches of length 0.
    drawScratches(image, script({5 * 1638, 4 * 3276, 6 * 3276, 30 * 819}));
    std::set<std::pair<int, int>> expected{{5, 4}, {4, 5}, {3, 6}, {15, 4}, {16, 3}, {17, 2}};
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) {
            EXPECT_EQ(image.pixel(x, y), expected.count({x, y}) != 0 ? 30 : 0) << x << "," << y;
        }
    }
}

TEST(TexturePattern, StrokesStopAtTheEdges) {
    PaletteImage image(20, 10);
    // x = 1, y = 8, length 10: the first stroke needs x - k > 0 (only k = 0) and y + k < 10
    // (k <= 1); the second needs y - k > 0 (k < 8).
    drawScratches(image, script({1 * 1638, 8 * 3276, 10 * 3276, 40 * 819}));
    EXPECT_EQ(image.pixel(1, 8), 40);
    EXPECT_EQ(image.pixel(0, 9), 0);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(image.pixel(19 + k, 8 - k), k == 0 ? 40 : 0) << k; // beyond x 19 is outside
    }
}

TEST(TexturePattern, ShadingIsBrightestTopLeftAndWrapsInEightBits) {
    PaletteImage image(4, 2);
    image.setPixel(0, 0, 200);
    addShading(image, 8, script({}, 0)); // no noise
    // e = 99; bottom row (stored row 0): column shares 99, 74, 49, 24; top row adds 49.
    EXPECT_EQ(image.pixel(0, 1), 99);
    EXPECT_EQ(image.pixel(1, 1), 74);
    EXPECT_EQ(image.pixel(2, 1), 49);
    EXPECT_EQ(image.pixel(3, 1), 24);
    EXPECT_EQ(image.pixel(0, 0), (200 + 148) % 256);
    EXPECT_EQ(image.pixel(3, 0), 73);
}

TEST(TexturePattern, NoiseRunsFromZeroTo2n) {
    PaletteImage image(1, 1);
    addShading(image, 8, script({}, 32767)); // 32767 / 2047 = 16 = 2n
    EXPECT_EQ(image.pixel(0, 0), 99 + 16);
    PaletteImage quiet(1, 1);
    addShading(quiet, 0, script({}, 32767)); // n = 0: no noise, and no division by zero
    EXPECT_EQ(quiet.pixel(0, 0), (255 - 40) / 2);
}

TEST(TexturePattern, HotImageIsTheFaceTintedTowardsTheHighlight) {
    const ButtonColors colors{qRgb(128, 128, 128), qRgb(212, 208, 200), qRgb(255, 255, 255)};
    Random15 random(7);
    const Texture t = makeTexture(30, 12, colors, TextureParams{}, [&] { return random(); });
    ASSERT_EQ(t.face.width(), 30);
    ASSERT_EQ(t.hot.height(), 12);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 30; ++x) {
            ASSERT_EQ(t.face.pixel(x, y), t.hot.pixel(x, y));
        }
    }
    const QRgb face0 = t.face.color(0);
    EXPECT_EQ(t.hot.color(0),
              qRgb((255 * 10 + qRed(face0) * 90) / 100, (255 * 10 + qGreen(face0) * 90) / 100,
                   (255 * 10 + qBlue(face0) * 90) / 100));
    // The face is darker at the bottom right than at the top left on average.
    int topLeft = 0;
    int bottomRight = 0;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            topLeft += t.face.pixel(x, y);
            bottomRight += t.face.pixel(29 - x, 11 - y);
        }
    }
    EXPECT_GT(topLeft, bottomRight);
}

TEST(TexturePattern, SameSeedSameTextureAndTheSequenceContinues) {
    const ButtonColors colors{qRgb(128, 128, 128), qRgb(212, 208, 200), qRgb(255, 255, 255)};
    Random15 a(3);
    Random15 b(3);
    const auto first = makeTexture(40, 20, colors, {}, [&] { return a(); });
    const auto again = makeTexture(40, 20, colors, {}, [&] { return b(); });
    const auto next = makeTexture(40, 20, colors, {}, [&] { return a(); });
    EXPECT_EQ(first.face.toImage(), again.face.toImage());
    EXPECT_NE(first.face.toImage(), next.face.toImage());
}

TEST(Random15, StaysWithin0To32767) {
    Random15 r(1);
    EXPECT_EQ(r(), 41); // the C runtime's first value for seed 1
    for (int i = 0; i < 100000; ++i) {
        const int v = r();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
}
