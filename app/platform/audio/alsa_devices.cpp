// Device lists over ALSA: the configuration's hints and the cards' PCM devices.

#include "alsa_devices.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace mireldo::platform::audio {

namespace {

struct CtlCloser {
    void operator()(snd_ctl_t* ctl) const { snd_ctl_close(ctl); }
};
using CtlPtr = std::unique_ptr<snd_ctl_t, CtlCloser>;

// The hint array of snd_device_name_hint(), freed with snd_device_name_free_hint().
struct HintsFree {
    void operator()(void** hints) const { snd_device_name_free_hint(hints); }
};
using HintsPtr = std::unique_ptr<void*, HintsFree>;

// The strings snd_device_name_get_hint() returns are the caller's to free().
std::string takeHint(const void* hint, const char* id, bool* present = nullptr) {
    char* value = snd_device_name_get_hint(hint, id);
    if (present != nullptr) {
        *present = value != nullptr;
    }
    if (value == nullptr) {
        return {};
    }
    std::string out(value);
    std::free(value);
    return out;
}

// Every card's PCM devices that work in `direction`, opened through plughw so that ALSA
// converts the sample format and rate.
std::vector<AlsaDeviceInfo> cardDevices(snd_pcm_stream_t direction) {
    std::vector<AlsaDeviceInfo> devices;
    snd_ctl_card_info_t* cardInfo = nullptr;
    snd_pcm_info_t* pcmInfo = nullptr;
    if (snd_ctl_card_info_malloc(&cardInfo) < 0) {
        return devices;
    }
    std::unique_ptr<snd_ctl_card_info_t, void (*)(snd_ctl_card_info_t*)> cardGuard(
        cardInfo, snd_ctl_card_info_free);
    if (snd_pcm_info_malloc(&pcmInfo) < 0) {
        return devices;
    }
    std::unique_ptr<snd_pcm_info_t, void (*)(snd_pcm_info_t*)> pcmGuard(pcmInfo, snd_pcm_info_free);
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        const std::string ctlName = "hw:" + std::to_string(card);
        snd_ctl_t* raw = nullptr;
        if (snd_ctl_open(&raw, ctlName.c_str(), 0) < 0) {
            continue;
        }
        CtlPtr ctl(raw);
        if (snd_ctl_card_info(ctl.get(), cardInfo) < 0) {
            continue;
        }
        const QString cardName = QString::fromUtf8(snd_ctl_card_info_get_name(cardInfo));
        int device = -1;
        while (snd_ctl_pcm_next_device(ctl.get(), &device) == 0 && device >= 0) {
            snd_pcm_info_set_device(pcmInfo, static_cast<unsigned>(device));
            snd_pcm_info_set_subdevice(pcmInfo, 0);
            snd_pcm_info_set_stream(pcmInfo, direction);
            if (snd_ctl_pcm_info(ctl.get(), pcmInfo) < 0) {
                continue; // this device does not work in that direction
            }
            devices.push_back({"plughw:" + std::to_string(card) + "," + std::to_string(device),
                               ctlName,
                               cardName + QStringLiteral(": ") +
                                   QString::fromUtf8(snd_pcm_info_get_name(pcmInfo))});
        }
    }
    return devices;
}

// The first line of a hint's description ("HDA Intel PCH, ALC892 Analog\nFront speakers").
QString firstLine(const std::string& text) {
    return QString::fromUtf8(text.substr(0, text.find('\n')));
}

// The value of argument `key` in "front:CARD=PCH,DEV=0", or empty.
std::string argumentValue(const std::string& args, const std::string& key) {
    std::size_t start = 0;
    while (start <= args.size()) {
        const std::size_t end = std::min(args.find(',', start), args.size());
        const std::string item = args.substr(start, end - start);
        if (item.size() > key.size() && item.compare(0, key.size(), key) == 0 &&
            item[key.size()] == '=') {
            return item.substr(key.size() + 1);
        }
        start = end + 1;
    }
    return {};
}

} // namespace

std::string alsaMixerNameForPcm(const std::string& pcm) {
    const std::size_t colon = pcm.find(':');
    const std::string base = pcm.substr(0, colon);
    if (colon == std::string::npos) {
        return base;
    }
    const std::string args = pcm.substr(colon + 1);
    std::string card = argumentValue(args, "CARD");
    if (card.empty() && (base == "hw" || base == "plughw" || base == "sysdefault")) {
        card = args.substr(0, args.find(',')); // positional: "plughw:1,0"
    }
    // Devices of a card (its hw, plughw, sysdefault and the card's own plugins such as
    // front or dsnoop) share the card's mixer; plugin devices have a control of their name.
    return card.empty() ? base : "hw:" + card;
}

int alsaCardOfMixer(const std::string& mixer) {
    if (mixer.rfind("hw:", 0) != 0 || mixer.size() == 3) {
        return -1;
    }
    return std::max(snd_card_get_index(mixer.c_str() + 3), -1);
}

namespace {
void quietAlsaError(const char*, int, const char*, int, const char*, ...) {}
} // namespace

void silenceAlsaDiagnostics() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&quietAlsaError); });
}

std::vector<CaptureDeviceInfo> alsaCaptureDevices() {
    silenceAlsaDiagnostics();
    std::vector<CaptureDeviceInfo> devices;
    devices.push_back({"default", "default", QStringLiteral("default")});
    void** raw = nullptr;
    if (snd_device_name_hint(-1, "pcm", &raw) == 0 && raw != nullptr) {
        HintsPtr hints(raw);
        for (void** hint = raw; *hint != nullptr; ++hint) {
            const std::string name = takeHint(*hint, "NAME");
            bool hasIoid = false;
            const std::string ioid = takeHint(*hint, "IOID", &hasIoid);
            if (name.empty() || (hasIoid && ioid != "Input")) {
                continue;
            }
            const std::string desc = takeHint(*hint, "DESC");
            if (name == "default") {
                if (!desc.empty()) {
                    devices.front().name = firstLine(desc);
                }
                continue;
            }
            // The card listing below offers each card's devices with conversion; "null"
            // records nothing.
            if (name == "null" || name.rfind("hw:", 0) == 0 || name.rfind("plughw:", 0) == 0) {
                continue;
            }
            const bool seen =
                std::any_of(devices.begin(), devices.end(),
                            [&](const CaptureDeviceInfo& d) { return d.pcm == name; });
            if (seen) {
                continue;
            }
            devices.push_back({name, alsaMixerNameForPcm(name),
                               desc.empty() ? QString::fromStdString(name) : firstLine(desc)});
        }
    }
    for (auto& card : cardDevices(SND_PCM_STREAM_CAPTURE)) {
        devices.push_back(std::move(card));
    }
    return devices;
}

std::vector<AlsaDeviceInfo> alsaPlaybackDevices() {
    silenceAlsaDiagnostics();
    return cardDevices(SND_PCM_STREAM_PLAYBACK);
}

} // namespace mireldo::platform::audio
