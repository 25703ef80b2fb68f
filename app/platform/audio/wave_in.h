#pragma once

// Wave input: a device that captures into the buffers added to it, in order, and hands each
// filled buffer back as MM_WIM_DATA posted to the owner's receiver, carrying a WaveBufferDone
// (the device and the header; bytesRecorded says how much the buffer holds).
//
// Threads: every operation may be called from any thread; a device serialises them itself.
// Ownership: addBuffer() lends the header until it is posted back or reset()/close() returns.

#include "../messages.h"
#include "wave_types.h"

#include <QStringList>

#include <cstdint>
#include <memory>

namespace mireldo::platform::audio {

class WaveIn {
  public:
    virtual ~WaveIn() = default;
    WaveIn(const WaveIn&) = delete;
    WaveIn& operator=(const WaveIn&) = delete;

    /// Queues a prepared header to be filled (bytesRecorded restarts at 0).
    virtual DeviceError addBuffer(WaveHeader* header) = 0;
    /// Starts capturing into the queued buffers.
    virtual DeviceError start() = 0;
    /// Stops capturing; a partly filled buffer is handed back, the others stay queued.
    virtual DeviceError stop() = 0;
    /// Stops and hands every queued buffer back (posted, in order); when it returns the
    /// device references none of them.
    virtual DeviceError reset() = 0;
    /// Resets, then closes. Idempotent; afterwards every operation answers INVALHANDLE.
    virtual DeviceError close() = 0;
    /// True once a finite source has delivered its last byte (its last buffer carries
    /// WHDR_ENDOFINPUT); later buffers stay queued until reset.
    virtual bool endOfInput() const = 0;
    /// Times captured audio was lost since the device was opened because nobody took it in
    /// time (ALSA overruns, sound-server overflows). Any thread.
    virtual std::uint64_t overruns() const { return 0; }

    const PcmFormat& format() const { return format_; }

  protected:
    explicit WaveIn(const PcmFormat& format) : format_(format) {}

  private:
    PcmFormat format_;
};

using WaveInPtr = std::shared_ptr<WaveIn>;

/// Opens input `device` (0-based index into waveInDeviceNames(), or WAVE_MAPPER) for
/// `format`. On failure returns null and stores the reason in `error` (when given).
WaveInPtr openWaveIn(int device, const PcmFormat& format, ReceiverHandle owner,
                     DeviceError* error = nullptr);

/// Names of the input devices in index order, as users see them.
QStringList waveInDeviceNames();

} // namespace mireldo::platform::audio
