#pragma once

// The recording sources of the selected capture device, as the "Recording settings" area shows
// them in ALSA mode: one check box per source of the device's mixer, mirroring which sources
// record; "Force selection", which holds that choice against changes made by other programs;
// and the volume slider of the selected source.
//
// Threads: the window's thread only, like the mixer it drives. Ownership: the engine owns the
// open mixer; the view and the opener are the caller's and outlive the engine.

#include "audio/recording_mixer.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace mireldo::recorder {

/// What the source list and the volume slider show; the window implements it with widgets.
class RecordingSourcesView {
  public:
    virtual ~RecordingSourcesView() = default;
    /// Replaces the source rows (none: the list is emptied).
    virtual void setSourceRows(const QStringList& names) = 0;
    /// Sets the check box of every row.
    virtual void setSourceChecks(const std::vector<bool>& checked) = 0;
    /// Makes `row` the selected row (-1: none).
    virtual void selectSourceRow(int row) = 0;
    /// Sets the slider's range and page size.
    virtual void setVolumeRange(long minimum, long maximum, long page) = 0;
    /// Moves the slider to `value`.
    virtual void setVolumeValue(long value) = 0;
    /// Tells the user the change was refused.
    virtual void beep() = 0;
};

/// The engine behind the source list, "Force selection" and the recording volume slider.
class RecordingSources {
  public:
    /// Opens the mixer of capture device `index`; null when it cannot be opened.
    using MixerOpener = std::function<std::unique_ptr<platform::audio::RecordingMixer>(int index)>;

    /// Rows whose check state is remembered (and held by "Force selection").
    static constexpr int kCachedRows = 30;

    RecordingSources(RecordingSourcesView& view, MixerOpener opener);

    /// The device selection changed to `index` (-1: none): opens that device's mixer and
    /// lists its sources. Nothing happens when `index` is the current device.
    void selectDevice(int index);
    /// The user selected source row `row`: the slider shows its volume.
    void selectRow(int row);
    /// The user toggled a check box; `checked` holds every row's check state after it.
    void sourceToggled(const std::vector<bool>& checked);
    /// "Force selection" was switched on or off.
    void setForceSelection(bool force);
    /// The mixer reported a change: refreshes the slider and reads the selection, undoing
    /// others' changes while "Force selection" is on.
    void mixerChanged();
    /// The user moved the slider to `value`: sets the selected source's volume.
    void setVolume(long value);

    /// Reads the mixer's selection into the check boxes and the cache. With `enforce` and
    /// "Force selection" on, a selection that differs from the cache is written back instead.
    /// Returns the selected row, else the first checked row, else -1.
    int readSelection(bool enforce);
    /// Shows the selected row's volume, range and page size on the slider.
    void refreshVolume();

    /// The current device index (-1 before the first selection).
    int deviceIndex() const { return deviceIndex_; }
    /// The open mixer; null when there is none.
    platform::audio::RecordingMixer* mixer() const { return mixer_.get(); }
    /// The selected row (-1: none).
    int selectedRow() const { return selectedRow_; }
    bool forceSelection() const { return force_; }

  private:
    bool cached(std::size_t row) const { return row < cache_.size() && cache_[row]; }

    RecordingSourcesView& view_;
    MixerOpener opener_;
    std::unique_ptr<platform::audio::RecordingMixer> mixer_;
    int deviceIndex_ = -1;
    int selectedRow_ = -1;
    bool force_ = false;
    std::vector<bool> cache_; // the first kCachedRows rows' check states
};

} // namespace mireldo::recorder
