#include "audio_mode.h"

#include "audio/wave_out.h"
#include "text_compare.h"

#include <pulse/context.h>
#include <pulse/mainloop.h>

#include <atomic>
#include <chrono>
#include <memory>

namespace mireldo {

namespace {

std::atomic<int> g_mode{static_cast<int>(AudioMode::Alsa)};

struct MainloopDeleter {
    void operator()(pa_mainloop* m) const { pa_mainloop_free(m); }
};
struct ContextDeleter {
    void operator()(pa_context* c) const {
        pa_context_disconnect(c);
        pa_context_unref(c);
    }
};

} // namespace

std::optional<AudioMode> parseAudioMode(QStringView text) {
    const QStringView name = text.trimmed();
    if (platform::equalsIgnoreCase(name, u"alsa")) {
        return AudioMode::Alsa;
    }
    if (platform::equalsIgnoreCase(name, u"pulse")) {
        return AudioMode::Pulse;
    }
    if (platform::equalsIgnoreCase(name, u"virtual")) {
        return AudioMode::Virtual;
    }
    return std::nullopt;
}

QString audioModeName(AudioMode mode) {
    switch (mode) {
    case AudioMode::Alsa:
        return QStringLiteral("alsa");
    case AudioMode::Pulse:
        return QStringLiteral("pulse");
    case AudioMode::Virtual:
        return QStringLiteral("virtual");
    }
    return QStringLiteral("alsa");
}

bool pulseServerAnswers(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

    std::unique_ptr<pa_mainloop, MainloopDeleter> loop(pa_mainloop_new());
    if (!loop) {
        return false;
    }
    std::unique_ptr<pa_context, ContextDeleter> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "Mireldo"));
    if (!context) {
        return false;
    }
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return false;
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context.get());
        if (state == PA_CONTEXT_READY) {
            return true;
        }
        if (!PA_CONTEXT_IS_GOOD(state)) {
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        // One iteration of the loop, waiting at most until the deadline.
        if (pa_mainloop_prepare(loop.get(), static_cast<int>(left.count())) < 0 ||
            pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0) {
            return false;
        }
    }
}

AudioMode decideAudioMode(const QByteArray& overrideValue,
                          const std::function<bool()>& pulseProbe) {
    if (const auto chosen = parseAudioMode(QString::fromLocal8Bit(overrideValue))) {
        return *chosen;
    }
    return (pulseProbe && pulseProbe()) ? AudioMode::Pulse : AudioMode::Alsa;
}

AudioMode decideAndStoreAudioMode() {
    const AudioMode mode =
        decideAudioMode(qgetenv(kAudioModeVariable), [] { return pulseServerAnswers(500); });
    setAudioMode(mode);
    return mode;
}

AudioMode audioMode() {
    return static_cast<AudioMode>(g_mode.load(std::memory_order_acquire));
}

void setAudioMode(AudioMode mode) {
    g_mode.store(static_cast<int>(mode), std::memory_order_release);
    using platform::audio::AudioBackend;
    platform::audio::setAudioBackend(mode == AudioMode::Pulse     ? AudioBackend::Pulse
                                     : mode == AudioMode::Virtual ? AudioBackend::Virtual
                                                                  : AudioBackend::Alsa);
}

} // namespace mireldo
