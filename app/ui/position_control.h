#pragma once

// The playlist's position control: a slider drawn from five pictures (track stretched between
// two ends, thumb, pressed thumb) that shows and sets the playing position. While the user
// presses or drags it tells its notify window "thumb tracking" (code 5), and "end of scroll"
// (code 8) when the button is released or the focus is lost during a drag.
//
// Threads: the user-interface thread only.

#include "messages.h"
#include "position_geometry.h"

#include <QImage>
#include <QWidget>

#include <cstdint>

namespace mireldo::ui {

/// The horizontal-scroll message posted to the notify window; carries a PositionScroll.
inline constexpr std::uint32_t WM_HSCROLL = 0x0114;
inline constexpr int kScrollThumbTrack = 5;
inline constexpr int kScrollEndScroll = 8;

class CPositionControl;

/// The payload of WM_HSCROLL.
struct PositionScroll {
    /// The control that scrolled; it lives on the user-interface thread, as its receiver does,
    /// but may have been destroyed by the time the message is handled.
    CPositionControl* from = nullptr;
    /// kScrollThumbTrack or kScrollEndScroll.
    int code = 0;
};

class CPositionControl : public QWidget {
    Q_OBJECT

  public:
    explicit CPositionControl(QWidget* parent = nullptr);

    /// Loads the five pictures by id (track, thumb, pressed thumb, left end, right end) and
    /// records their sizes. False when one cannot be loaded.
    bool setPictures(int track, int thumb, int pressedThumb, int leftEnd, int rightEnd);
    /// The pictures of the main window: 137, 135, 138, 312, 313.
    bool setDefaultPictures();

    /// Clamps the position into the new range and repaints.
    void setRange(std::uint32_t minimum, std::uint32_t maximum);
    /// Clamps `value` into the range; repaints only when the thumb moves by a pixel.
    void setPosition(std::uint32_t value);
    std::uint32_t position() const { return position_; }
    std::uint32_t minimum() const { return minimum_; }
    std::uint32_t maximum() const { return maximum_; }
    bool isDragging() const { return dragging_; }

    /// Where notifications are posted besides the scrolled() signal; none by default.
    void setNotifyWindow(platform::ReceiverHandle handle) { notify_ = handle; }

    /// The geometry at the current width.
    PositionGeometry geometryNow() const;
    /// The thumb's centre x for the current position.
    int thumbX() const;
    /// Paints so far (tests check that a move by no pixel repaints nothing).
    int paintCount() const { return paintCount_; }

    QSize sizeHint() const override;

  Q_SIGNALS:
    /// Emitted with kScrollThumbTrack or kScrollEndScroll.
    void scrolled(int code);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void notify(int code);

    QImage track_, thumb_, pressedThumb_, leftEnd_, rightEnd_;
    std::uint32_t minimum_ = 0;
    std::uint32_t maximum_ = 100;
    std::uint32_t position_ = 0;
    bool dragging_ = false;
    platform::ReceiverHandle notify_;
    int paintCount_ = 0;
};

/// The playlist's position control as the main window uses it (control 1015): pictures 137,
/// 135, 138, 312 and 313, range 0 to 100, position 0.
CPositionControl* makePlaylistPositionControl(QWidget* parent);

} // namespace mireldo::ui
