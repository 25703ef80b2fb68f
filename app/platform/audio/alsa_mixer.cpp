#include "alsa_mixer.h"

#include "alsa_devices.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>

namespace mireldo::platform::audio {

namespace {

// The capture channels an element has, in ALSA's channel order (a mono element has channel 0).
std::vector<snd_mixer_selem_channel_id_t> captureChannels(snd_mixer_elem_t* elem) {
    std::vector<snd_mixer_selem_channel_id_t> out;
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
        if (snd_mixer_selem_has_capture_channel(elem, channel) != 0) {
            out.push_back(channel);
        }
    }
    if (out.empty()) {
        out.push_back(SND_MIXER_SCHN_MONO);
    }
    return out;
}

// The element `name` (index 0) of `mixer` when it has a capture volume.
snd_mixer_elem_t* captureVolumeNamed(snd_mixer_t* mixer, const char* name) {
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, name);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_elem_t* elem = snd_mixer_find_selem(mixer, id);
    return elem != nullptr && snd_mixer_selem_has_capture_volume(elem) != 0 ? elem : nullptr;
}

} // namespace

void AlsaMixer::MixerCloser::operator()(snd_mixer_t* mixer) const {
    snd_mixer_close(mixer);
}

std::unique_ptr<AlsaMixer> AlsaMixer::open(const std::string& control) {
    silenceAlsaDiagnostics();
    snd_mixer_t* raw = nullptr;
    if (snd_mixer_open(&raw, 0) < 0) {
        return nullptr;
    }
    std::unique_ptr<snd_mixer_t, MixerCloser> mixer(raw);
    if (snd_mixer_attach(mixer.get(), control.c_str()) < 0 ||
        snd_mixer_selem_register(mixer.get(), nullptr, nullptr) < 0 ||
        snd_mixer_load(mixer.get()) < 0) {
        return nullptr;
    }
    std::unique_ptr<AlsaMixer> out(new AlsaMixer(control, std::move(mixer)));
    out->findRows();
    return out;
}

AlsaMixer::AlsaMixer(std::string control, std::unique_ptr<_snd_mixer, MixerCloser> mixer)
    : control_(std::move(control)), mixer_(std::move(mixer)) {}

AlsaMixer::~AlsaMixer() = default;

void AlsaMixer::findRows() {
    snd_mixer_t* mixer = mixer_.get();
    snd_mixer_elem_t* const fallback = captureVolumeNamed(mixer, "Capture");
    const auto volumeOf = [&](snd_mixer_elem_t* elem) {
        return elem != nullptr && snd_mixer_selem_has_capture_volume(elem) != 0 ? elem : fallback;
    };
    std::vector<snd_mixer_elem_t*> exclusive;
    std::vector<snd_mixer_elem_t*> switches;
    std::vector<snd_mixer_elem_t*> volumes;
    snd_mixer_elem_t* enumerated = nullptr;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e != nullptr;
         e = snd_mixer_elem_next(e)) {
        if (snd_mixer_selem_has_capture_switch_exclusive(e) != 0) {
            exclusive.push_back(e);
        } else if (snd_mixer_selem_has_capture_switch(e) != 0) {
            switches.push_back(e);
        }
        if (enumerated == nullptr && snd_mixer_selem_is_enum_capture(e) != 0) {
            enumerated = e;
        }
        if (snd_mixer_selem_has_capture_volume(e) != 0) {
            volumes.push_back(e);
        }
    }
    if (!exclusive.empty()) {
        selection_ = SourceSelection::Mux;
        for (snd_mixer_elem_t* e : exclusive) {
            rows_.push_back({e, -1, volumeOf(e)});
        }
    } else if (enumerated != nullptr) {
        selection_ = SourceSelection::Mux;
        const int items = std::max(snd_mixer_selem_get_enum_items(enumerated), 0);
        for (int i = 0; i < items; ++i) {
            // An item's volume is that of the element of the same name, when there is one.
            std::array<char, 64> name{};
            snd_mixer_elem_t* own = nullptr;
            if (snd_mixer_selem_get_enum_item_name(enumerated, static_cast<unsigned>(i),
                                                   name.size() - 1, name.data()) >= 0) {
                own = captureVolumeNamed(mixer, name.data());
            }
            rows_.push_back({enumerated, i, own != nullptr ? own : fallback});
        }
    } else if (!switches.empty()) {
        selection_ = SourceSelection::Mixer;
        for (snd_mixer_elem_t* e : switches) {
            rows_.push_back({e, -1, volumeOf(e)});
        }
    } else {
        selection_ = SourceSelection::None;
        for (snd_mixer_elem_t* e : volumes) {
            rows_.push_back({e, -1, e});
        }
    }
}

const AlsaMixer::Row* AlsaMixer::rowAt(int row) const {
    if (row < 0 || row >= rowCount()) {
        return nullptr;
    }
    return &rows_[static_cast<std::size_t>(row)];
}

std::optional<QString> AlsaMixer::rowName(int row) const {
    const Row* r = rowAt(row);
    if (r == nullptr) {
        return std::nullopt;
    }
    if (r->item >= 0) {
        std::array<char, 64> name{};
        if (snd_mixer_selem_get_enum_item_name(r->elem, static_cast<unsigned>(r->item),
                                               name.size() - 1, name.data()) < 0 ||
            name[0] == '\0') {
            return std::nullopt; // ALSA may report a failure as an empty name
        }
        return QString::fromUtf8(name.data());
    }
    const char* name = snd_mixer_selem_get_name(r->elem);
    if (name == nullptr) {
        return std::nullopt;
    }
    return QString::fromUtf8(name);
}

std::optional<std::vector<bool>> AlsaMixer::readSelection() {
    std::vector<bool> out;
    out.reserve(rows_.size());
    for (const Row& r : rows_) {
        if (selection_ == SourceSelection::None) {
            out.push_back(true);
        } else if (r.item >= 0) {
            unsigned item = 0;
            if (snd_mixer_selem_get_enum_item(r.elem, SND_MIXER_SCHN_MONO, &item) < 0) {
                return std::nullopt;
            }
            out.push_back(static_cast<int>(item) == r.item);
        } else {
            // A source records when any of its channels does.
            bool on = false;
            for (const auto channel : captureChannels(r.elem)) {
                int value = 0;
                if (snd_mixer_selem_get_capture_switch(r.elem, channel, &value) < 0) {
                    return std::nullopt;
                }
                on = on || value != 0;
            }
            out.push_back(on);
        }
    }
    return out;
}

bool AlsaMixer::writeSelection(const std::vector<bool>& selected) {
    if (selection_ == SourceSelection::None || selected.size() != rows_.size()) {
        return false;
    }
    bool ok = true;
    if (!rows_.empty() && rows_.front().item >= 0) {
        const auto chosen = std::find(selected.begin(), selected.end(), true);
        if (chosen == selected.end()) {
            return false; // an enumeration always has one item chosen
        }
        const Row& r = rows_[static_cast<std::size_t>(chosen - selected.begin())];
        for (const auto channel : captureChannels(r.elem)) {
            ok = snd_mixer_selem_set_enum_item(r.elem, channel, static_cast<unsigned>(r.item)) >=
                     0 &&
                 ok;
        }
        snd_mixer_handle_events(mixer_.get());
        return ok;
    }
    // Switches off first, then on: with exclusive switches the one left on is the choice.
    for (const bool pass : {false, true}) {
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (selected[i] == pass) {
                ok = snd_mixer_selem_set_capture_switch_all(rows_[i].elem, pass ? 1 : 0) >= 0 && ok;
            }
        }
    }
    // The card reports the write back as events; taking them now brings every element that
    // shares the written control (the items of a source enumeration) up to date.
    snd_mixer_handle_events(mixer_.get());
    return ok;
}

std::optional<MixerVolume> AlsaMixer::volume(int row) {
    const Row* r = rowAt(row);
    if (r == nullptr || r->volumeElem == nullptr) {
        return std::nullopt;
    }
    MixerVolume v;
    if (snd_mixer_selem_get_capture_volume_range(r->volumeElem, &v.minimum, &v.maximum) < 0 ||
        snd_mixer_selem_get_capture_volume(r->volumeElem, captureChannels(r->volumeElem).front(),
                                           &v.value) < 0) {
        return std::nullopt;
    }
    return v;
}

bool AlsaMixer::setVolume(int row, long value) {
    const Row* r = rowAt(row);
    return r != nullptr && r->volumeElem != nullptr &&
           snd_mixer_selem_set_capture_volume_all(r->volumeElem, value) >= 0;
}

std::vector<pollfd> AlsaMixer::pollDescriptors() const {
    const int count = snd_mixer_poll_descriptors_count(mixer_.get());
    if (count <= 0) {
        return {};
    }
    std::vector<pollfd> fds(static_cast<std::size_t>(count));
    const int filled =
        snd_mixer_poll_descriptors(mixer_.get(), fds.data(), static_cast<unsigned>(count));
    fds.resize(static_cast<std::size_t>(std::max(filled, 0)));
    return fds;
}

bool AlsaMixer::handleEvents() {
    return snd_mixer_handle_events(mixer_.get()) > 0;
}

} // namespace mireldo::platform::audio
