// Binding the main window's controls to typed members.

#include "main_controls.h"

#include "level_meter.h"
#include "link_label.h"
#include "play_list_box.h"
#include "position_control.h"
#include "text_list.h"
#include "time_label.h"
#include "waveform_scope.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QtGlobal>

namespace mireldo {

void bindMainControls(MainControls& c, const std::function<QWidget*(MainCtl)>& lookup) {
    // dynamic_cast rather than qobject_cast: the playlist control's class has no meta-object
    // of its own.
    const auto bind = [&lookup]<typename T>(T*& member, MainCtl id) {
        member = dynamic_cast<T*>(lookup(id));
        if (member == nullptr) {
            qFatal("main window: control %d is missing or of the wrong class",
                   static_cast<int>(id));
        }
    };
    bind(c.recordingDevice, MainCtl::RecordingDevice);
    bind(c.outputFormat, MainCtl::OutputFormat);
    bind(c.recordingSourceLabel, MainCtl::RecordingSourceLabel);
    bind(c.recordingSources, MainCtl::RecordingSources);
    bind(c.endpointList, MainCtl::EndpointList);
    bind(c.deviceNotListed, MainCtl::DeviceNotListed);
    bind(c.forceSelection, MainCtl::ForceSelection);
    bind(c.advance, MainCtl::Advance);
    bind(c.recordingVolumeLabel, MainCtl::RecordingVolumeLabel);
    bind(c.recordingVolume, MainCtl::RecordingVolume);
    bind(c.mute, MainCtl::Mute);

    bind(c.positionText, MainCtl::PositionText);
    bind(c.lengthText, MainCtl::LengthText);
    bind(c.recordPosition, MainCtl::RecordPosition);
    bind(c.waveform, MainCtl::Waveform);
    bind(c.levelMeter, MainCtl::LevelMeter);
    bind(c.home, MainCtl::Home);
    bind(c.end, MainCtl::End);
    bind(c.play, MainCtl::Play);
    bind(c.stop, MainCtl::Stop);
    bind(c.record, MainCtl::Record);
    bind(c.newRecord, MainCtl::NewRecord);
    bind(c.cutHead, MainCtl::CutHead);
    bind(c.cutTail, MainCtl::CutTail);
    bind(c.saveRecord, MainCtl::SaveRecord);
    bind(c.statusLine, MainCtl::StatusLine);
    bind(c.healthLine, MainCtl::HealthLine);

    bind(c.silenceGroup, MainCtl::SilenceGroup);
    bind(c.silenceToggle, MainCtl::SilenceToggle);
    bind(c.noiseLevel, MainCtl::NoiseLevel);
    bind(c.measureNoise, MainCtl::MeasureNoise);
    bind(c.noiseMeasured, MainCtl::NoiseMeasured);
    bind(c.dropSilence, MainCtl::DropSilence);
    bind(c.longSilenceSeconds, MainCtl::LongSilenceSeconds);
    bind(c.setLongSilence, MainCtl::SetLongSilence);
    bind(c.silenceAction, MainCtl::SilenceAction);
    bind(c.keepBeforeSoundLabel, MainCtl::KeepBeforeSoundLabel);
    bind(c.keepBeforeSound, MainCtl::KeepBeforeSound);
    bind(c.soundMustLastLabel, MainCtl::SoundMustLastLabel);
    bind(c.soundMustLast, MainCtl::SoundMustLast);

    bind(c.savingGroup, MainCtl::SavingGroup);
    bind(c.savingToggle, MainCtl::SavingToggle);
    bind(c.recordFolder, MainCtl::RecordFolder);
    bind(c.browseRecordFolder, MainCtl::BrowseRecordFolder);
    bind(c.askForName, MainCtl::AskForName);
    bind(c.discardShort, MainCtl::DiscardShort);
    bind(c.shortRecordSeconds, MainCtl::ShortRecordSeconds);
    bind(c.setShortRecord, MainCtl::SetShortRecord);
    bind(c.encodingMethod, MainCtl::EncodingMethod);
    bind(c.quality, MainCtl::Quality);
    bind(c.qualityKbps, MainCtl::QualityKbps);

    bind(c.onlineHelp, MainCtl::OnlineHelp);
    bind(c.about, MainCtl::About);
    bind(c.panelToggle, MainCtl::PanelToggle);

    bind(c.playlist, MainCtl::Playlist);
    bind(c.playlistPlay, MainCtl::PlaylistPlay);
    bind(c.playlistStop, MainCtl::PlaylistStop);
    bind(c.playlistPause, MainCtl::PlaylistPause);
    bind(c.playlistPosition, MainCtl::PlaylistPosition);
    bind(c.loopPlaying, MainCtl::LoopPlaying);
    bind(c.playlistTime, MainCtl::PlaylistTime);
    bind(c.outputDevice, MainCtl::OutputDevice);
    bind(c.playbackVolume, MainCtl::PlaybackVolume);
}

} // namespace mireldo
