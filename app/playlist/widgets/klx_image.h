#pragma once

// Turns an image a stream handed out (a device-independent bitmap: info header and pixel
// bytes, rows padded to 4 bytes, bottom-up when the height is positive) into a QImage.
//
// Threads: any thread; pure function.

#include "sondrel.h"

#include <QImage>

namespace mireldo::playlist {

/// Largest side converted, in pixels; a row never shows more (its sizes are 8-bit).
inline constexpr int kMaxPictureSide = 255;

/// The image as 32-bit RGB, cut to kMaxPictureSide on each side. Reads stay within the first
/// `pixelBytes` bytes and within stride x |height|; pixels with no bytes behind them are
/// white. 16-bit images are 5-5-5, 24-bit blue-green-red, 32-bit blue-green-red-unused. Null
/// for other depths, a zero side, or no pixels.
QImage imageFromSondrel(const SondrelImage& image);

} // namespace mireldo::playlist
