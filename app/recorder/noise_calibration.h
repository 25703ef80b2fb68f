#pragma once

// NoiseCalibration: "Measure" beside the noise level. Opens the recording input the recorder
// would use, listens to three seconds of audio, takes the largest per-buffer value of the
// silence measure (the mean absolute deviation), and proposes the lowest noise level whose
// threshold is at least 1.5 times that value, so that the room's own noise counts as silence.
// Three seconds of audio, not of wall-clock time: the answer does not depend on how fast the
// device delivers.
//
// Threads: everything on the thread that made the object; the device posts its buffers to it
// as MM_WIM_DATA messages. Ownership: owns its device and buffers while it listens.

#include "capture_session.h"
#include "message_receiver.h"
#include "recorder_view.h"

#include <array>
#include <cstdint>
#include <functional>

namespace mireldo::recorder {

/// Seconds of audio the calibration listens to.
inline constexpr int kNoiseMeasureSeconds = 3;

/// The lowest noise level whose threshold (for `bitsPerSample`) is at least 1.5 times
/// `deviation`; kMaxNoiseLevel when none is.
int proposeNoiseLevel(std::int64_t deviation, int bitsPerSample);

/// What a calibration found.
struct NoiseMeasurement {
    bool ok = false;            ///< three seconds (or all a finite input had) were measured
    std::int64_t deviation = 0; ///< the largest per-buffer silence measure
    int level = 0;              ///< the proposed noise level, 0..kMaxNoiseLevel
    int bitsPerSample = 16;     ///< of the format measured
};

class NoiseCalibration : public platform::MessageReceiver {
  public:
    using Done = std::function<void(const NoiseMeasurement&)>;

    /// Empty openers mean the system's (as for the capture session).
    NoiseCalibration(CaptureSession::DeviceOpener openDevice = {},
                     CaptureSession::EndpointOpener openEndpoint = {});
    ~NoiseCalibration() override;

    /// Opens the input and format of `options` and starts listening; `done` is called once
    /// when it ends (from a later message, never from here). False, with nothing running, when
    /// the input did not open.
    bool start(const CaptureOptions& options, Done done);
    /// Stops listening without an answer (Record needs the device).
    void cancel();
    bool running() const { return device_ != nullptr; }

    /// MM_WIM_DATA: `device` handed back `header`.
    void bufferDone(const void* device, platform::audio::WaveHeader* header);

  private:
    static constexpr int kBuffers = 8;

    void finish(bool ok);
    void closeDevice();

    CaptureSession::DeviceOpener openDevice_;
    CaptureSession::EndpointOpener openEndpoint_;
    std::array<CaptureBuffer, kBuffers> buffers_{};
    platform::audio::WaveInPtr device_;
    WAVEFORMATEX format_{};
    std::uint64_t wanted_ = 0;   // bytes of three seconds in format_
    std::uint64_t measured_ = 0; // bytes measured so far
    std::int64_t largest_ = 0;
    Done done_;
};

} // namespace mireldo::recorder
