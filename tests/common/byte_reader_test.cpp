#include "byte_reader.h"

#include <gtest/gtest.h>

#include <array>

using mireldo::common::ByteReader;

TEST(ByteReader, ReadsLittleEndianAndStopsAtTheEnd) {
    const std::array<uint8_t, 7> bytes{0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0x7F};
    ByteReader r(bytes);
    EXPECT_EQ(r.u32(), 0x04030201u);
    EXPECT_EQ(r.u16(), 0xFFFF);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.u16(), 0) << "only one byte left: a 16-bit read fails whole";
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.u8(), 0) << "a failed reader stays failed";
}

TEST(ByteReader, SeekSkipAndViewsNeverLeaveTheSpan) {
    const std::array<uint8_t, 4> bytes{0xFE, 0xFF, 0xFF, 0xFF};
    ByteReader r(bytes);
    EXPECT_EQ(r.i32(), -2);
    r.seek(4);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.view(0).empty());
    r.seek(1);
    EXPECT_EQ(r.view(3).size(), 3u);
    r.seek(2);
    r.skip(SIZE_MAX);
    EXPECT_FALSE(r.ok());

    ByteReader r2(bytes);
    std::array<uint8_t, 8> out{};
    EXPECT_FALSE(r2.bytes(out.data(), out.size()));
    EXPECT_EQ(out[0], 0) << "a short copy copies nothing";
}
