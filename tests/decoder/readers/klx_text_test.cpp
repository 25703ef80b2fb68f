#include "klx_text.h"
#include "klx_writer.h"

#include <gtest/gtest.h>

#include <vector>

using namespace sondrel::klx;

namespace {

// Text of a given length whose bytes avoid NUL and the rotated-text key (which would scramble to
// a terminator), with some bytes above 0x7F.
std::string sampleText(size_t length, unsigned seed) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        const unsigned v = static_cast<unsigned>(i * 31 + seed * 7) % 90;
        text.push_back(static_cast<char>(v < 80 ? 'A' + v % 58 : 0xE0 + v % 10));
    }
    return text;
}

TEST(KlxText, RotationRunsRightWithTheLowBitOfTheLastByteEnteringTheTop) {
    // Bit string 1000 0000 0000 0001 rotated right by one: 1100 0000 0000 0000. Only the first
    // byte is non-zero, so the text is 0xC0 ^ 0xC5.
    const std::vector<uint8_t> block{0x80, 0x01, 1};
    EXPECT_EQ(unscrambleRotated(block), std::string("\x05"));

    // A rotation by whole bytes and a remainder: 12 bits right over three bytes.
    // 0xAB 0xCD 0xEF -> 0xDE 0xFA 0xBC.
    const std::vector<uint8_t> wide{0xAB, 0xCD, 0xEF, 12};
    EXPECT_EQ(unscrambleRotated(wide),
              std::string({static_cast<char>(0xDE ^ 0xC5), static_cast<char>(0xFA ^ 0xC5),
                           static_cast<char>(0xBC ^ 0xC5)}));
}

TEST(KlxText, CountZeroOnlyXorsAndStopsAtTheFirstZeroByte) {
    const std::vector<uint8_t> block{'H' ^ 0xC5, 'i' ^ 0xC5, 0, 'x', 'y', 0};
    EXPECT_EQ(unscrambleRotated(block), "Hi");
    // A full rotation (a multiple of the bit count) is no rotation either.
    const std::vector<uint8_t> full{'H' ^ 0xC5, 'i' ^ 0xC5, 0, 24};
    EXPECT_EQ(unscrambleRotated(full), "Hi");
}

TEST(KlxText, DegenerateBlocksGiveEmptyOrWholeTexts) {
    EXPECT_EQ(unscrambleRotated({}), "");
    const std::vector<uint8_t> countOnly{200};
    EXPECT_EQ(unscrambleRotated(countOnly), "");
    // No terminator in the block: every byte before the count is text, nothing beyond it.
    const std::vector<uint8_t> unterminated{'a' ^ 0xC5, 'b' ^ 0xC5, 0};
    EXPECT_EQ(unscrambleRotated(unterminated), "ab");
}

TEST(KlxText, RotatedTextsRoundTripAtEveryLengthAndCount) {
    // Call text 1 (10 bytes) and texts 2 and 3 (34 bytes): every length and every bit count.
    for (const size_t n : {size_t{10}, size_t{34}}) {
        for (size_t length = 0; length + 2 <= n; ++length) {
            const std::string text = sampleText(length, static_cast<unsigned>(n));
            for (unsigned k = 0; k < 256; ++k) {
                const auto block = klxtest::scrambleRotated(text, n, static_cast<uint8_t>(k));
                ASSERT_EQ(unscrambleRotated(block), text) << "n " << n << " k " << k;
            }
        }
    }
    // Descriptions: every length up to the 2048-byte limit, with a count that varies.
    for (size_t length = 0; length + 2 <= 2048; ++length) {
        const std::string text = sampleText(length, 3);
        const auto k = static_cast<uint8_t>(length * 37 % 256);
        const auto block = klxtest::scrambleRotated(text, length + 2, k);
        ASSERT_EQ(unscrambleRotated(block), text) << "length " << length << " k " << int{k};
    }
}

TEST(KlxText, TopicRoundTripsAndIsCutAt128) {
    for (size_t length = 0; length <= 128; ++length) {
        const std::string text = sampleText(length, 5);
        ASSERT_EQ(unscrambleTopic(klxtest::scrambleTopic(text)), text) << length;
    }
    // 129 bytes without a terminator keep their first 128.
    std::vector<uint8_t> full = klxtest::scrambleTopic(std::string(129, 'q'));
    EXPECT_EQ(unscrambleTopic(full), std::string(128, 'q'));
    // All 0xA7: the terminator first, nothing else.
    EXPECT_EQ(unscrambleTopic(std::vector<uint8_t>(129, 0xA7)), "");
}

TEST(KlxText, TrimAndCut) {
    std::string text = " \t ab c \r\n";
    trimText(text);
    EXPECT_EQ(text, "ab c");
    text = "   ";
    trimText(text);
    EXPECT_EQ(text, "");
    text = "abcdefghij";
    cutText(text, 8);
    EXPECT_EQ(text, "abcdefgh");
    EXPECT_EQ(plainText(std::vector<uint8_t>{'a', 'b', 0, 'c'}), "ab");
    EXPECT_EQ(plainText(std::vector<uint8_t>{'a', 'b'}), "ab");
}

} // namespace
