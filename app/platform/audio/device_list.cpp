#include "backends.h"
#include "pulse_endpoints.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>

namespace mireldo::platform::audio {

std::ostream& operator<<(std::ostream& out, DeviceError error) {
    switch (error) {
    case DeviceError::None:
        return out << "None";
    case DeviceError::Failed:
        return out << "Failed";
    case DeviceError::BadDeviceId:
        return out << "BadDeviceId";
    case DeviceError::Allocated:
        return out << "Allocated";
    case DeviceError::InvalidHandle:
        return out << "InvalidHandle";
    case DeviceError::NoDriver:
        return out << "NoDriver";
    case DeviceError::NoMemory:
        return out << "NoMemory";
    case DeviceError::InvalidParam:
        return out << "InvalidParam";
    case DeviceError::BadFormat:
        return out << "BadFormat";
    case DeviceError::StillPlaying:
        return out << "StillPlaying";
    case DeviceError::Unprepared:
        return out << "Unprepared";
    }
    return out << "DeviceError(" << static_cast<int>(error) << ')';
}

DeviceError prepareHeader(WaveHeader& header) {
    if (header.data == nullptr && header.bufferLength != 0) {
        return DeviceError::InvalidParam;
    }
    setHeaderFlags(header, headerFlags(header) | WHDR_PREPARED);
    return DeviceError::None;
}

DeviceError unprepareHeader(WaveHeader& header) {
    // The device clears WHDR_INQUEUE on its own thread as it hands the buffer back.
    const std::uint32_t flags = headerFlags(header);
    if ((flags & WHDR_INQUEUE) != 0) {
        return DeviceError::StillPlaying;
    }
    setHeaderFlags(header, flags & ~WHDR_PREPARED);
    return DeviceError::None;
}

namespace {
std::atomic<int> g_storedBackend{-1};
// How long a device list waits for the sound server.
constexpr int kServerTimeoutMs = 2000;
} // namespace

void setAudioBackend(AudioBackend backend) {
    g_storedBackend.store(static_cast<int>(backend), std::memory_order_release);
}

AudioBackend audioBackend() {
    if (const int stored = g_storedBackend.load(std::memory_order_acquire); stored >= 0) {
        return static_cast<AudioBackend>(stored);
    }
    const char* mode = std::getenv("MIRELDO_AUDIO_MODE");
    if (mode != nullptr && std::strcmp(mode, "virtual") == 0) {
        return AudioBackend::Virtual;
    }
    return AudioBackend::Alsa;
}

double virtualSpeed() {
    const char* text = std::getenv("MIRELDO_VIRTUAL_SPEED");
    if (text == nullptr || *text == '\0') {
        return 1.0;
    }
    char* end = nullptr;
    const double speed = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(speed) || speed <= 0.0) {
        return 1.0;
    }
    return speed;
}

WaveOutPtr openWaveOut(int device, const PcmFormat& format, ReceiverHandle owner,
                       DeviceError* error) {
    if (!format.valid()) {
        return failWith(error, DeviceError::BadFormat);
    }
    if (device < WAVE_MAPPER) {
        return failWith(error, DeviceError::BadDeviceId);
    }
    if (audioBackend() == AudioBackend::Virtual) {
        if (device > 0) {
            return failWith(error, DeviceError::BadDeviceId);
        }
        return openVirtualWaveOut(format, owner, error);
    }
    if (audioBackend() == AudioBackend::Pulse) {
        // The server's sinks, reached through ALSA's pulse plug-in; the default device is the
        // server's default sink.
        if (device == WAVE_MAPPER) {
            return openAlsaWaveOutPcm("pulse", format, owner, error);
        }
        const auto server = queryPulseServer(kServerTimeoutMs);
        if (!server || static_cast<std::size_t>(device) >= server->sinks.size()) {
            return failWith(error, DeviceError::BadDeviceId);
        }
        return openAlsaWaveOutPcm(
            "pulse:" + server->sinks[static_cast<std::size_t>(device)].name.toStdString(), format,
            owner, error);
    }
    return openAlsaWaveOut(device, format, owner, error);
}

WaveInPtr openWaveIn(int device, const PcmFormat& format, ReceiverHandle owner,
                     DeviceError* error) {
    if (!format.valid()) {
        return failWith(error, DeviceError::BadFormat);
    }
    if (device < WAVE_MAPPER) {
        return failWith(error, DeviceError::BadDeviceId);
    }
    if (audioBackend() == AudioBackend::Virtual) {
        if (device > 0) {
            return failWith(error, DeviceError::BadDeviceId);
        }
        return openVirtualWaveIn(format, owner, error);
    }
    return openAlsaWaveIn(device, format, owner, error);
}

QStringList waveOutDeviceNames() {
    switch (audioBackend()) {
    case AudioBackend::Virtual:
        return virtualOutputNames();
    case AudioBackend::Pulse: {
        QStringList names;
        if (const auto server = queryPulseServer(kServerTimeoutMs)) {
            for (const PulseSink& sink : server->sinks) {
                names.push_back(sink.description);
            }
        }
        return names;
    }
    case AudioBackend::Alsa:
        break;
    }
    return alsaOutputNames();
}

QStringList waveInDeviceNames() {
    switch (audioBackend()) {
    case AudioBackend::Virtual:
        return virtualInputNames();
    case AudioBackend::Pulse: {
        QStringList names;
        if (const auto server = queryPulseServer(kServerTimeoutMs)) {
            for (const PulseSource& source : server->sources) {
                names.push_back(source.description);
            }
        }
        return names;
    }
    case AudioBackend::Alsa:
        break;
    }
    return alsaInputNames();
}

void applyVolume(char* data, std::uint32_t bytes, const PcmFormat& format, std::uint32_t volume) {
    if (volume == 0xFFFFFFFFu || data == nullptr) {
        return;
    }
    const std::int64_t left = volume & 0xFFFFu;
    const std::int64_t right = format.channels == 2 ? (volume >> 16) : left;
    if (left == 0xFFFF && right == 0xFFFF) {
        return;
    }
    if (format.bitsPerSample == 16) {
        const std::uint32_t samples = bytes / 2;
        for (std::uint32_t i = 0; i < samples; ++i) {
            const std::int64_t v = (format.channels == 2 && (i & 1u) != 0) ? right : left;
            std::int16_t s;
            std::memcpy(&s, data + 2 * i, 2);
            const auto scaled = static_cast<std::int16_t>(s * v / 0xFFFF);
            std::memcpy(data + 2 * i, &scaled, 2);
        }
    } else {
        for (std::uint32_t i = 0; i < bytes; ++i) {
            const std::int64_t v = (format.channels == 2 && (i & 1u) != 0) ? right : left;
            const std::int64_t s = static_cast<unsigned char>(data[i]) - 128;
            data[i] = static_cast<char>(static_cast<unsigned char>(128 + s * v / 0xFFFF));
        }
    }
}

} // namespace mireldo::platform::audio
