#pragma once

// Dialog templates: for each control of a dialog its id, kind, initial text and rectangle in
// client pixels. Windows are built from these tables, so code elsewhere refers to a control by
// the id the rest of the program uses, and the layout procedures (collapse, expand, rearrange)
// move controls by lists of ids.
//
// Threads: any thread; constant data.

#include <span>

namespace mireldo {

enum class ControlKind {
    GroupBox,   ///< titled frame around an area
    Label,      ///< static text
    TextBox,    ///< static text in a sunken frame, centred (position and length texts)
    StatusText, ///< the recorder's status line
    Button,     ///< push button with a text or a picture
    ToolButton, ///< small flat picture button (area toggles, About)
    CheckBox,
    ComboBox,   ///< drop-down list
    Edit,       ///< one-line edit field
    Slider,     ///< horizontal track bar
    ListBox,    ///< plain list
    CheckList,  ///< list with a check box per row
    Playlist,   ///< the playlist control
    Waveform,   ///< the live waveform scope
    LevelMeter, ///< the recorder's level meter
    SpinBox,    ///< a number with arrows (its range and unit are set by the wiring)
    Position,   ///< the playlist's position control
    Link,       ///< hyperlink label
};

/// Control flags.
inline constexpr unsigned kCtlHidden = 1u;   ///< not shown when the window is created
inline constexpr unsigned kCtlEndpoint = 2u; ///< part of the endpoint mode's layout only

/// Id of static controls nobody refers to.
inline constexpr int kStaticId = -1;

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text; ///< UTF-8; for ComboBox the rows, separated by '\n'
    int x, y, width, height;
    unsigned flags = 0;
};

struct DialogTemplate {
    int id;
    int width;  ///< client width with every area shown
    int height; ///< client height with every area expanded
    std::span<const ControlTemplate> controls;
};

/// Names of the main window's controls (template 102); the values are the template's ids.
enum class MainCtl : int {
    RecordingDeviceLabel = 1050, ///< "Recording device:"
    RecordingDevice = 1266,      ///< "Recording device:" list (ALSA mode)
    DeviceNotListed = 1071,      ///< the "Device not listed?" link (endpoint mode)
    OutputFormat = 1217,         ///< "Output format:" list
    RecordingSourceLabel = 1051, ///< "Recording source:"
    RecordingSources = 1268,     ///< the check list of the device's recording sources
    EndpointList = 1049,         ///< the sound server's capture sources (endpoint mode)
    ForceSelection = 1009,       ///< "Force selection"
    Advance = 1147,              ///< "Advance...": the desktop's input mixer
    RecordingVolumeLabel = 1053, ///< "Recording volume:" (endpoint mode)
    RecordingVolume = 1010,      ///< the recording-volume slider
    Mute = 1052,                 ///< "Mute" of the selected source (endpoint mode)
    PositionText = 1119,         ///< the position box
    Waveform = 1084,             ///< the live waveform
    LevelMeter = 1307,           ///< the level meter beside the live waveform
    LengthText = 1120,           ///< the length box
    RecordPosition = 1121,       ///< the record's position slider
    Home = 1122,                 ///< "<<"
    End = 1123,                  ///< ">>"
    Play = 103,                  ///< ">": plays the record
    Stop = 1022,                 ///< "S": stops
    Record = 1127,               ///< "R": records
    NewRecord = 1125,            ///< "New Record"
    CutHead = 1055,              ///< "Cut Head"
    CutTail = 1124,              ///< "Cut Tail"
    SaveRecord = 1116,           ///< "Save Record"
    OnlineHelp = 1091,           ///< "Online Help"
    StatusLine = 1008,           ///< the status line
    HealthLine = 1308,           ///< time left on the disk, overruns, a lost device
    About = 1013,                ///< the About button
    PanelToggle = 1007,          ///< shows or hides the playlist panel
    SilenceGroup = 1037,         ///< the "Silence detection" group
    SilenceToggle = 1018,        ///< collapses or expands the silence area
    NoiseLevelLabel = 1038,      ///< "Noise level:"
    NoiseLevel = 1033,           ///< the noise-level list
    MeasureNoise = 1303,         ///< "Measure": proposes a noise level for the input
    NoiseMeasured = 1304,        ///< the measured noise and the level proposed
    DropSilence = 1027,          ///< "Drop silence at start and end of a record"
    LongSilenceLabel = 1039,     ///< "Action at silence longer than"
    LongSilenceSeconds = 1031,   ///< the long-silence seconds
    SetLongSilence = 1032,       ///< "Set" for the long-silence seconds
    LongSilenceUnit = 1040,      ///< "seconds:"
    SilenceAction = 1030,        ///< the action at a long silence
    KeepBeforeSoundLabel = 1301, ///< "Keep before sound:"
    KeepBeforeSound = 1302,      ///< seconds of skipped silence kept before the sound
    SoundMustLastLabel = 1305,   ///< "Sound must last:"
    SoundMustLast = 1306,        ///< milliseconds sound must last to count
    SavingGroup = 1041,          ///< the "Saving settings" group
    SavingToggle = 1019,         ///< collapses or expands the saving area
    RecordFolderLabel = 1042,    ///< "Folder for saving records:"
    RecordFolder = 1001,         ///< the record folder
    BrowseRecordFolder = 1002,   ///< "..." beside the record folder
    AskForName = 1024,           ///< "Ask for a file name before saving a record"
    DiscardShort = 1034,         ///< "Discard records shorter than "
    ShortRecordSeconds = 1035,   ///< the short-record seconds
    SetShortRecord = 1036,       ///< "Set" for the short-record seconds
    ShortRecordUnit = 1043,      ///< "seconds"
    EncodingLabel = 1047,        ///< "Audio encoding method:"
    EncodingMethod = 1003,       ///< the encoding-method list
    QualityLabel = 1044,         ///< "Quality:"
    QualityLow = 1045,           ///< "L"
    Quality = 1004,              ///< the quality slider
    QualityHigh = 1046,          ///< "H"
    QualityKbps = 1017,          ///< the bit rate of the quality
    Playlist = 1011,             ///< the playlist
    PlaylistPlay = 104,          ///< the playlist's play button
    PlaylistStop = 1023,         ///< the playlist's stop button
    PlaylistPause = 1021,        ///< the playlist's pause button
    PlaylistPosition = 1015,     ///< the playlist's position control
    LoopPlaying = 1025,          ///< "Play selected music items looply"
    PlaylistTime = 1014,         ///< the playlist's time label
    PlaylistStatus = 1012,       ///< the playlist's status
    OutputDevice = 1028,         ///< the button that shows the output-device menu
    PlaybackVolume = 1016,       ///< the playing volume slider
    AdvertisingLine = 1026,      ///< the advertising line
};

/// Template 102, the main window.
const DialogTemplate& mainWindowTemplate();

/// The control of `tmpl` with `id`; nullptr when it has none (or `id` is kStaticId).
const ControlTemplate* findControl(const DialogTemplate& tmpl, int id);

} // namespace mireldo
