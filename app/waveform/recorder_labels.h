#pragma once

// The recorder's length and position labels (controls 1120 and 1119) and its position
// trackbar (1121): the texts, the trackbar's range and where its thumb sits.
//
// Threads: the user-interface thread only.

#include <QString>

#include <cstdint>

class QLabel;
class QSlider;

namespace mireldo::waveform {

/// "\nLength:\n%d:%02d:%02d.%d" for `dataBytes` of audio with `blockAlign` and `rate`.
QString recorderLengthText(std::uint32_t dataBytes, std::uint32_t blockAlign, std::uint32_t rate);
/// "\nPosition:\n%d:%02d:%02d.%d" for frame `frame` at `rate`.
QString recorderPositionText(std::uint32_t frame, std::uint32_t rate);

/// The three controls, updated together. Not owned.
class CRecorderLabels {
  public:
    CRecorderLabels(QLabel* length, QLabel* position, QSlider* trackbar);

    /// Length text; trackbar range 0 .. frames - 1 and, unless the user drags it, the thumb at
    /// the end.
    void showLength(std::uint32_t dataBytes, std::uint32_t blockAlign, std::uint32_t rate);
    /// Position text; the thumb at `frame` when `moveTrackbar` is set and the user is not
    /// dragging it.
    void showPosition(std::uint32_t frame, std::uint32_t rate, bool moveTrackbar);

  private:
    QLabel* length_;
    QLabel* position_;
    QSlider* trackbar_;
};

} // namespace mireldo::waveform
