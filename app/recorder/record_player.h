#pragma once

// RecordPlayer: the recorder's own player. Plays the record's temporary WAV from a frame on the
// player thread, which posts its position to the session as a message. The stream it plays
// stays open until the next one replaces it or the player stops.
//
// Threads: made, used and destroyed on the capture session's thread; the player thread is its
// own. Ownership: owns the player thread and the stream being played.

#include "message_receiver.h"
#include "sondrel.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace mireldo::playback {
class CAudioPlayThread;
}

namespace mireldo::recorder {

class RecordPlayer {
  public:
    /// Starts the player thread, which posts `message` to `owner` (wParam the frame, lParam 1
    /// at the end) every `notifyMs` milliseconds while it plays.
    RecordPlayer(platform::ReceiverHandle owner, std::uint32_t message, std::uint32_t notifyMs);
    /// Stops playing and ends the thread.
    ~RecordPlayer();
    RecordPlayer(const RecordPlayer&) = delete;
    RecordPlayer& operator=(const RecordPlayer&) = delete;

    /// False when the player thread could not be started: nothing can play.
    bool started() const { return started_; }
    bool playing() const;

    /// Opens `path` to be played next; false when the file does not open (nothing changes).
    bool open(const QString& path);
    /// Plays the file opened last through output `device` (-1 the default) from `from` of
    /// `total` frames in `format`. 0 when it plays, else the player's result (1 the output
    /// device did not open); on failure the file opened is closed and the one playing before
    /// stays as it was.
    int start(int device, const WAVEFORMATEX& format, std::uint32_t total, std::uint32_t from);
    void seek(std::uint32_t frame);
    /// Stops playing and closes the stream.
    void stop();

  private:
    struct StreamClose {
        void operator()(SondrelStream* s) const { Sondrel_CloseStream(s); }
    };
    using StreamPtr = std::unique_ptr<SondrelStream, StreamClose>;

    std::unique_ptr<playback::CAudioPlayThread> thread_;
    bool started_ = false;
    StreamPtr next_;    // opened, not yet playing
    StreamPtr playing_; // what the thread reads
};

} // namespace mireldo::recorder
