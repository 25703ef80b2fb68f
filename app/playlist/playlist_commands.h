#pragma once

// PlaylistCommands: what the user can do with the playlist, without widgets. Playing the
// selection as a sequence (once or in a loop), position notifications and the time text,
// pause, stop and seek, the playing volume, adding files and folders, removing, moving,
// renaming and copying items. The control (CAudioListBox) shows the dialogs and hands the
// answers in; the player and the control are reached through the two small interfaces below,
// so tests drive every rule with fakes.
//
// Selections are item indices of the model in ascending order; the control maps its rows to
// them.
//
// Threads: the window thread of the model, for every function.
// Ownership: the commands own the play queue; the model, the player and the host belong to
// the caller and must outlive this object.

#include "play_queue.h"
#include "playlist_model.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace mireldo::playlist {

/// What the position control reports.
enum class PositionAction {
    Dragging, ///< the thumb is being dragged: notifications leave the control alone
    MovedTo,  ///< a move ended at a position: the player goes there
};

/// The answer of the remove question.
enum class RemoveAnswer {
    Keep,                 ///< nothing is removed
    Remove,               ///< the items leave the list, their files stay
    RemoveAndDeleteFiles, ///< the items leave the list and their files are deleted
};

/// The player engine as the commands use it (CAudioPlayThread in the application).
class PlayerPort {
  public:
    virtual ~PlayerPort() = default;
    virtual bool isOpen() const = 0;
    virtual bool isPaused() const = 0;
    /// 0 success, 1 the output could not be opened, other values other failures.
    virtual int play(int device, SondrelStream* stream, const WAVEFORMATEX& format,
                     std::uint32_t total, std::uint32_t start) = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    virtual void stop() = 0;
    virtual void seek(std::uint32_t frame) = 0;
    /// Low word left, high word right.
    virtual void setVolume(std::uint32_t volume) = 0;
};

/// The control and the window around it, as the commands use them.
class PlaylistHost {
  public:
    virtual ~PlaylistHost() = default;
    /// A message box with the stop icon.
    virtual void showStopMessage(const QString& text) = 0;
    /// Asked before `count` items are played; false cancels.
    virtual bool confirmMultiPlay(int count) = 0;
    /// Playing `title` began; an empty title means playing ended ("Ready").
    virtual void onPlayStarted(const QString& title) = 0;
    virtual void setPositionRange(std::uint32_t maximum) = 0;
    virtual void setPosition(std::uint32_t position) = 0;
    /// The time label's text (shown only while the label is visible).
    virtual void setTimeText(const QString& text) = 0;
    /// The list must be drawn again (the playing item or the selection changed).
    virtual void repaintList() = 0;
    /// Item `index` is about to leave the model: its row goes.
    virtual void itemRemoving(int index) = 0;
    /// Selects item `index` alone.
    virtual void selectOnly(int index) = 0;
    /// Shows or ends the wait cursor.
    virtual void setBusy(bool busy) = 0;
};

/// Folder patterns Add Directory scans, in order.
const QStringList& addDirectoryPatterns();

/// The time text for position `position` of an item of `length` frames at `rate` frames per
/// second: "mm:ss.t/mm:ss.t" below an hour of length, "h:mm:ss.t/h:mm:ss.t" from an hour on.
QString playTimeText(std::uint32_t position, std::uint32_t length, std::uint32_t rate);

/// "folder/name", or "foldername" when the folder already ends with '/'.
QString joinPath(const QString& folder, const QString& name);
/// The folder of `path`: everything before its last '/' (empty when there is none).
QString folderOf(const QString& path);

/// Copies `source` to `target`, replacing an existing target only once the copy is complete
/// (a temporary file in the target's folder renamed over it). Copying a file onto itself
/// changes nothing. Empty on success, else the system's reason.
QString copyFileReplacing(const QString& source, const QString& target);

class PlaylistCommands {
  public:
    PlaylistCommands(PlaylistModel& model, PlayerPort& player, PlaylistHost& host);
    ~PlaylistCommands();
    PlaylistCommands(const PlaylistCommands&) = delete;
    PlaylistCommands& operator=(const PlaylistCommands&) = delete;

    /// The loop option ("Play selected music items looply").
    void setLoop(bool on) { loop_ = on; }
    bool loop() const { return loop_; }
    /// 0 the default device, n the output device n - 1; used from the next Play on.
    void setOutputDevice(int setting) { outputDevice_ = setting; }
    int outputDevice() const { return outputDevice_; }

    // Playing ---------------------------------------------------------------------------

    /// Plays the items `selection` as a sequence. False when nothing started.
    bool playSelected(const std::vector<int>& selection);
    /// Starts the player on `item`. Messages about the item's state only `withMessages`;
    /// an output that cannot be opened is always told.
    bool playItem(PlaylistItem* item, bool withMessages);
    /// The player's position notification (frames, end flag).
    void onPlayerPosition(std::uint32_t position, bool end);
    /// Moves the queue on after the current item ended and plays the next one.
    void advance();
    void pauseContinue();
    void stopPlaying();
    /// The position control's notification; `position` counts for PositionAction::MovedTo.
    void onPositionControl(PositionAction action, std::uint32_t position);
    /// The volume slider's position (0 to 65535) for both channels.
    void setVolume(int position);

    /// Takes `item` out of the play queue before it leaves the list some other way.
    void forgetItem(const PlaylistItem* item) { queue_.remove(item); }
    /// The item playing now; null when idle.
    const PlaylistItem* currentItem() const { return queue_.currentItem(); }
    const PlayQueue& queue() const { return queue_; }
    bool isDragging() const { return dragging_; }
    /// The time text for `position` of the current item; empty when idle.
    QString timeTextFor(std::uint32_t position) const;

    // Editing the list ------------------------------------------------------------------

    /// Adds files in order (stops at a folder or a path that cannot be read, and when the
    /// list is full). Selects the last added item, saves the list. Returns the folder of the
    /// first path added (empty when none was).
    QString addFiles(const QStringList& paths);
    /// Adds the files of `folder` matching addDirectoryPatterns() (not its subfolders).
    void addDirectory(const QString& folder);
    /// Removes the items `selection` as `answer` says.
    void removeItems(std::vector<int> selection, RemoveAnswer answer);
    /// Moves the selected items up by one where they can; returns the new selection.
    std::vector<int> moveUp(std::vector<int> selection);
    /// Moves the selected items down by one where they can; returns the new selection.
    std::vector<int> moveDown(std::vector<int> selection);
    /// Renames the file of item `index` to `newName` (with extension) in its folder and loads
    /// the item again. A name equal to the old one but for letter case changes nothing.
    void renameItem(int index, const QString& newName);
    /// Copies the file of item `index` to `target`.
    void copyItemTo(int index, const QString& target);
    /// Copies the files of the items `selection` into `folder` under their own names.
    void copyItemsToFolder(const std::vector<int>& selection, const QString& folder);

    /// Tells "No item was selected." when `selection` is empty; true when it was.
    bool refuseEmpty(const std::vector<int>& selection);
    /// Tells "You can not edit an item which is being played." when the first selected item
    /// is playing; true when it is.
    bool refusePlayingEdit(const std::vector<int>& selection);

  private:
    PlaylistItem* itemAt(int index) const;
    void endOfSequence();
    void tellFailures(const QStringList& failures);

    PlaylistModel& model_;
    PlayerPort& player_;
    PlaylistHost& host_;
    PlayQueue queue_;
    bool loop_ = false;
    bool dragging_ = false;
    int outputDevice_ = 0;
};

} // namespace mireldo::playlist
