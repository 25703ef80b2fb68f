#pragma once

// Capture from a PulseAudio source (the recorder's "endpoint"), offered as a WaveIn so that the
// capture session treats it as any input device: buffers are queued with addBuffer() and come
// back filled as MM_WIM_DATA (a WaveBufferDone naming the device and the header).
//
// The stream records in the source's own sample format (its "mix format"): 16-bit signed or
// 32-bit float little-endian, any channel count and rate. A source in any other sample format
// is recorded as float at its own rate and channels, the server converting. Every packet is
// converted to the PCM format the device was opened with (endpoint_conversion.h).
//
// Capture thread: each device runs one thread with a libpulse main loop of its own (not the
// threaded main loop): the context, the stream and the loop are touched on that thread only.
// The thread sleeps in the loop's poll, which wakes when the server sends data (the stream asks
// for 50 ms fragments), when an owner's operation wakes it (pa_mainloop_wakeup, which is safe
// from any thread), or after 50 ms at the latest. Each wake it drains every packet the stream
// holds into a ring, then converts from the ring straight into the queued buffers; a buffer
// goes back after one conversion, full or not. Nothing is allocated on that thread after open.
//
// The ring (allocated at open, kEndpointRingSeconds of the source's format) keeps what arrives
// while no buffer is queued, so a consumer that falls behind loses nothing until the ring is
// full. What does not fit is counted (endpointCaptureCounts()) and reported to the owner as
// MM_WIM_LOST once per overflow; it is never dropped silently.
//
// A source that goes away while open (its module unloaded, the server gone) leaves the device
// dead, as an unplugged ALSA device: what the ring holds is delivered first, then every queued
// buffer (and any buffer added later) comes straight back empty, which the capture session
// takes as a device failure (recording stops, the record is kept).
//
// Threads: openPulseWaveIn() on any thread (it blocks up to 5 s while the server answers); the
// WaveIn operations from any thread (see device_worker.h for the locking).
// Ownership: the device owns its thread, main loop, context, stream and ring; the headers stay
// the owner's, lent between addBuffer() and their hand-back or the return of reset()/close().

#include "wave_in.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace mireldo::platform::audio {

/// Seconds of the source's audio the device keeps while no buffer is queued.
inline constexpr std::uint32_t kEndpointRingSeconds = 10;

/// Posted to the owner, carrying a WaveInputLost, when audio was lost because the ring was full.
inline constexpr std::uint32_t MM_WIM_LOST = WM_USER + 21;

/// The payload of MM_WIM_LOST.
struct WaveInputLost {
    /// The WaveIn that lost audio; for comparing with the owner's device only.
    const void* device = nullptr;
    /// The total lost so far, in milliseconds of the source's audio.
    std::int64_t lostMs = 0;
};

/// A source's sample format as the "Device audio format not supported" message (483) shows it.
struct EndpointFormat {
    std::uint16_t bits = 0; ///< container bits of one sample
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t tag = 0; ///< wave format tag: 1 integer PCM, 3 float, 6 A-law, 7 mu-law
};

/// Opens a capture stream on the PulseAudio source named `sourceName` (empty: the server's
/// default source) delivering `format` to `owner`. The device starts stopped: start() begins
/// filling buffers. (The server's stream runs from open, its packets dropped until then, so
/// that audio flows at once when recording starts; stop() and reset() pause it.) On failure
/// returns null and stores in `error` (when given):
///   NoDriver   the server or the source cannot be reached (no server, no such source, the
///              source went away while connecting);
///   BadFormat  `format` is not valid(), or the source's sample format cannot be recorded; in
///              the second case `unsupported` (when given) receives it;
///   Failed     any other failure (the server refused the stream, no memory for the ring, a
///              time-out of 5 s while connecting);
///   NoMemory   the capture thread cannot be started.
WaveInPtr openPulseWaveIn(const QString& sourceName, const PcmFormat& format, ReceiverHandle owner,
                          DeviceError* error = nullptr, EndpointFormat* unsupported = nullptr);

/// Frame counts of an endpoint capture device (null for any other device), since it opened.
struct EndpointCaptureCounts {
    std::uint64_t received = 0; ///< source frames the server delivered
    std::uint64_t lost = 0;     ///< source frames dropped because the ring was full
    std::uint64_t consumed = 0; ///< source frames converted (the rate change's input counter)
    std::uint64_t produced = 0; ///< frames written into buffers, in the device's format
    std::uint32_t sourceRate = 0;
};
std::optional<EndpointCaptureCounts> endpointCaptureCounts(const WaveIn& device);

} // namespace mireldo::platform::audio
