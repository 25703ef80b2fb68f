#pragma once

// CAudioPlayWnd: the player engine's hidden window. It lives on the player thread and owns
// all playing state: the buffers, the queue counters, the position timer. Every operation
// reaches it as a posted message; the device hands buffers back as MM_WOM_DONE.
//
// Threads: everything runs on the player thread except SetNotify() and DetachStream(), which
// the owner's thread calls (they take the shared lock).
// Ownership: the window owns every buffer it allocated, spare or in the device; it never owns
// the stream or the output (the thread object does, for the output).

#include "auto_reset_event.h"
#include "message_receiver.h"
#include "player_messages.h"

#include <QTimerEvent>

#include <deque>
#include <memory>
#include <mutex>
#include <unordered_set>

namespace mireldo::playback {

/// State shared between the thread object (owner's thread) and its engine window.
struct PlayerShared {
    /// Guards `latestPlay` and the window's stream (the decoder stream is used by one thread
    /// at a time: decoding on the player thread, ending it on the owner's).
    std::mutex mutex;
    /// The sequence of the latest Play; a PlayRequest with another one has been superseded.
    std::uint64_t latestPlay = 0;
    platform::AutoResetEvent reply;
};

class CAudioPlayWnd : public platform::MessageReceiver {
  public:
    explicit CAudioPlayWnd(PlayerShared& shared);
    ~CAudioPlayWnd() override;

    /// Where position reports go: `message` carrying a PlayerReport. Owner's thread (or any).
    void SetNotify(platform::ReceiverHandle window, std::uint32_t message,
                   std::uint32_t intervalMs);
    /// Stops all decoding from the current stream; the owner is about to end it. Owner's thread.
    void DetachStream();
    /// Idle-time decoding ahead into one spare buffer. True when it decoded something, so
    /// another idle round may find more to do. Player thread.
    bool OnIdle();

    /// Spare buffers and how many frames they hold; for tests. Player thread.
    std::size_t SpareCount() const { return spare_.size(); }

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    /// One fixed block: the header, then the audio.
    struct PlayBuffer {
        platform::audio::WaveHeader header;
        char data[kPlayBufferBytes];
    };

    void onPlay(PlayRequest& request);
    void onPause();
    void onResume();
    void onStop();
    void onSeek(std::uint32_t frame);
    void onFreeBuffers();
    void onBufferDone(const platform::audio::WaveHeader* header);

    void fill();
    void report(std::uint32_t position, bool end);
    std::uint32_t decode(std::uint32_t first, std::uint32_t count, char* destination);
    bool hasStream();

    PlayBuffer* allocateBuffer();
    PlayBuffer* takeSpare();
    void recycle(PlayBuffer* buffer);
    void emptySpares();
    void freeSpares();
    std::uint32_t frameBytes() const { return format_.nBlockAlign; }
    std::uint32_t capacityFrames() const;

    PlayerShared& shared_;

    std::mutex notifyMutex_;
    platform::ReceiverHandle notifyWindow_;
    std::uint32_t notifyMessage_ = 0;
    std::uint64_t playSequence_ = 0; ///< the Play the reports are about
    std::uint32_t interval_ = 100;   // ms

    bool endReported_ = false;
    std::deque<PlayBuffer*> spare_;
    std::unordered_set<PlayBuffer*> inDevice_;
    bool paused_ = false;
    platform::audio::WaveOutPtr output_;
    SondrelStream* stream_ = nullptr; // guarded by shared_.mutex
    WAVEFORMATEX format_{};
    std::uint32_t total_ = 0;
    std::uint32_t draining_ = 0;
    std::uint32_t base_ = 0;
    std::uint32_t queued_ = 0;
    std::uint32_t origin_ = 0;
    int timer_ = 0;
    std::uint32_t lastReported_ = 0;
    // Marks the buffers written for the current Play; buffers of an earlier Play that come
    // back late are recycled without touching the counters.
    std::uintptr_t generation_ = 0;
};

} // namespace mireldo::playback
