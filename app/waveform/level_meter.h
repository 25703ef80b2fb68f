#pragma once

// CLevelMeter: the level meter beside the live waveform. One vertical bar per channel from
// -60 dBFS at the bottom to 0 dBFS at the top: the RMS level filled, the peak above it in a
// lighter shade, a line at the held peak, and a clip lamp on top that lights when a sample
// reaches full scale and stays lit until the meter is clicked. Fed with every captured buffer;
// it repaints at the display's pace (Qt merges the update requests), and feeding allocates
// nothing.
//
// Threads: the user-interface thread only.

#include "level_meter_values.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <cstdint>

namespace mireldo::waveform {

/// The lowest level the bars show, in dBFS.
inline constexpr double kMeterRangeDb = -60.0;

class CLevelMeter : public QWidget {
    Q_OBJECT

  public:
    explicit CLevelMeter(QWidget* parent = nullptr);

    /// Adds one captured buffer and asks for a repaint.
    void feed(const unsigned char* samples, std::uint32_t bytes, std::uint16_t channels,
              std::uint16_t bitsPerSample);
    /// Ends the display period now (as a repaint does) and returns the values shown.
    const LevelMeterValues& values();
    /// Turns the clip lamps off (as a click does).
    void resetClip();

    /// The picture the meter shows at `size` with the values as they stand.
    QImage render(QSize size) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    LevelMeterValues values_;
    QElapsedTimer clock_;
};

/// Makes the level meter for the main window's control factory.
QWidget* makeLevelMeter(QWidget* parent);

} // namespace mireldo::waveform
