#include "recorder_labels.h"
#include "waveform_points.h"
#include "waveform_scope.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QSlider>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace mireldo::waveform;

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_waveform";
    static char* argv[] = {name, nullptr};
    static auto* instance = new QApplication(argc, argv);
    return *instance;
}

std::vector<unsigned char> le16(const std::vector<int>& values) {
    std::vector<unsigned char> out;
    for (int v : values) {
        const auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
        out.push_back(static_cast<unsigned char>(s & 0xFF));
        out.push_back(static_cast<unsigned char>(s >> 8));
    }
    return out;
}

const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlack = qRgb(0, 0, 0);

} // namespace

TEST(WaveformPoints, SixteenBitColumnsSampleTheBufferAcrossTheWidth) {
    std::vector<int> samples;
    for (int i = 0; i < 40; ++i) {
        samples.push_back(i * 100 - 2000);
    }
    const auto bytes = le16(samples);
    std::vector<std::int16_t> columns(8);
    // Mono: step = 40 samples; column i takes sample (i x 40) / 8 = 5i.
    fillWaveformPoints(columns, bytes.data(), 80, 1, 16);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(columns[static_cast<std::size_t>(i)], samples[static_cast<std::size_t>(5 * i)]);
    }
    // Stereo: step = 20 over the interleaved samples; column i takes sample (20 i) / 8.
    fillWaveformPoints(columns, bytes.data(), 80, 2, 16);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(columns[static_cast<std::size_t>(i)],
                  samples[static_cast<std::size_t>(20 * i / 8)]);
    }
}

TEST(WaveformPoints, EightBitColumnsAreCentredOn127AndEmptyBuffersGiveZeros) {
    const std::vector<unsigned char> bytes{0, 127, 128, 255};
    std::vector<std::int16_t> columns(4, 99);
    fillWaveformPoints(columns, bytes.data(), 4, 1, 8);
    EXPECT_EQ(columns, (std::vector<std::int16_t>{-127, 0, 1, 128}));
    fillWaveformPoints(columns, bytes.data(), 0, 1, 8);
    EXPECT_EQ(columns, (std::vector<std::int16_t>(4, 0)));
    fillWaveformPoints(columns, bytes.data(), 1, 1, 16); // no whole 16-bit sample
    EXPECT_EQ(columns, (std::vector<std::int16_t>(4, 0)));
}

TEST(WaveformPoints, ExtentTruncatesAndFullScaleReachesTheEdge) {
    EXPECT_EQ(columnExtent(32768, 32768, 20), 20);
    EXPECT_EQ(columnExtent(-32768, 32768, 20), 20);
    EXPECT_EQ(columnExtent(16383, 32768, 20), 9); // 9.99 truncated
    EXPECT_EQ(columnExtent(128, 128, 30), 30);
    EXPECT_EQ(columnExtent(25000, 25000, 7), 7);
    EXPECT_EQ(columnExtent(100, 0, 7), 0);
}

TEST(WaveformScope, PaintsTheMiddleLineAndOneLinePerColumn) {
    app();
    CWaveformScope scope;
    scope.resize(10, 40);
    scope.initColumns();
    EXPECT_EQ(scope.columnCount(), 10);
    EXPECT_EQ(scope.fullScale(), 25000);
    scope.setFullScale(32768);
    std::vector<std::int16_t> values(10, 0);
    values[0] = 32767; // column 0 shows only the middle line
    values[3] = -32768;
    values[5] = 8192; // a quarter: 20 x 0.25 = 5 pixels each way
    scope.setColumns(values);
    const QImage img = scope.render(QSize(10, 40));
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(img.pixel(x, 20), kGreen) << x;
    }
    EXPECT_EQ(img.pixel(0, 0), kBlack);
    EXPECT_EQ(img.pixel(3, 0), kGreen);
    EXPECT_EQ(img.pixel(3, 39), kGreen);
    EXPECT_EQ(img.pixel(5, 15), kGreen);
    EXPECT_EQ(img.pixel(5, 25), kGreen);
    EXPECT_EQ(img.pixel(5, 14), kBlack);
    EXPECT_EQ(img.pixel(5, 26), kBlack);
    EXPECT_EQ(img.pixel(4, 19), kBlack);

    // The column count stays when the scope is resized later.
    scope.resize(30, 40);
    EXPECT_EQ(scope.columnCount(), 10);
}

TEST(WaveformScope, ScreenshotOfALiveSignal) {
    app();
    CWaveformScope scope;
    scope.resize(240, 60);
    scope.initColumns();
    scope.setFullScale(32768);
    // A decaying 440 Hz tone at 48 kHz, as one capture buffer of 5120 mono samples.
    std::vector<int> samples;
    for (int i = 0; i < 5120; ++i) {
        const double t = i / 48000.0;
        samples.push_back(static_cast<int>(28000.0 * std::exp(-t * 20) *
                                           std::sin(2 * std::numbers::pi * 440 * t)));
    }
    const auto bytes = le16(samples);
    scope.feed(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 1, 16);
    scope.show();
    const QImage shot = scope.grab().toImage();
    QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
    ASSERT_TRUE(shot.save(QStringLiteral(MIRELDO_SCREENSHOT_DIR "/waveform_scope.png")));
    // The signal is visible: some column reaches well away from the middle line.
    int tallest = 0;
    for (int x = 1; x < 240; ++x) {
        for (int y = 0; y < 30; ++y) {
            if (shot.pixel(x, y) == kGreen) {
                tallest = std::max(tallest, 30 - y);
                break;
            }
        }
    }
    EXPECT_GT(tallest, 15);
}

TEST(RecorderLabels, TextsTruncateToTenths) {
    // 3725.46 s at 8000 Hz, 16-bit stereo (block align 4).
    const std::uint32_t frames = 29803680;
    EXPECT_EQ(recorderLengthText(frames * 4, 4, 8000), QStringLiteral("\nLength:\n1:02:05.4"));
    EXPECT_EQ(recorderPositionText(frames, 8000), QStringLiteral("\nPosition:\n1:02:05.4"));
    EXPECT_EQ(recorderPositionText(7999, 8000), QStringLiteral("\nPosition:\n0:00:00.9"));
    EXPECT_EQ(recorderLengthText(0, 2, 48000), QStringLiteral("\nLength:\n0:00:00.0"));
}

TEST(RecorderLabels, TrackbarRangeAndPositionUnlessDragged) {
    app();
    QLabel length;
    QLabel position;
    QSlider trackbar(Qt::Horizontal);
    CRecorderLabels labels(&length, &position, &trackbar);
    labels.showLength(2000, 2, 1000); // 1000 frames
    EXPECT_EQ(trackbar.minimum(), 0);
    EXPECT_EQ(trackbar.maximum(), 999);
    EXPECT_EQ(trackbar.value(), 999); // the end, within the range
    labels.showPosition(250, 1000, true);
    EXPECT_EQ(trackbar.value(), 250);
    EXPECT_EQ(position.text(), QStringLiteral("\nPosition:\n0:00:00.2"));
    labels.showPosition(300, 1000, false);
    EXPECT_EQ(trackbar.value(), 250);
    trackbar.setSliderDown(true);
    labels.showPosition(400, 1000, true);
    labels.showLength(4000, 2, 1000);
    EXPECT_EQ(trackbar.value(), 250);
    EXPECT_EQ(trackbar.maximum(), 1999);
    trackbar.setSliderDown(false);
    labels.showLength(2, 2, 1000); // one frame: range 0 .. 0
    EXPECT_EQ(trackbar.maximum(), 0);
    EXPECT_EQ(length.text(), QStringLiteral("\nLength:\n0:00:00.0"));
}
