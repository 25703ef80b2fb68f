#pragma once

// A capture device's mixer over ALSA's simple mixer interface.
//
// Sources, as the simple mixer presents them:
// - Mux: the elements whose capture switches are exclusive (a "Capture Source" enumeration
//   that ALSA splits into one element per item), or else the items of an enumerated capture
//   element (an "Input Source" list); exactly one of them records.
// - Mixer: the elements with a capture switch; several may record at once.
// - None: the elements with a capture volume; they all record.
// A row's volume is its element's capture volume, or else that of the element "Capture".
// Writing the selection also takes the change events pending at that moment (the card reports
// the write back, and the elements sharing the written control must see it at once); callers
// read the selection again afterwards.
//
// Threads: the window's thread only: ALSA's mixer handle is not safe to share, and the poll
// descriptors are watched by that thread's event loop. Ownership: the object owns the handle.

#include "recording_mixer.h"

#include <memory>
#include <string>
#include <vector>

#include <poll.h>

struct _snd_mixer;
struct _snd_mixer_elem;

namespace mireldo::platform::audio {

/// A control device's simple mixer, holding the recording sources of a capture device.
class AlsaMixer final : public RecordingMixer {
  public:
    /// Opens the mixer of control device `control` ("hw:0", "default"); null when it cannot be
    /// opened, attached or loaded.
    static std::unique_ptr<AlsaMixer> open(const std::string& control);
    ~AlsaMixer() override;
    AlsaMixer(const AlsaMixer&) = delete;
    AlsaMixer& operator=(const AlsaMixer&) = delete;

    SourceSelection selection() const override { return selection_; }
    int rowCount() const override { return static_cast<int>(rows_.size()); }
    std::optional<QString> rowName(int row) const override;
    std::optional<std::vector<bool>> readSelection() override;
    bool writeSelection(const std::vector<bool>& selected) override;
    std::optional<MixerVolume> volume(int row) override;
    bool setVolume(int row, long value) override;

    /// The descriptors to watch for changes made by others (readable or priority data).
    std::vector<pollfd> pollDescriptors() const;
    /// Takes the pending change events; true when any element changed. Call when a poll
    /// descriptor is ready (and harmlessly at any other time).
    bool handleEvents();

    /// The control device this mixer was opened on.
    const std::string& control() const { return control_; }

  private:
    struct MixerCloser {
        void operator()(_snd_mixer* mixer) const;
    };

    // One source row: an element (Mux by switches, Mixer, None), or item `item` of the
    // enumerated element (Mux by enumeration).
    struct Row {
        _snd_mixer_elem* elem = nullptr;
        int item = -1;
        _snd_mixer_elem* volumeElem = nullptr; // its capture volume, or null
    };

    AlsaMixer(std::string control, std::unique_ptr<_snd_mixer, MixerCloser> mixer);
    void findRows();
    const Row* rowAt(int row) const;

    std::string control_;
    std::unique_ptr<_snd_mixer, MixerCloser> mixer_;
    SourceSelection selection_ = SourceSelection::None;
    std::vector<Row> rows_;
};

} // namespace mireldo::platform::audio
