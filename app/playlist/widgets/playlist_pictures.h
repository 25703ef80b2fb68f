#pragma once

// The playlist's own pictures, drawn in code: the four loading frames (the first is also the
// pending picture) and the failure picture (30 x 30), the default item picture (30 x 30), the
// queued and playing markers (9 x 9, their top-left colour transparent) and the corner
// picture (15 x 14).
//
// Threads: the GUI thread. The shared set is made on first use and lives until the program
// ends.

#include <QImage>

#include <array>

namespace mireldo::playlist {

struct SharedPictures {
    std::array<QImage, 4> loading;
    QImage failed;
    QImage queuedMarker;  ///< with the key colour already made transparent
    QImage playingMarker; ///< with the key colour already made transparent
    QImage corner;

    /// The one set shared by every playlist control.
    static const SharedPictures& get();
};

/// The default picture of a loaded item whose file has no pictures of its own.
QImage defaultItemPicture();

/// `image` with every pixel of its top-left pixel's colour made transparent.
QImage keyTopLeftTransparent(const QImage& image);

/// Fills the 4-connected area of pure white reachable from (0, 0) with `colour`.
void floodFillWhiteFromCorner(QImage& image, QRgb colour);

} // namespace mireldo::playlist
