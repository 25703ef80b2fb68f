#pragma once

// PlaylistController: the playlist's engine without widgets. It owns the model (items, list
// file, loader thread), the player engine and the commands, receives the player's position
// notifications, and speaks in item indices and enums. The playlist control maps its rows to
// item indices, asks the user, and forwards; the converter, tag and mail dialogs reach the list
// through it too.
//
// Threads: every function is for the window thread, the thread the controller was made on.
// The player thread only posts its position notifications to the controller; the loader
// thread reports to the model (item_loader.h).
// Ownership: the controller owns the model, the player engine (or the PlayerPort given to it)
// and the commands; the host belongs to the caller and must outlive the controller.
// Destruction order: list-file save and loader (shutdown()), then the commands (their play
// queue names items), then the player (it must never outlive the streams it may hold), then the
// model closes every stream and deletes the items.

#include "message_receiver.h"
#include "playlist_commands.h"
#include "playlist_model.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace mireldo::playback {
class CAudioPlayThread;
}

namespace mireldo::playlist {

/// The player's position notification to the controller (wParam position, lParam end flag).
inline constexpr std::uint32_t PLAYLIST_PLAYER_MSG = platform::WM_USER + 100;
/// Milliseconds between the player's position notifications.
inline constexpr std::uint32_t kPlayerNotifyMs = 80;

/// What the controller asks of the control besides PlaylistHost.
class PlaylistSelection {
  public:
    virtual ~PlaylistSelection() = default;
    /// The selected item indices, ascending.
    virtual std::vector<int> selectedIndices() const = 0;
};

class PlaylistController : public platform::MessageReceiver {
  public:
    /// A list of `capacity` items showing `pictures`, talking to the user through `host` and
    /// reading the selection from `selection`. Without `player` the controller starts its own
    /// player engine at initialise(); tests hand in a fake.
    PlaylistController(int capacity, ModelPictures pictures, PlaylistHost& host,
                       const PlaylistSelection& selection,
                       std::unique_ptr<PlayerPort> player = nullptr);
    ~PlaylistController() override;
    PlaylistController(const PlaylistController&) = delete;
    PlaylistController& operator=(const PlaylistController&) = delete;

    /// Starts the player engine (unless one was given) and loads the list file at `listPath`
    /// (see PlaylistModel::initialise). False when the loader thread could not start.
    bool initialise(const QString& listPath);
    /// Saves the list when modified, stops the loader, then stops and ends the player.
    /// Idempotent; the destructor calls it.
    void shutdown();

    PlaylistModel& model() const { return *model_; }
    PlaylistCommands& commands() const { return *commands_; }
    /// The player engine; null when a PlayerPort was given or the engine could not start.
    playback::CAudioPlayThread* player() const { return player_.get(); }

    // What other dialogs use -------------------------------------------------------------

    /// The selected item indices, ascending.
    std::vector<int> selectedItems() const { return selection_.selectedIndices(); }
    /// The paths of the selected items, in list order.
    QStringList selectedPaths() const;
    /// Adds a file for another subsystem (a saved record, a converted file) and saves the
    /// list; with `select` (and room in the list) selects only its item. addPath()'s answer.
    int addFile(const QString& path, bool select);
    /// Loads `item` again (after its tags were written) and redraws the list.
    void reloadItem(const PlaylistItem* item);
    /// Removes item `index`, stopping it first when it plays; see PlaylistModel::removeItem.
    void removeItem(int index, bool deleteFile = false);

  private:
    class EnginePort;

    PlaylistHost& host_;
    const PlaylistSelection& selection_;
    std::unique_ptr<PlaylistModel> model_;
    std::unique_ptr<playback::CAudioPlayThread> player_;
    std::unique_ptr<PlayerPort> port_;
    std::unique_ptr<PlaylistCommands> commands_;
    bool ownEngine_ = false;
    bool shutDown_ = false;
};

} // namespace mireldo::playlist
