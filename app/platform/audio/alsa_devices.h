#pragma once

// The ALSA devices as the program lists them. Capture: "default" first, then the PCMs the ALSA
// configuration describes with hints, then every card's capture devices through plughw.
// Playback: every card's playback devices through plughw. Each entry names the PCM to open and
// the control device whose simple mixer holds its recording sources and capture volume.
//
// Threads: any thread; every call reads ALSA's configuration and the cards afresh.

#include <QString>

#include <string>
#include <vector>

namespace mireldo::platform::audio {

/// One device of a device list.
struct AlsaDeviceInfo {
    std::string pcm;   ///< the ALSA PCM name to open ("default", "pulse", "plughw:0,0")
    std::string mixer; ///< the control device of its mixer ("default", "pulse", "hw:0")
    QString name;      ///< what users see
};

/// A device of the "Recording device:" list.
using CaptureDeviceInfo = AlsaDeviceInfo;

/// The capture devices in list order; index i is what openWaveIn(i, ...) opens in ALSA mode.
std::vector<CaptureDeviceInfo> alsaCaptureDevices();

/// The cards' playback devices in list order; index i is what openWaveOut(i, ...) opens in
/// ALSA mode.
std::vector<AlsaDeviceInfo> alsaPlaybackDevices();

/// Keeps ALSA's own error printing off the program's standard error: listing devices probes
/// every PCM and control the configuration names, and most plug-ins complain when they have
/// no card or server behind them. Failures still reach the callers as result codes.
/// Idempotent; any thread.
void silenceAlsaDiagnostics();

/// The control device that goes with PCM `pcm`: "hw:C" for the hw, plughw and sysdefault
/// devices of card C (by number or by card id), else the PCM's name up to its first ':'.
std::string alsaMixerNameForPcm(const std::string& pcm);

/// The card index a control device name refers to ("hw:1" -> 1, "hw:Intel" -> its index), or
/// -1 for plugin devices and unknown cards.
int alsaCardOfMixer(const std::string& mixer);

} // namespace mireldo::platform::audio
