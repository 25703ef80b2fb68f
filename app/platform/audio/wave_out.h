#pragma once

// Wave output: a device that plays the buffers written to it in order and hands each one
// back to its owner when it has been played, as MM_WOM_DONE posted to the owner's receiver,
// carrying a WaveBufferDone (the device and the header).
//
// Threads: every operation may be called from any thread; a device serialises them itself.
// Ownership: the device owns nothing of the owner's: write() lends it a header until the
// header is posted back or reset()/close() returns. After close() every operation answers
// DeviceError::InvalidHandle, so a thread that still holds the device cannot misuse it.

#include "../messages.h"
#include "wave_types.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace mireldo::platform::audio {

class WaveOut {
  public:
    virtual ~WaveOut() = default;
    WaveOut(const WaveOut&) = delete;
    WaveOut& operator=(const WaveOut&) = delete;

    /// Queues a prepared header (its whole bufferLength). Sets WHDR_INQUEUE, clears
    /// WHDR_DONE. DeviceError::Unprepared when not prepared; DeviceError::InvalidParam when the
    /// length is not a whole number of frames.
    virtual DeviceError write(WaveHeader* header) = 0;
    /// Holds playback where it is; queued buffers stay queued.
    virtual DeviceError pause() = 0;
    /// Continues after pause().
    virtual DeviceError restart() = 0;
    /// Stops at once and hands every queued buffer back as done (posted, in queue order);
    /// when it returns the device references none of them. The position restarts at 0 and a
    /// paused device is no longer paused.
    virtual DeviceError reset() = 0;
    /// Frames played since the last reset (or open).
    virtual DeviceError getPosition(std::uint32_t* samples) = 0;
    /// Volume: low word left, high word right, 0 to 0xFFFF each; applied to the samples.
    virtual DeviceError setVolume(std::uint32_t volume) = 0;
    virtual DeviceError getVolume(std::uint32_t* volume) = 0;
    /// Resets (handing back what is queued), then closes. Idempotent.
    virtual DeviceError close() = 0;

    const PcmFormat& format() const { return format_; }

  protected:
    explicit WaveOut(const PcmFormat& format) : format_(format) {}

  private:
    PcmFormat format_;
};

using WaveOutPtr = std::shared_ptr<WaveOut>;

/// Opens output `device` (0-based index into waveOutDeviceNames(), or WAVE_MAPPER for the
/// default device) for `format`, with buffers handed back to `owner`. On failure returns
/// null and stores the reason in `error` (when given).
WaveOutPtr openWaveOut(int device, const PcmFormat& format, ReceiverHandle owner,
                       DeviceError* error = nullptr);

/// Names of the output devices in index order, as users see them.
QStringList waveOutDeviceNames();

/// Which back-end the devices use. Pulse: capture from PulseAudio sources through the
/// endpoint adapter, playback to PulseAudio sinks (through ALSA's pulse plug-in).
enum class AudioBackend { Alsa, Pulse, Virtual };

/// The back-end for this process: the one stored with setAudioBackend(), else Virtual when
/// MIRELDO_AUDIO_MODE is "virtual", else ALSA. Read at every call, so tests may switch it.
AudioBackend audioBackend();
/// Stores the back-end the start-up decided (the application's audio mode). Any thread, but
/// before devices are opened.
void setAudioBackend(AudioBackend backend);

/// How many times real time the virtual devices run (MIRELDO_VIRTUAL_SPEED, default 1;
/// values that are not positive numbers count as 1).
double virtualSpeed();

/// Scales `bytes` of PCM in `format` in place by the volume (low word left, high word right;
/// mono uses the left word). Full volume (0xFFFF) leaves samples unchanged; otherwise each
/// sample's distance from silence is multiplied by v / 65535, truncated toward zero.
void applyVolume(char* data, std::uint32_t bytes, const PcmFormat& format, std::uint32_t volume);

} // namespace mireldo::platform::audio
