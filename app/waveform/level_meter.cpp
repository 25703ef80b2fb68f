#include "level_meter.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace mireldo::waveform {

namespace {

constexpr int kLampHeight = 6;
constexpr int kGap = 2;

// Pixels of a bar `height` tall that a level of `db` fills from the bottom.
int barFill(double db, int height) {
    if (!(db > kMeterRangeDb)) {
        return 0;
    }
    const double part = std::min(1.0, 1.0 - db / kMeterRangeDb);
    return static_cast<int>(std::lround(part * height));
}

} // namespace

CLevelMeter::CLevelMeter(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    clock_.start();
}

void CLevelMeter::feed(const unsigned char* samples, std::uint32_t bytes, std::uint16_t channels,
                       std::uint16_t bitsPerSample) {
    values_.feed(samples, bytes, channels, bitsPerSample);
    update();
}

const LevelMeterValues& CLevelMeter::values() {
    values_.take(static_cast<std::uint64_t>(clock_.elapsed()));
    return values_;
}

void CLevelMeter::resetClip() {
    values_.resetClip();
    update();
}

QImage CLevelMeter::render(QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    const int count = std::max(1, values_.channels());
    const int barWidth = std::max(1, (size.width() - kGap * (count + 1)) / count);
    const int top = kLampHeight + kGap;
    const int height = std::max(1, size.height() - top - 1);
    // The 0 dBFS and -6 dBFS marks, faint, across the whole meter.
    p.setPen(QColor(60, 60, 60));
    for (const double mark : {0.0, -6.0, -20.0}) {
        const int y = top + height - barFill(mark, height);
        p.drawLine(0, y, size.width() - 1, y);
    }
    for (int c = 0; c < count; ++c) {
        const ChannelLevels& v = values_.channel(c);
        const int x = kGap + c * (barWidth + kGap);
        p.fillRect(x, 0, barWidth, kLampHeight,
                   v.clipped ? QColor(255, 40, 40) : QColor(70, 20, 20));
        const int peak = barFill(v.peakDb, height);
        const int rms = barFill(v.rmsDb, height);
        const int bottom = top + height;
        p.fillRect(x, bottom - peak, barWidth, peak, QColor(130, 220, 130));
        p.fillRect(x, bottom - rms, barWidth, rms, QColor(0, 170, 0));
        // Above -6 dBFS the filled part turns amber: headroom is running out.
        const int warn = barFill(-6.0, height);
        if (peak > warn) {
            p.fillRect(x, bottom - peak, barWidth, peak - warn, QColor(240, 190, 40));
        }
        const int hold = barFill(v.holdDb, height);
        if (hold > 0) {
            p.fillRect(x, bottom - hold, barWidth, 1, Qt::white);
        }
    }
    return image;
}

void CLevelMeter::paintEvent(QPaintEvent*) {
    values_.take(static_cast<std::uint64_t>(clock_.elapsed()));
    const QImage picture = render(size());
    QPainter p(this);
    p.drawImage(0, 0, picture);
}

void CLevelMeter::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        resetClip();
    }
    QWidget::mousePressEvent(event);
}

QWidget* makeLevelMeter(QWidget* parent) {
    return new CLevelMeter(parent);
}

} // namespace mireldo::waveform
