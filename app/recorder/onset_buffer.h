#pragma once

// OnsetBuffer: what silence detection skipped just before sound starts. While buffers are
// skipped (leading silence, a long pause, the silence before a new record) they are copied
// here, so that when sound ends the skip the record can begin a set time before it ("Keep
// before sound") and with the whole burst that had to last ("Sound must last") before it
// counted. Also follows that burst: how much of it sounded and whether it has lasted the hold.
//
// Memory: one block allocated when the object is made; nothing is allocated per buffer. A
// capacity of 0 (the allocation failed) keeps nothing, and the recorder behaves as without
// pre-roll.
//
// Threads: the capture session's thread only.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace mireldo::recorder {

class OnsetBuffer {
  public:
    /// Keeps up to `capacityBytes` of the newest skipped audio.
    explicit OnsetBuffer(std::size_t capacityBytes);

    std::size_t capacity() const { return capacity_; }
    /// Bytes held now.
    std::size_t size() const { return size_; }
    /// Bytes held since the current burst of sound began (0 outside a burst).
    std::size_t burstBytes() const { return burstBytes_; }
    /// Frames of sound counted in the current burst.
    std::uint64_t burstSoundFrames() const { return soundFrames_; }

    /// Follows the burst with one captured buffer: a silent one ends it; a buffer of sound
    /// adds `soundFrames` to it. Returns whether the buffer is sound that counts: not silent,
    /// and the burst has reached `holdFrames` frames of sound (at once when it is 0).
    bool judge(bool silent, std::uint32_t soundFrames, std::uint32_t holdFrames);

    /// Keeps a skipped buffer (the one judge() saw last); the oldest bytes make room.
    void keep(const unsigned char* data, std::size_t bytes);

    /// The bytes to write when sound ends a skip: the newest `preRollBytes` held before the
    /// burst, then the burst itself, never more than `limit` bytes (the oldest are left out).
    /// Calls `write(data, bytes)` for each contiguous piece, oldest first, until it returns
    /// false; then forgets what it held (the burst goes on). Returns the bytes handed over.
    template <typename Write>
    std::size_t take(std::size_t preRollBytes, std::size_t limit, Write write) {
        std::size_t count = std::min(size_, std::min(preRollBytes + burstBytes_, limit));
        std::size_t done = 0;
        std::size_t at = (start_ + size_ - count) % (capacity_ == 0 ? 1 : capacity_);
        while (done < count) {
            const std::size_t n = std::min(count - done, capacity_ - at);
            if (!write(data_.get() + at, n)) {
                break;
            }
            done += n;
            at = (at + n) % capacity_;
        }
        forget();
        return done;
    }

    /// Forgets the held bytes; the burst, if any, goes on (its buffers were written).
    void forget();
    /// Forgets the held bytes and the burst (recording resumed or a new record began).
    void reset();

  private:
    std::unique_ptr<unsigned char[]> data_;
    std::size_t capacity_ = 0;
    std::size_t start_ = 0; // offset of the oldest byte held
    std::size_t size_ = 0;
    bool inBurst_ = false;
    bool counted_ = false; // the burst has lasted the hold
    std::uint64_t soundFrames_ = 0;
    std::size_t burstBytes_ = 0;
};

} // namespace mireldo::recorder
