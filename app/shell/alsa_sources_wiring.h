#pragma once

// The "Recording settings" area in ALSA mode: the selected capture device's mixer sources in
// the check list, "Force selection", the recording volume slider and "Advance...". The window
// fills the device list (waveInDeviceNames(), in index order); this object reacts to its
// selection, opens that device's mixer and watches it for changes made by other programs.
//
// Threads: the window's thread only; the mixer's descriptors are watched by its event loop.
// Ownership: a child of `parent`; it owns the engine and the mixer, not the widgets.

#include "recording_sources.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QListWidget;
class QPushButton;
class QSlider;
class QSocketNotifier;
class QWidget;

namespace mireldo::platform::audio {
class AlsaMixer;
}

namespace mireldo {

/// Wires the ALSA-mode recording settings' widgets to a RecordingSources engine.
class AlsaRecordingSettings final : public QObject {
    Q_OBJECT

  public:
    /// Wires the widgets and sets up the mixer of the device selected in `devices` at once.
    /// `parent` owns this object and is the parent of its message boxes.
    AlsaRecordingSettings(QComboBox* devices, QListWidget* sources, QCheckBox* force,
                          QPushButton* advance, QSlider* volume, QWidget* parent);
    ~AlsaRecordingSettings() override;

    /// The engine, for tests and for the window's own queries.
    recorder::RecordingSources& engine() { return *engine_; }

    /// Starts the desktop's input mixer for the selected device: pavucontrol on its input
    /// tab, else alsamixer in a terminal, else a message that none was found.
    void openMixerProgram();

  private:
    class View;

    void deviceChanged(int index);
    void watchMixer();
    void mixerActivity();

    QComboBox* devices_;
    QListWidget* sources_;
    QWidget* parent_;
    std::unique_ptr<View> view_;
    std::unique_ptr<recorder::RecordingSources> engine_;
    platform::audio::AlsaMixer* alsa_ = nullptr; // the engine's open mixer, or null
    std::string mixerName_;                      // the control device of the selected device
    std::vector<QSocketNotifier*> notifiers_;
};

} // namespace mireldo
