#pragma once

// CWaveformScope: the live waveform (control 1084). A black strip with a middle line and one
// green vertical line per pixel column, whose half-length shows that column's value against
// the full scale. Drawn off-screen and copied in one step.
//
// Threads: the user-interface thread only.

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace mireldo::waveform {

class CWaveformScope : public QWidget {
    Q_OBJECT

  public:
    explicit CWaveformScope(QWidget* parent = nullptr);

    /// Sizes the column buffer to the current width, all columns 0. Called once when the
    /// window initialises its controls; later size changes keep the count.
    void initColumns();
    int columnCount() const { return static_cast<int>(columns_.size()); }
    const std::vector<std::int16_t>& columns() const { return columns_; }
    void setColumns(std::vector<std::int16_t> values);

    /// The value that reaches the edge; 25000 until the recorder sets one.
    void setFullScale(int fullScale);
    int fullScale() const { return fullScale_; }

    /// Fills the columns from one captured buffer and repaints.
    void feed(const unsigned char* samples, std::uint32_t bytes, std::uint16_t channels,
              std::uint16_t bitsPerSample);

    /// The picture the scope shows at `size`, as painted.
    QImage render(QSize size) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<std::int16_t> columns_;
    int fullScale_;
};

/// Makes the scope for control 1084 (the window's control factory calls this).
QWidget* makeWaveformScope(QWidget* parent);

} // namespace mireldo::waveform
