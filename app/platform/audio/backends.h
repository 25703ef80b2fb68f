#pragma once

// The back-ends behind openWaveOut()/openWaveIn() and the device lists. Internal to the
// platform layer.

#include "wave_in.h"
#include "wave_out.h"

#include <string>

namespace mireldo::platform::audio {

WaveOutPtr openVirtualWaveOut(const PcmFormat& format, ReceiverHandle owner, DeviceError* error);
WaveInPtr openVirtualWaveIn(const PcmFormat& format, ReceiverHandle owner, DeviceError* error);
QStringList virtualOutputNames();
QStringList virtualInputNames();

WaveOutPtr openAlsaWaveOut(int device, const PcmFormat& format, ReceiverHandle owner,
                           DeviceError* error);
WaveInPtr openAlsaWaveIn(int device, const PcmFormat& format, ReceiverHandle owner,
                         DeviceError* error);
/// Plays through the ALSA PCM named `pcmName` (for example "pulse:SINK", a sound server's
/// sink through ALSA's pulse plug-in).
WaveOutPtr openAlsaWaveOutPcm(const std::string& pcmName, const PcmFormat& format,
                              ReceiverHandle owner, DeviceError* error);
QStringList alsaOutputNames();
QStringList alsaInputNames();

/// Stores `code` in `error` when it is given; returns null for the callers' convenience.
inline std::nullptr_t failWith(DeviceError* error, DeviceError code) {
    if (error != nullptr) {
        *error = code;
    }
    return nullptr;
}

} // namespace mireldo::platform::audio
