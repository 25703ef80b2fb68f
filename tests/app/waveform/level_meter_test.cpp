// The level meter: its dBFS values for known signals, the peak hold, the clip indicator and
// its reset by a click, and the picture it paints.

#include "level_meter.h"
#include "level_meter_values.h"

#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace mireldo::waveform;

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_level_meter";
    static char* argv[] = {name, nullptr};
    static auto* instance = new QApplication(argc, argv);
    return *instance;
}

// `frames` frames of a sine of `amplitude` (of 32,767) at 1 kHz, 48 kHz, 16-bit, with
// `channels` channels; the right channel of a stereo pair is `rightScale` times the left.
std::vector<unsigned char> sine16(int frames, double amplitude, int channels = 1,
                                  double rightScale = 1.0) {
    std::vector<unsigned char> out;
    for (int i = 0; i < frames; ++i) {
        const double v = std::sin(2 * std::numbers::pi * 1000.0 * i / 48000.0);
        for (int c = 0; c < channels; ++c) {
            const double scale = c == 0 ? 1.0 : rightScale;
            const auto s = static_cast<std::int16_t>(std::lround(amplitude * scale * v));
            const auto u = static_cast<std::uint16_t>(s);
            out.push_back(static_cast<unsigned char>(u & 0xFF));
            out.push_back(static_cast<unsigned char>(u >> 8));
        }
    }
    return out;
}

std::uint32_t size32(const std::vector<unsigned char>& b) {
    return static_cast<std::uint32_t>(b.size());
}

TEST(LevelMeterValues, AFullScaleSineReadsZeroPeakAndMinus3Point01Rms) {
    LevelMeterValues m;
    const auto sine = sine16(4800, 32767.0); // 100 whole periods
    m.feed(sine.data(), size32(sine), 1, 16);
    m.take(0);
    ASSERT_EQ(m.channels(), 1);
    EXPECT_NEAR(m.channel(0).peakDb, 0.0, 0.01);
    EXPECT_NEAR(m.channel(0).rmsDb, -3.01, 0.01);
    EXPECT_TRUE(m.channel(0).clipped); // the crest reaches 32,767
}

TEST(LevelMeterValues, SilenceReadsMinusInfinityAndNeverClips) {
    LevelMeterValues m;
    const std::vector<unsigned char> silence(4096, 0);
    m.feed(silence.data(), size32(silence), 2, 16);
    m.take(0);
    ASSERT_EQ(m.channels(), 2);
    for (int c = 0; c < 2; ++c) {
        EXPECT_TRUE(std::isinf(m.channel(c).peakDb) && m.channel(c).peakDb < 0);
        EXPECT_TRUE(std::isinf(m.channel(c).rmsDb) && m.channel(c).rmsDb < 0);
        EXPECT_FALSE(m.channel(c).clipped);
    }
    // 8-bit silence is 128.
    const std::vector<unsigned char> silence8(1000, 128);
    m.feed(silence8.data(), size32(silence8), 1, 8);
    m.take(10);
    EXPECT_TRUE(std::isinf(m.channel(0).rmsDb));
}

TEST(LevelMeterValues, ChannelsAreMeasuredApartAndHalfScaleIsMinus6) {
    LevelMeterValues m;
    const auto stereo = sine16(4800, 32767.0, 2, 0.5);
    m.feed(stereo.data(), size32(stereo), 2, 16);
    m.take(0);
    EXPECT_NEAR(m.channel(0).peakDb, 0.0, 0.01);
    EXPECT_NEAR(m.channel(1).peakDb, -6.02, 0.01);
    EXPECT_NEAR(m.channel(1).rmsDb, -9.03, 0.01);
    EXPECT_TRUE(m.channel(0).clipped);
    EXPECT_FALSE(m.channel(1).clipped);
}

TEST(LevelMeterValues, EightBitFullScaleClipsAtEitherEnd) {
    LevelMeterValues m;
    const std::vector<unsigned char> low{128, 0, 128, 200};
    m.feed(low.data(), size32(low), 1, 8);
    m.take(0);
    EXPECT_NEAR(m.channel(0).peakDb, 0.0, 0.01);
    EXPECT_TRUE(m.channel(0).clipped);
}

TEST(LevelMeterValues, ThePeakIsHeldForOneAndAHalfSecondsAndTheClipUntilReset) {
    LevelMeterValues m;
    const auto loud = sine16(480, 32767.0);
    const auto quiet = sine16(480, 3277.0); // -20 dBFS
    m.feed(loud.data(), size32(loud), 1, 16);
    m.take(1000);
    m.feed(quiet.data(), size32(quiet), 1, 16);
    m.take(2000);
    EXPECT_NEAR(m.channel(0).peakDb, -20.0, 0.01);
    EXPECT_NEAR(m.channel(0).holdDb, 0.0, 0.01); // held
    m.feed(quiet.data(), size32(quiet), 1, 16);
    m.take(2501);
    EXPECT_NEAR(m.channel(0).holdDb, -20.0, 0.01); // 1.5 s passed: the hold falls
    EXPECT_TRUE(m.channel(0).clipped);             // the clip stays lit
    m.resetClip();
    EXPECT_FALSE(m.channel(0).clipped);
    // A period without audio keeps what is shown.
    m.take(2600);
    EXPECT_NEAR(m.channel(0).peakDb, -20.0, 0.01);
}

TEST(LevelMeterWidget, PaintsBarsAndTheClipLampAndAClickResetsIt) {
    app();
    CLevelMeter meter;
    meter.resize(36, 56);
    const auto sine = sine16(4800, 32767.0, 2, 0.1);
    meter.feed(sine.data(), size32(sine), 2, 16);
    ASSERT_TRUE(meter.values().channel(0).clipped);
    const QImage full = meter.render(meter.size());
    // The left lamp is lit red, the right one dark; the left bar reaches higher.
    EXPECT_EQ(QColor(full.pixel(5, 2)), QColor(255, 40, 40));
    EXPECT_NE(QColor(full.pixel(25, 2)), QColor(255, 40, 40));
    const auto topOf = [&](int x) {
        for (int y = 8; y < 56; ++y) {
            const QColor c(full.pixel(x, y));
            if (c.green() > 150 || c.red() > 150) {
                return y;
            }
        }
        return 56;
    };
    EXPECT_LT(topOf(8), topOf(26));

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&meter, &press);
    EXPECT_FALSE(meter.values().channel(0).clipped);
}

} // namespace
