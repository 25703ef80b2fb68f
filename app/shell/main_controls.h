#pragma once

// The main window's controls as typed members, looked up once by name when the window has
// built them from its template. The code of the window and its wiring reaches a control
// through these members; control(MainCtl) stays for the template's geometry work (moving and
// hiding whole areas) and for tests.
//
// Threads: the user-interface thread only. The pointers are children of the window and live
// as long as it does.

#include "dialog_templates.h"

#include <functional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QToolButton;
class QWidget;

namespace mireldo {

namespace playlist {
class CPlayListBox;
}
namespace ui {
class CLinkLabel;
class CPositionControl;
class CTextList;
class CTimeLabel;
} // namespace ui
namespace waveform {
class CLevelMeter;
class CWaveformScope;
} // namespace waveform

struct MainControls {
    // Recording settings.
    QComboBox* recordingDevice = nullptr; ///< the device list (ALSA mode)
    QComboBox* outputFormat = nullptr;    ///< rate, bits and channels of a record
    QLabel* recordingSourceLabel = nullptr;
    QListWidget* recordingSources = nullptr; ///< the device's sources, checkable (ALSA mode)
    ui::CTextList* endpointList = nullptr;   ///< the sound server's sources (endpoint mode)
    ui::CLinkLabel* deviceNotListed = nullptr;
    QCheckBox* forceSelection = nullptr;
    QPushButton* advance = nullptr; ///< opens the desktop's input mixer
    QLabel* recordingVolumeLabel = nullptr;
    QSlider* recordingVolume = nullptr;
    QCheckBox* mute = nullptr;

    // The recorder.
    QLabel* positionText = nullptr;
    QLabel* lengthText = nullptr;
    QSlider* recordPosition = nullptr;
    waveform::CWaveformScope* waveform = nullptr;
    waveform::CLevelMeter* levelMeter = nullptr;
    QAbstractButton* home = nullptr;
    QAbstractButton* end = nullptr;
    QAbstractButton* play = nullptr;
    QAbstractButton* stop = nullptr;
    QAbstractButton* record = nullptr;
    QAbstractButton* newRecord = nullptr;
    QAbstractButton* cutHead = nullptr;
    QAbstractButton* cutTail = nullptr;
    QAbstractButton* saveRecord = nullptr;
    QLabel* statusLine = nullptr;
    QLabel* healthLine = nullptr;

    // Silence detection.
    QGroupBox* silenceGroup = nullptr;
    QToolButton* silenceToggle = nullptr;
    QComboBox* noiseLevel = nullptr;
    QPushButton* measureNoise = nullptr;
    QLabel* noiseMeasured = nullptr;
    QCheckBox* dropSilence = nullptr;
    QLineEdit* longSilenceSeconds = nullptr;
    QAbstractButton* setLongSilence = nullptr;
    QComboBox* silenceAction = nullptr;
    QLabel* keepBeforeSoundLabel = nullptr;
    QDoubleSpinBox* keepBeforeSound = nullptr;
    QLabel* soundMustLastLabel = nullptr;
    QDoubleSpinBox* soundMustLast = nullptr;

    // Saving.
    QGroupBox* savingGroup = nullptr;
    QToolButton* savingToggle = nullptr;
    QLineEdit* recordFolder = nullptr;
    QPushButton* browseRecordFolder = nullptr;
    QCheckBox* askForName = nullptr;
    QCheckBox* discardShort = nullptr;
    QLineEdit* shortRecordSeconds = nullptr;
    QAbstractButton* setShortRecord = nullptr;
    QComboBox* encodingMethod = nullptr;
    QSlider* quality = nullptr;
    QLabel* qualityKbps = nullptr;

    // The window's own buttons.
    QPushButton* onlineHelp = nullptr;
    QToolButton* about = nullptr;
    QToolButton* panelToggle = nullptr;

    // The playlist panel.
    playlist::CPlayListBox* playlist = nullptr;
    QAbstractButton* playlistPlay = nullptr;
    QAbstractButton* playlistStop = nullptr;
    QAbstractButton* playlistPause = nullptr;
    ui::CPositionControl* playlistPosition = nullptr;
    QCheckBox* loopPlaying = nullptr;
    ui::CTimeLabel* playlistTime = nullptr;
    QAbstractButton* outputDevice = nullptr;
    QSlider* playbackVolume = nullptr;
};

/// Fills every member of `controls` through `lookup` (the window's control by name). A control
/// the template lacks, or one of another class, is a fault of the program: it stops with a
/// message naming the control's id rather than leave a member null.
void bindMainControls(MainControls& controls, const std::function<QWidget*(MainCtl)>& lookup);

} // namespace mireldo
