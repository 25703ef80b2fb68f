#pragma once

// Draws the rows of a playlist control: the background (selection colour, white, the corner
// picture), the number, title and info or state line, the item's picture (white parts turned
// to the selection colour on a selected row) and the queued or playing marker; and the hint
// of an empty list.
//
// Threads: the GUI thread.

#include "playlist_item.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>

class QPainter;

namespace mireldo::playlist {

inline constexpr QRgb kSelectionColour = 0xFF96CDE6; // red 150, green 205, blue 230

class RowPainter {
  public:
    /// Fonts are the list's font at pixel heights 16 (large) and 10 (small).
    RowPainter(const QFont& listFont, const QPalette& palette);

    /// Draws row `row` (1 for the first item; row 0 draws only its background) into `rect`.
    /// `lastRow` extends the background to the bottom of `client`; `highlighted` is selected or
    /// focused; `playing` picks the playing marker for a queued item.
    void drawRow(QPainter& p, int row, const QRect& rect, const QRect& client, bool lastRow,
                 bool highlighted, const PlaylistItem* item, bool playing) const;

    /// Draws the item's current picture with its top-left corner at `at`.
    void drawPicture(QPainter& p, const PlaylistItem& item, QPoint at, bool selected) const;

    /// The empty-list hint, word-wrapped in the client area less its margins.
    void drawHint(QPainter& p, const QRect& client, const QString& hint) const;

    const QFont& largeFont() const { return large_; }
    const QFont& smallFont() const { return small_; }

  private:
    QFont large_;
    QFont small_;
    QColor greyText_;
    QColor buttonText_;
};

/// The QImage a picture shows (a copy for a stream's image, converted). Null when none.
QImage pictureImage(const Picture& picture);

} // namespace mireldo::playlist
