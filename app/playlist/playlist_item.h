#pragma once

// One playlist entry and the pictures it shows.
//
// Threads: an item belongs to the window thread of the model that holds it. While it waits in
// the loader's queue or is being opened, the loader thread also reads its image count and
// writes its hand-over slot, both only under the model's loader lock (see item_loader.h).
// Ownership: the model creates and deletes items; an open stream belongs to its item.

#include "sondrel.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace mireldo::playlist {

/// Load states held in `PlaylistItem::lengthOrState` while the item has no stream.
inline constexpr std::uint32_t kStatePending = 0;
inline constexpr std::uint32_t kStateLoading = 0xFFFFFFFFu;
/// Set by the loader when a file opens with a length of 0 frames.
inline constexpr std::uint32_t kStateEmptyStream = SONDREL_ERR_EMPTY;
/// Image count that marks an item removed while the loader may still hold it.
inline constexpr std::int8_t kImageCountRemoved = -1;

/// Longest path (in bytes of its 8-bit file-system encoding, without the terminator) an item
/// may hold: the list file keeps a path in 260 bytes with its terminating NUL.
inline constexpr int kMaxPathBytes = 259;

/// Side of the shared loading, pending and failure pictures, in pixels.
inline constexpr int kSharedPictureSize = 30;

/// One picture a row can show: its size and what the drawing code paints. A picture is either
/// one of the control's own (an opaque image the widgets made) or an image a stream handed
/// out (owned by that stream).
struct Picture {
    int width = kSharedPictureSize;
    int height = kSharedPictureSize;
    const SondrelImage* streamImage = nullptr; ///< owned by the item's stream
    const void* ownImage = nullptr;            ///< owned by the widgets (a QImage)
};

/// One entry of the list.
struct PlaylistItem {
    /// The open stream once loaded; null otherwise.
    SondrelStream* stream = nullptr;
    /// The stream's format; valid only while `stream` is open.
    const WAVEFORMATEX* format = nullptr;
    /// The loader's result for the window thread: an open stream or null. Written by the
    /// loader under the lock, moved into `stream` by the window thread.
    SondrelStream* handOver = nullptr;
    /// Length in frames when loaded; otherwise kStatePending, kStateLoading or an error code.
    std::uint32_t lengthOrState = kStatePending;
    /// The pictures shown at the left of the row (imageCount of them).
    const Picture* images = nullptr;
    /// Number of pictures; kImageCountRemoved marks an item removed while the loader holds it.
    std::int8_t imageCount = 0;
    /// The picture shown now (animation frame).
    std::int8_t imageIndex = 0;
    /// Largest width and height over the pictures; the height is the row height.
    std::uint8_t imageWidth = 0;
    std::uint8_t imageHeight = 0;
    /// The item waits in the play queue.
    std::uint8_t queued = 0;
    /// Carried through the list file, 0 to 5; the program adds every item with 0.
    std::uint8_t kind = 0;
    /// Full path of the file.
    QString path;
    /// The pictures a stream handed out, wrapped; `images` points here when they are shown.
    std::vector<Picture> streamPictures;

    /// True when the item has an open stream.
    bool isLoaded() const { return stream != nullptr; }
    /// True when the item is neither loaded, pending nor loading: its load failed.
    bool hasFailed() const {
        return stream == nullptr && lengthOrState != kStatePending &&
               lengthOrState != kStateLoading;
    }
};

} // namespace mireldo::playlist
