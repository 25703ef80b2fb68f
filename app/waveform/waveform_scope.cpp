#include "waveform_scope.h"

#include "waveform_points.h"

#include <QPainter>
#include <QPen>

namespace mireldo::waveform {

CWaveformScope::CWaveformScope(QWidget* parent) : QWidget(parent), fullScale_(kDefaultFullScale) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CWaveformScope::initColumns() {
    columns_.assign(static_cast<std::size_t>(std::max(0, width())), 0);
}

void CWaveformScope::setColumns(std::vector<std::int16_t> values) {
    values.resize(columns_.size(), 0);
    columns_ = std::move(values);
    update();
}

void CWaveformScope::setFullScale(int fullScale) {
    if (fullScale > 0) {
        fullScale_ = fullScale;
    }
}

void CWaveformScope::feed(const unsigned char* samples, std::uint32_t bytes, std::uint16_t channels,
                          std::uint16_t bitsPerSample) {
    fillWaveformPoints(columns_, samples, bytes, channels, bitsPerSample);
    update();
}

QImage CWaveformScope::render(QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(0, 255, 0), 1, Qt::SolidLine));
    const int height = size.height();
    const int middle = height / 2;
    const int half = height / 2;
    p.drawLine(0, middle, size.width() - 1, middle);
    const int count = std::min<int>(columnCount(), size.width());
    for (int i = 1; i < count; ++i) {
        const int a = columnExtent(columns_[static_cast<std::size_t>(i)], fullScale_, half);
        if (a == 0) {
            continue; // the middle line already covers it
        }
        // Pixels middle - a .. middle + a, clipped to the strip.
        const int top = std::max(0, middle - a);
        const int bottom = std::min(height - 1, middle + a);
        p.drawLine(i, top, i, bottom);
    }
    return image;
}

void CWaveformScope::paintEvent(QPaintEvent*) {
    const QImage picture = render(size());
    QPainter p(this);
    p.drawImage(0, 0, picture);
}

QWidget* makeWaveformScope(QWidget* parent) {
    return new CWaveformScope(parent);
}

} // namespace mireldo::waveform
