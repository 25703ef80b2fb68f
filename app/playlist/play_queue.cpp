#include "play_queue.h"

namespace mireldo::playlist {

namespace {

void deleteNode(PlayNode* node) {
    node->item->queued = 0;
    delete node;
}

} // namespace

void PlayQueue::build(const std::vector<PlaylistItem*>& items) {
    clear();
    PlayNode** link = &head_;
    for (PlaylistItem* item : items) {
        auto* node = new PlayNode{item, nullptr};
        item->queued = 1;
        *link = node;
        link = &node->next;
    }
    current_ = head_;
}

void PlayQueue::clear() {
    while (head_ != nullptr) {
        PlayNode* next = head_->next;
        deleteNode(head_);
        head_ = next;
    }
    current_ = nullptr;
}

void PlayQueue::advance(bool loop) {
    if (current_ == nullptr) {
        return;
    }
    if (loop) {
        current_ = current_->next != nullptr ? current_->next : head_;
        return;
    }
    PlayNode* stop = current_->next;
    while (head_ != stop) {
        PlayNode* next = head_->next;
        deleteNode(head_);
        head_ = next;
    }
    current_ = head_;
}

void PlayQueue::remove(const PlaylistItem* item) {
    for (PlayNode** link = &head_; *link != nullptr; link = &(*link)->next) {
        PlayNode* node = *link;
        if (node->item == item) {
            *link = node->next;
            if (current_ == node) {
                current_ = node->next;
            }
            deleteNode(node);
            return;
        }
    }
}

std::vector<const PlaylistItem*> PlayQueue::items() const {
    std::vector<const PlaylistItem*> out;
    for (const PlayNode* node = head_; node != nullptr; node = node->next) {
        out.push_back(node->item);
    }
    return out;
}

} // namespace mireldo::playlist
