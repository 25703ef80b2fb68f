#pragma once

// The item loader: one background thread per playlist that opens queued items through the
// decoder library, one at a time in queue order, and reports to the playlist's window thread:
//   LOADER_MSG_STARTED (a LoaderNotice, result 0): opening the item has begun;
//   LOADER_MSG_DONE (a LoaderNotice, result 0 or the error code; 2 for an item found
//   removed): the loader is done with the item, its result waits in the item's hand-over slot.
//
// Threads:
//   window thread only: start(), queue(), stop(), setOpener() (before start());
//   lock(): the window thread takes it to remove an item the loader may hold;
//   the loader thread touches only the queue, the quit flag and, under the lock, the image
//   count and hand-over slot of the item it has taken. Once stop() has set the quit flag it
//   touches no item again, so items may be deleted even if the thread has not ended yet.
// Ownership: the loader never owns items. A stream it opened belongs to the item from the
// moment it is stored in the hand-over slot; when quitting it closes the stream itself.

#include "messages.h"
#include "playlist_item.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace mireldo::playlist {

/// Loading has begun; carries a LoaderNotice.
inline constexpr std::uint32_t LOADER_MSG_STARTED = platform::WM_USER + 7;
/// Loading has ended; carries a LoaderNotice.
inline constexpr std::uint32_t LOADER_MSG_DONE = platform::WM_USER + 5;

/// The payload of LOADER_MSG_STARTED and LOADER_MSG_DONE.
struct LoaderNotice {
    /// The item, owned by the playlist. One removed while the loader holds it stays allocated,
    /// marked removed, until the window has handled its LOADER_MSG_DONE.
    PlaylistItem* item = nullptr;
    /// LOADER_MSG_DONE: 0 or the error code; 0 for LOADER_MSG_STARTED.
    std::int32_t result = 0;
};

/// Milliseconds the loader sleeps before it posts a failed message again.
inline constexpr std::uint32_t kPostRetryMs = 100;

class ItemLoader {
  public:
    /// Opens `path` for the playlist: a result code, and the stream in `*stream` on success.
    /// Runs on the loader thread.
    using Opener = std::function<std::int32_t(SondrelStream** stream, const QString& path)>;

    /// A loader whose queue starts with room for `capacity` items and whose reports go to
    /// `notify`.
    ItemLoader(std::size_t capacity, platform::ReceiverHandle notify);
    /// Stops the thread (see stop()) if it still runs.
    ~ItemLoader();

    ItemLoader(const ItemLoader&) = delete;
    ItemLoader& operator=(const ItemLoader&) = delete;

    /// Replaces how files are opened (tests). The default opens with call records allowed,
    /// others denied write access.
    void setOpener(Opener opener);

    /// Starts the thread and waits until it runs. False when it could not be started.
    bool start();

    /// Puts `item` at the end of the queue and wakes the thread.
    void queue(PlaylistItem* item);

    /// Sets the quit flag, wakes the thread and waits up to `timeoutMs` for it to end. Items
    /// still queued are not opened. True when the thread has ended (or never ran).
    bool stop(std::uint32_t timeoutMs = 30000);

    /// The lock guarding the queue, the quit flag and the hand-over slots.
    std::mutex& lock();

    /// Items waiting in the queue now (tests and diagnostics).
    std::size_t queuedCount();

  private:
    struct Context;
    std::shared_ptr<Context> context_;
    bool running_ = false;
};

/// The default opener: Sondrel_OpenStream with call records allowed and write sharing denied.
/// Anything but a regular file or a folder (a FIFO, socket or device) is refused with
/// SONDREL_ERR_UNSUPPORTED without being read; nothing here blocks on such a file.
std::int32_t openWithSondrel(SondrelStream** stream, const QString& path);

/// SONDREL_ERR_UNSUPPORTED when `name` (path bytes) is a FIFO, socket or device, checked by
/// stat and again by a non-blocking open; SONDREL_OK otherwise (missing files included).
std::int32_t refuseSpecialFile(const QByteArray& name);

} // namespace mireldo::playlist
