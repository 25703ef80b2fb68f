#pragma once

// The process-wide audio mode: which device layer captures, plays and mixes.
//   Alsa    - devices and mixer through ALSA (the "winmm mode" of the recorder's layout);
//   Pulse   - capture endpoints, their volume and mute through a PulseAudio server
//             (the "endpoint mode", with the endpoint list in the recording settings);
//   Virtual - the virtual back-end (a WAV file or tone as input, a WAV file as output).
// The mode is decided once at start-up and read everywhere afterwards.
//
// Threads: audioMode() from any thread; setAudioMode() on the main thread before any other
// thread reads the mode. decideAudioMode() and pulseServerAnswers() from any thread.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

namespace mireldo {

enum class AudioMode { Alsa, Pulse, Virtual };

/// Name of the variable that overrides the decision.
inline constexpr char kAudioModeVariable[] = "MIRELDO_AUDIO_MODE";

/// "alsa", "pulse" or "virtual" (ASCII case ignored, blanks around allowed); nullopt otherwise.
std::optional<AudioMode> parseAudioMode(QStringView text);
/// The name parseAudioMode() reads back.
QString audioModeName(AudioMode mode);

/// True when a PulseAudio server accepts a client connection within `timeoutMs` milliseconds.
/// Never starts a server (no autospawn). Uses the client library's usual server lookup
/// (PULSE_SERVER, the user's runtime folder, ...).
bool pulseServerAnswers(int timeoutMs);

/// The mode for `overrideValue` (the variable's value, empty when unset) when it names one;
/// otherwise Pulse when `pulseProbe` answers true, else Alsa.
AudioMode decideAudioMode(const QByteArray& overrideValue, const std::function<bool()>& pulseProbe);

/// Decides from the environment and a 500 ms server probe, stores the result and returns it.
AudioMode decideAndStoreAudioMode();

/// The stored mode (Alsa until one is stored).
AudioMode audioMode();
void setAudioMode(AudioMode mode);
/// True in the endpoint mode (PulseAudio), where the recording settings show the endpoint list.
inline bool isEndpointMode() {
    return audioMode() == AudioMode::Pulse;
}

} // namespace mireldo
