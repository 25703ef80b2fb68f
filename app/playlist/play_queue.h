#pragma once

// The play queue: the items of one Play Selected in selection order, and the node playing now.
// Every item in the queue has its queued flag set; the flag is cleared when its node goes.
//
// Threads: the window thread of the playlist.
// Ownership: the queue owns its nodes, never the items they name.

#include "playlist_item.h"

#include <memory>
#include <vector>

namespace mireldo::playlist {

/// One entry of the play queue.
struct PlayNode {
    PlaylistItem* item = nullptr;
    PlayNode* next = nullptr;
};

class PlayQueue {
  public:
    PlayQueue() = default;
    ~PlayQueue() { clear(); }
    PlayQueue(const PlayQueue&) = delete;
    PlayQueue& operator=(const PlayQueue&) = delete;

    /// Replaces the queue with `items` in order; the current node is the head.
    void build(const std::vector<PlaylistItem*>& items);
    /// Deletes every node, clearing the items' queued flags.
    void clear();

    /// Moves on after the current item ended. With `loop` the next node (or the head after
    /// the last) becomes current; without it the nodes from the head up to and including the
    /// current one are deleted and the new head becomes current.
    void advance(bool loop);

    /// Unlinks and deletes the node of `item` (the current node must not be it).
    void remove(const PlaylistItem* item);

    PlayNode* head() const { return head_; }
    PlayNode* current() const { return current_; }
    PlaylistItem* currentItem() const { return current_ != nullptr ? current_->item : nullptr; }
    bool empty() const { return head_ == nullptr; }
    /// The items in queue order (tests and drawing).
    std::vector<const PlaylistItem*> items() const;

  private:
    PlayNode* head_ = nullptr;
    PlayNode* current_ = nullptr;
};

} // namespace mireldo::playlist
