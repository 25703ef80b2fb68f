#include "silence_detection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace mireldo::recorder;

namespace {

std::vector<unsigned char> samples16(const std::vector<int>& values) {
    std::vector<unsigned char> out;
    for (int v : values) {
        const auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
        out.push_back(static_cast<unsigned char>(s & 0xFF));
        out.push_back(static_cast<unsigned char>(s >> 8));
    }
    return out;
}

// `count` samples alternating mean + d and mean - d.
std::vector<int> alternating(int mean, int d, int count = 512) {
    std::vector<int> v;
    for (int i = 0; i < count; ++i) {
        v.push_back(i % 2 == 0 ? mean + d : mean - d);
    }
    return v;
}

bool silent16(const std::vector<int>& values, int level) {
    const auto bytes = samples16(values);
    return isSilent(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 16, level);
}

bool silent8(const std::vector<int>& values, int level) {
    std::vector<unsigned char> bytes(values.begin(), values.end());
    return isSilent(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 8, level);
}

} // namespace

TEST(SilenceMeasure, DcOffsetOfAnySizeIsSilent) {
    EXPECT_TRUE(silent16(std::vector<int>(1000, 20000), 0));
    EXPECT_TRUE(silent16(std::vector<int>(1000, -32768), 0));
    EXPECT_TRUE(silent8(std::vector<int>(1000, 255), 0));
    // The same offset with a small ripple stays silent; the ripple alone decides.
    EXPECT_TRUE(silent16(alternating(-20000, 289), 0));
}

TEST(SilenceMeasure, DeviationEqualToTheThresholdIsNotSilent16Bit) {
    const int thresholds[] = {290, 300, 500, 850, 1050};
    for (int level = 0; level <= 4; ++level) {
        SCOPED_TRACE(level);
        EXPECT_FALSE(silent16(alternating(0, thresholds[level]), level));
        EXPECT_TRUE(silent16(alternating(0, thresholds[level] - 1), level));
    }
}

TEST(SilenceMeasure, EightBitDataIsUnsignedWithItsOwnColumn) {
    const int thresholds[] = {10, 15, 20, 30, 40};
    for (int level = 0; level <= 4; ++level) {
        SCOPED_TRACE(level);
        EXPECT_FALSE(silent8(alternating(128, thresholds[level]), level));
        EXPECT_TRUE(silent8(alternating(128, thresholds[level] - 1), level));
    }
    // Bytes read as signed would make 100/156 look like a huge swing around 0 and back.
    EXPECT_TRUE(silent8(alternating(200, 5), 0));
}

TEST(SilenceMeasure, MeanAndDeviationTruncateAndIgnoreAnOddByte) {
    // mean 250; deviations 250, 250, 250, 750 -> 375
    auto bytes = samples16({0, 0, 0, 1000});
    EXPECT_EQ(meanDeviation(bytes.data(), 8, 16), 375);
    bytes.push_back(0x7F); // half a sample is not a sample
    EXPECT_EQ(meanDeviation(bytes.data(), 9, 16), 375);
    // sum -3 over 2 -> mean -1 (toward zero); |-3+1| + |0+1| = 3 -> 1
    const auto negative = samples16({-3, 0});
    EXPECT_EQ(meanDeviation(negative.data(), 4, 16), 1);
    EXPECT_TRUE(isSilent(nullptr, 0, 16, 0));
    EXPECT_EQ(silenceThreshold(9, 16), 1050); // levels outside the table are clamped
    EXPECT_EQ(silenceThreshold(-1, 8), 10);
}

TEST(SilenceThresholdBytes, SixtyFourBitArithmetic) {
    EXPECT_EQ(silenceThresholdBytes(2, 16, 2, 44100), 352800u);
    EXPECT_EQ(silenceThresholdBytes(2, 8, 1, 8000), 16000u);
    EXPECT_EQ(silenceThresholdBytes(0, 16, 2, 48000), 0u);
    EXPECT_EQ(silenceThresholdBytes(99, 16, 2, 48000), 19008000u);
    // 3,000 s of 48 kHz 16-bit stereo: the product before the division (4,608,000,000) does
    // not fit 32 bits; wrapped it gave 39,129,088 bytes, a split after about 204 s.
    EXPECT_EQ(silenceThresholdBytes(3000, 16, 2, 48000), 576000000u);
    EXPECT_EQ(silenceThresholdBytes(30000, 16, 2, 48000), 5760000000u);
    // A negative setting is its unsigned pattern: a silence that never counts as long.
    EXPECT_EQ(silenceThresholdBytes(-1, 16, 2, 48000), 0xFFFFFFFFull * 192000);
}

TEST(SilenceDecisions, SkipLeadingSilenceOnlyWhileDroppingAndEmpty) {
    SilenceState state;
    state.marker = 44;
    state.thresholdBytes = 1000;
    SilenceSettings drop{true, 0, 0};
    EXPECT_TRUE(shouldSkipBuffer(drop, state, 0, 44, true));
    EXPECT_FALSE(shouldSkipBuffer(drop, state, 0, 44, false));
    EXPECT_FALSE(shouldSkipBuffer(drop, state, 2, 46, true)); // trailing silence is written
    SilenceSettings keep{false, 0, 0};
    EXPECT_FALSE(shouldSkipBuffer(keep, state, 0, 44, true));
}

TEST(SilenceDecisions, PauseActionSkipsSilenceWhileItIsLongButNeverSound) {
    SilenceState state;
    state.marker = 10000;
    state.thresholdBytes = 5000;
    SilenceSettings pause{false, 1, 0};
    EXPECT_FALSE(shouldSkipBuffer(pause, state, 14956, 15000, true)); // exactly at the limit
    EXPECT_TRUE(shouldSkipBuffer(pause, state, 14957, 15001, true));
    EXPECT_FALSE(shouldSkipBuffer(pause, state, 14957, 15001, false)); // the sound that ends it
    SilenceSettings other{false, 2, 0};
    EXPECT_FALSE(shouldSkipBuffer(other, state, 14957, 15001, false));
}

TEST(SilenceDecisions, LongSilenceActions) {
    SilenceState state;
    state.marker = 44;
    state.thresholdBytes = 100;
    EXPECT_EQ(longSilenceAction(2, state, 144), LongSilenceAction::None);
    EXPECT_EQ(longSilenceAction(0, state, 145), LongSilenceAction::None);
    EXPECT_EQ(longSilenceAction(1, state, 145), LongSilenceAction::None);
    EXPECT_EQ(longSilenceAction(2, state, 145), LongSilenceAction::SaveAndRenew);
    EXPECT_EQ(longSilenceAction(3, state, 145), LongSilenceAction::PostStop);
    EXPECT_EQ(longSilenceAction(4, state, 145), LongSilenceAction::SaveAndPause);
    // A zero threshold makes any silence after the last sound long.
    state.thresholdBytes = 0;
    EXPECT_EQ(longSilenceAction(4, state, 45), LongSilenceAction::SaveAndPause);
}
