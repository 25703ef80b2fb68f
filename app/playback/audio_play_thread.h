#pragma once

// CAudioPlayThread: one player engine. A thread with its own event loop whose hidden window
// (CAudioPlayWnd) plays one decoded stream at a time on a wave output device and reports the
// playing position to the owner's notify window: (message, position in frames, 1 at the end
// else 0). Reports pass through a receiver of this object on the owner's thread, which hands
// on only those of the current Play: after Stop() or another Play() returns, the owner never
// sees a report of the stream played before, even one the engine sent just before it.
//
// Threads: every public function is for the owner's thread (the one that created the object);
// the synchronous ones block it until the engine answers.
// Ownership: the owner owns this object; the object owns the open output. Streams belong to
// the caller, who closes a stream only after Stop().

#include "audio_play_wnd.h"
#include "player_messages.h"

#include <QThread>

#include <functional>
#include <memory>

namespace mireldo::playback {

class CAudioPlayThread : public QThread {
  public:
    /// Opens an output device; the default is platform::audio::openWaveOut.
    using OutputOpener = std::function<platform::audio::WaveOutPtr(
        int device, const platform::audio::PcmFormat& format, platform::ReceiverHandle owner)>;

    CAudioPlayThread();
    /// Ends the thread if it still runs (waiting as long as it takes) and closes the output.
    ~CAudioPlayThread() override;

    /// Starts the thread and waits for its initialisation. False when it could not start.
    bool CreateThread();

    /// Where position reports go, at most every `intervalMs` while playing. Owner's thread,
    /// after CreateThread().
    void SetNotify(platform::ReceiverHandle window, std::uint32_t message,
                   std::uint32_t intervalMs);

    /// Plays `stream` (decoding not yet begun) on output `device` (-1 the default device)
    /// from frame `start` of `total`. 0 on success, 1 when the output cannot be opened,
    /// 2 when the decoder refuses to begin, 3 when the engine cannot be reached.
    int Play(int device, SondrelStream* stream, const WAVEFORMATEX& format, std::uint32_t total,
             std::uint32_t start);
    /// 1 when paused, 0 when the engine could not be reached.
    int Pause();
    void Resume();
    /// Returns when every buffer is back; ends decoding and closes the output.
    void Stop();
    /// Moves to `frame` (modulo the total); returns when the device has given back its buffers.
    void Seek(std::uint32_t frame);
    void FreeBuffers();
    /// Ends the thread, waiting at most `seconds` (0: without limit). True when it ended.
    bool Quit(std::uint32_t seconds);

    bool IsOpen() const { return output_ != nullptr; }
    bool IsPaused() const { return output_ != nullptr && paused_; }
    /// Low word left, high word right; applied at once when an output is open.
    void SetVolume(std::uint32_t volume);
    std::uint32_t Volume() const { return volume_; }

    /// Replaces how outputs are opened (tests watch opens and closes this way).
    void SetOutputOpener(OutputOpener opener) { opener_ = std::move(opener); }
    /// The engine window's handle (for tests and diagnostics).
    platform::ReceiverHandle EngineWindow() const { return window_; }
    /// The receiver the engine's reports pass through (for tests: PLAYER_MSG_REPORT).
    platform::ReceiverHandle ReportWindow() const;

  protected:
    void run() override;

  private:
    class ReportRelay;

    bool request(std::uint32_t message, std::uintptr_t wParam = 0);
    /// Hands `report` to the owner when it is about the current Play. Owner's thread.
    void passOn(const PlayerReport& report);

    PlayerShared shared_;
    platform::AutoResetEvent started_;
    bool startedOk_ = false;
    CAudioPlayWnd* engine_ = nullptr; // lives on the player thread while it runs
    platform::ReceiverHandle window_;

    OutputOpener opener_;
    platform::audio::WaveOutPtr output_;
    bool paused_ = false;
    WAVEFORMATEX openFormat_{};
    SondrelStream* activeStream_ = nullptr;
    std::uint32_t volume_ = 0xFFFFFFFFu;
    std::unique_ptr<ReportRelay> relay_; ///< lives on the owner's thread
    platform::ReceiverHandle notifyWindow_;
    std::uint32_t notifyMessage_ = 0;
    std::uint64_t reportedPlay_ = 0; ///< the Play whose reports go on; 0 after Stop
};

} // namespace mireldo::playback
