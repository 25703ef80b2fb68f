#pragma once

// The texts a row shows for an item: its title, the info line of a loaded item with the
// extension at its right, and the state text of an item that is not loaded.
//
// Threads: the window thread (these read the item's stream).

#include "playlist_item.h"

#include <QString>

#include <cstdint>

namespace mireldo::playlist {

/// The stream's topic when loaded and not empty; else for a loaded item the file name without
/// folder and extension; for an item that is not loaded its full path.
QString itemTitle(const PlaylistItem& item);

/// "hh:mm:ss.t   R Hz, stereo, b bits, k kbps" for `lengthFrames` of `format`.
QString infoLine(std::uint32_t lengthFrames, const WAVEFORMATEX& format);

/// The info line of a loaded item; empty for any other.
QString itemInfoLine(const PlaylistItem& item);

/// The last three characters of `path` in lower case, followed by three spaces.
QString extensionText(const QString& path);

/// The text of a load state (kStatePending, kStateLoading or an error code).
QString stateText(std::uint32_t state);

/// "mono", "stereo", or "N channels" for other counts.
QString channelName(unsigned channels);

/// The tooltip of item `index` (0-based): "%d) " and the title; for a loaded item also the
/// path and, when the stream has one, the description; cut after 769 characters with "..."
/// when the description was cut. Lines are separated by "\r\n".
QString tooltipText(const PlaylistItem& item, int index);

/// The stream's description (empty when there is none or the item is not loaded).
QString itemDescription(const PlaylistItem& item);

} // namespace mireldo::playlist
