#pragma once

// The program's own pictures, drawn by code at their fixed sizes and looked up by the resource
// ids the windows use: the playlist's buttons (314/194 play, 315/159 stop, 316/160 pause, each
// 24 x 24 on the transparent colour red 192, green 192, blue 192), the output-device button
// (152, 32 x 20 on white), the position control (137 track 42 x 21, 135 thumb and 138 pressed
// thumb 14 x 21, 312 and 313 ends 7 x 21) and the main window's picture label (149).
//
// Threads: any thread (QImage and QPainter on images only).

#include <QColor>
#include <QImage>

namespace mireldo::ui {

inline constexpr int kPicPlayHot = 314;
inline constexpr int kPicPlay = 194;
inline constexpr int kPicStopHot = 315;
inline constexpr int kPicStop = 159;
inline constexpr int kPicPauseHot = 316;
inline constexpr int kPicPause = 160;
inline constexpr int kPicSpeaker = 152;
inline constexpr int kPicTrack = 137;
inline constexpr int kPicThumb = 135;
inline constexpr int kPicThumbPressed = 138;
inline constexpr int kPicLeftEnd = 312;
inline constexpr int kPicRightEnd = 313;
inline constexpr int kPicLabel = 149;

/// The transparent colour of the playlist buttons' pictures.
inline constexpr QRgb kPictureGrey = 0xFFC0C0C0u;

/// Picture `id` in RGB32; a null image for an id the program has no picture for.
QImage loadPicture(int id);

} // namespace mireldo::ui
