#include "recorder_labels.h"

#include <QLabel>
#include <QSlider>

#include <algorithm>
#include <climits>

namespace mireldo::waveform {

namespace {

QString timeText(const char* title, double seconds) {
    const auto s = static_cast<std::uint64_t>(seconds);
    const auto tenths = static_cast<int>((seconds - static_cast<double>(s)) * 10.0);
    return QString::asprintf("\n%s:\n%d:%02d:%02d.%d", title, static_cast<int>(s / 3600),
                             static_cast<int>((s % 3600) / 60), static_cast<int>(s % 60), tenths);
}

int toSliderValue(std::uint32_t v) {
    return static_cast<int>(std::min<std::uint32_t>(v, INT_MAX));
}

} // namespace

QString recorderLengthText(std::uint32_t dataBytes, std::uint32_t blockAlign, std::uint32_t rate) {
    const double seconds =
        blockAlign == 0 || rate == 0 ? 0.0 : static_cast<double>(dataBytes / blockAlign) / rate;
    return timeText("Length", seconds);
}

QString recorderPositionText(std::uint32_t frame, std::uint32_t rate) {
    return timeText("Position", rate == 0 ? 0.0 : static_cast<double>(frame) / rate);
}

CRecorderLabels::CRecorderLabels(QLabel* length, QLabel* position, QSlider* trackbar)
    : length_(length), position_(position), trackbar_(trackbar) {}

void CRecorderLabels::showLength(std::uint32_t dataBytes, std::uint32_t blockAlign,
                                 std::uint32_t rate) {
    if (length_ != nullptr) {
        length_->setText(recorderLengthText(dataBytes, blockAlign, rate));
    }
    if (trackbar_ != nullptr) {
        const std::uint32_t frames = blockAlign == 0 ? 0 : dataBytes / blockAlign;
        trackbar_->setRange(0, toSliderValue(frames > 0 ? frames - 1 : 0));
        if (!trackbar_->isSliderDown()) {
            trackbar_->setValue(toSliderValue(frames));
        }
    }
}

void CRecorderLabels::showPosition(std::uint32_t frame, std::uint32_t rate, bool moveTrackbar) {
    if (position_ != nullptr) {
        position_->setText(recorderPositionText(frame, rate));
    }
    if (moveTrackbar && trackbar_ != nullptr && !trackbar_->isSliderDown()) {
        trackbar_->setValue(toSliderValue(frame));
    }
}

} // namespace mireldo::waveform
