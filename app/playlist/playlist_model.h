#pragma once

// PlaylistModel: the items of one playlist control, the list file that keeps them, and the
// loader thread that opens them. No widgets: the control (CAudioListBox) owns a model and
// shows it; mireldo-cli uses one alone.
//
// Threads: every function is for the window thread, the thread the model was made on (it
// receives the loader's messages there). The loader thread only touches what item_loader.h
// says.
// Ownership: the model owns its items, and each item owns its open stream. Items removed while
// the loader may hold them are kept apart until the loader hands them back (or the model ends).

#include "item_loader.h"
#include "list_file.h"
#include "list_file_lock.h"
#include "list_location.h"
#include "message_receiver.h"
#include "playlist_item.h"

#include <QSet>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace mireldo::playlist {

/// Items of the application's playlist.
inline constexpr int kPlaylistCapacity = 5000;
/// File name of the list file.
inline constexpr const char* kListFileName = "Mireldo.lst";

/// How a model uses its list file.
enum class ListAccess {
    Read,  ///< only reads it (mireldo-cli playlist show): never writes, never locks
    Write, ///< owns it: holds the writer's lock and saves to it
};

/// What a model may do with its list file after initialise().
enum class ListStatus {
    Writable, ///< saves go to the file (under the writer's lock when it could be taken)
    ReadOnly, ///< opened with ListAccess::Read
    Busy,     ///< another writer holds the lock: nothing is saved
    Kept,     ///< the file could not be read or backed up: it is left alone, nothing is saved
};

/// Milliseconds initialise() waits for another writer to let go of the list.
inline constexpr int kListLockWaitMs = 2000;

/// addPath()'s answer for a path no item can hold (empty, or too long for the list file).
inline constexpr int kAddRefused = -1;

/// The pictures every item of a model shows while it is not showing its own. Pictures are
/// copied into the model; what they point at must outlive it.
struct ModelPictures {
    /// The loading animation; the first frame alone is the pending picture. Four frames.
    std::vector<Picture> loading;
    /// Shown by an item whose load failed.
    Picture failed;
    /// Shown by a loaded item whose stream has no pictures of its own (at least one).
    std::vector<Picture> defaults;

    /// 30 x 30 pictures without images (for use without widgets).
    static ModelPictures plain(std::size_t defaultCount = 1);
};

/// Told about changes the view must show. Called on the window thread.
class PlaylistListener {
  public:
    virtual ~PlaylistListener() = default;
    /// Item `index` has been appended.
    virtual void itemAdded(int index) = 0;
    /// Item `index` changed state or pictures (its height may have changed).
    virtual void itemChanged(int index) = 0;
};

class PlaylistModel : public platform::MessageReceiver {
  public:
    PlaylistModel(int capacity, ModelPictures pictures);
    /// Stops the loader (shutdown()) if still needed, closes every stream (the loaded items'
    /// and those left in hand-over slots) and deletes every item.
    ~PlaylistModel() override;

    /// Replaces how the loader opens files (tests). Before initialise() only.
    void setOpener(ItemLoader::Opener opener);
    void setListener(PlaylistListener* listener) { listener_ = listener; }

    /// Starts the loader thread (waiting until it runs) and loads the list file at
    /// `listPath`. With ListAccess::Write it first takes the writer's lock (waiting up to
    /// `lockWaitMs` for another writer), keeps a file that exists but is not a readable list as
    /// a backup (backUpListFile()), and saves at once, so that the file holds version 3 with
    /// absolute paths afterwards; listStatus() and listNotice() tell what happened. False when
    /// the loader thread could not be started (the list is loaded all the same).
    bool initialise(const QString& listPath, ListAccess access = ListAccess::Write,
                    int lockWaitMs = kListLockWaitMs);

    /// Adds `path` with `kind`: the index of the item that already has this path (compared
    /// ignoring case), the new item's index, capacity() when the list is full, or kAddRefused.
    int addPath(const QString& path, std::uint8_t kind = 0);

    /// Adds a file for another subsystem (a saved record, a converted file): adds the path,
    /// sets the modified flag and saves the list file. Same answer as addPath().
    int addFile(const QString& path);

    /// Removes item `index`. Under the loader's lock: closes its stream, deletes its file when
    /// `deleteFile`, and deletes the item when loaded or failed, else marks it removed for the
    /// loader to hand back. Sets the modified flag. The item goes even when its file cannot be
    /// deleted; the answer is then the system's reason (empty otherwise).
    QString removeItem(int index, bool deleteFile = false);

    /// Moves the file of item `index` to `newPath` (never replacing an existing file) and
    /// gives the item the new path; an open stream stays open (reloadItem() replaces it). Empty on
    /// success, else the system's reason (the item keeps its old path).
    QString moveItemFile(int index, const QString& newPath);
    /// Loads item `index` again: a loaded or failed item goes back to pending (its stream
    /// closed) and is queued for the loader; a pending or loading one is left to the loader.
    void reloadItem(int index);

    /// Rewrites the list file from the items. False when it could not be written or the list
    /// may not be saved (listStatus() is not Writable); the list in memory is unchanged.
    bool save();
    /// Appends the entries of the list file at `listPath` (duplicates and entries beyond the
    /// capacity are dropped).
    void load(const QString& listPath);

    /// Saves the list when modified and stops the loader (waiting up to 30 s). Idempotent.
    void shutdown();

    int count() const { return static_cast<int>(items_.size()); }
    int capacity() const { return capacity_; }
    PlaylistItem* item(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    /// The index of `item`, or -1 when it is not in the list.
    int indexOf(const PlaylistItem* item) const;

    /// Swaps items `a` and `b` (display order) and sets the modified flag.
    void swapItems(int a, int b);

    bool isModified() const { return modified_; }
    void setModified(bool modified = true) { modified_ = modified; }
    const QString& listPath() const { return listPath_; }
    ListStatus listStatus() const { return listStatus_; }
    /// What reading the list file at initialise() found.
    ListFileState listFileState() const { return listFileState_; }
    /// What the user must be told once about the list file (empty: nothing).
    const QString& listNotice() const { return listNotice_; }

    /// True when no item is pending or loading and no removed item waits for the loader.
    bool isSettled() const;
    /// Items removed while the loader holds them, not yet handed back.
    std::size_t removedWaiting() const { return removed_.size(); }

    const ModelPictures& pictures() const { return pictures_; }

  private:
    void onLoadingStarted(PlaylistItem* item);
    void onLoadingDone(PlaylistItem* item, std::intptr_t result);
    void showPending(PlaylistItem& item) const;
    static void freeItem(PlaylistItem* item);

    const int capacity_;
    const ModelPictures pictures_;
    std::vector<PlaylistItem*> items_;
    QSet<QString> foldedPaths_; // case-folded paths of items_, for the duplicate check
    std::vector<PlaylistItem*> removed_;
    std::unique_ptr<ItemLoader> loader_;
    PlaylistListener* listener_ = nullptr;
    QString listPath_;
    ListFileLock lock_;
    ListStatus listStatus_ = ListStatus::Writable;
    ListFileState listFileState_ = ListFileState::Missing;
    QString listNotice_;
    bool modified_ = false;
    bool shutDown_ = false;
};

} // namespace mireldo::playlist
