#pragma once

// Pixel rules of the picture buttons: the grey and the darker copy of a picture, the one-bit
// mask of its transparent colour, and the pictures made from them for drawing (transparent
// pixels cleared, the system's disabled look).
//
// Threads: any thread; pure functions on QImage (no QPixmap, so no display is needed).

#include <QColor>
#include <QImage>

namespace mireldo::ui {

/// Every pixel that is not `transparent` becomes grey of level
/// trunc(0.299 R + 0.587 G + 0.114 B). RGB32 result; null for a null picture.
QImage greyCopy(const QImage& picture, QRgb transparent);

/// Every pixel that is not `transparent` has each channel c replaced by trunc(c - 0.25 c).
QImage darkerCopy(const QImage& picture, QRgb transparent);

/// The one-bit mask of `picture`: white (index 1, value 1) where the pixel is `transparent`,
/// black (index 0) elsewhere. Null for a null picture.
QImage makeMask(const QImage& picture, QRgb transparent);

/// `picture` with its transparent pixels turned black, as drawn "or" over the masked
/// background.
QImage blackenTransparent(const QImage& picture, QRgb transparent);

/// What the mask-then-picture drawing leaves on the screen, as an ARGB image: the picture's
/// pixels where the mask is black, fully transparent where it is white.
QImage maskedPicture(const QImage& picture, const QImage& mask);

/// The system's disabled look of a masked picture: composed on white, then every pixel that
/// is not white drawn embossed, once in `highlight` moved by (1, 1) and once in `shadow`.
/// ARGB result of the picture's size, transparent elsewhere.
QImage disabledPicture(const QImage& picture, const QImage& mask, QRgb highlight, QRgb shadow);

/// True when the two colours have the same red, green and blue (alpha ignored).
constexpr bool sameRgb(QRgb a, QRgb b) {
    return (a & 0xFFFFFFu) == (b & 0xFFFFFFu);
}

} // namespace mireldo::ui
