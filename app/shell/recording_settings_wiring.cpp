// The "Recording settings" area of the main window in each audio mode: in the endpoint mode
// the sound server's sources with volume and mute, in ALSA mode the selected device's mixer
// sources with "Force selection", the volume slider and "Advance...".

#include "main_window.h"

#include "alsa_sources_wiring.h"
#include "audio_mode.h"
#include "endpoint_settings.h"
#include "text_list.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>

namespace mireldo {

namespace {
// How long the window waits for the sound server when it builds the endpoint list.
constexpr int kServerTimeoutMs = 2000;
} // namespace

void CRecorderDialog::wireRecordingSettings() {
    if (isEndpointMode()) {
        endpointSettings_ = new EndpointSettings(ui_.endpointList, ui_.recordingVolume, ui_.mute,
                                                 history_.endpointName, this);
        endpointSettings_->start(kServerTimeoutMs);
    } else if (audioMode() == AudioMode::Alsa) {
        // The device list is filled and its stored row selected: the mixer opens now.
        alsaSettings_ =
            new AlsaRecordingSettings(ui_.recordingDevice, ui_.recordingSources, ui_.forceSelection,
                                      ui_.advance, ui_.recordingVolume, this);
    }
}

} // namespace mireldo
