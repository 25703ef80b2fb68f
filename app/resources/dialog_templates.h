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
    RecordingDevice = 1266,      ///< "Recording device:" list (ALSA mode)
    RecordingSourceLabel = 1051, ///< "Recording source:"
    RecordingSources = 1268,     ///< the check list of the device's recording sources
    ForceSelection = 1009,       ///< "Force selection"
    Advance = 1147,              ///< "Advance...": the desktop's input mixer
    RecordingVolume = 1010,      ///< the recording-volume slider
    EndpointList = 1049,         ///< the sound server's capture sources (endpoint mode)
    Mute = 1052,                 ///< "Mute" of the selected source (endpoint mode)
    RecordingVolumeLabel = 1053, ///< "Recording volume:" (endpoint mode)
    DeviceNotListed = 1071,      ///< the "Device not listed?" link (endpoint mode)
    OutputDevice = 1028,         ///< the button that shows the output-device menu
};

/// Template 102, the main window.
const DialogTemplate& mainWindowTemplate();

/// The control of `tmpl` with `id`; nullptr when it has none (or `id` is kStaticId).
const ControlTemplate* findControl(const DialogTemplate& tmpl, int id);

} // namespace mireldo
