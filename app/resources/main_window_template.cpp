#include "dialog_templates.h"

#include <array>

namespace mireldo {

namespace {

using K = ControlKind;

// Left column (x 8..348): recording settings, the recorder, silence detection, saving
// settings. Right column (x 358..782): the playlist and, below it, its buttons and status.
// The controls below each collapsible area sit strictly lower than the area's group box, so
// collapsing an area can move them up by its height.
constexpr std::array kMainWindowControls{
    // Recording settings.
    ControlTemplate{kStaticId, K::GroupBox, "Recording settings", 8, 4, 340, 206},
    ControlTemplate{1050, K::Label, "Recording device:", 18, 28, 112, 20},
    ControlTemplate{1266, K::ComboBox, "", 134, 26, 204, 24},
    ControlTemplate{1071, K::Link, "Device not listed?", 134, 28, 204, 20,
                    kCtlHidden | kCtlEndpoint},
    ControlTemplate{kStaticId, K::Label, "Output format:", 18, 56, 112, 20},
    ControlTemplate{1217, K::ComboBox, "", 134, 54, 204, 24},
    ControlTemplate{1051, K::Label, "Recording source:", 18, 84, 112, 20},
    ControlTemplate{1268, K::CheckList, "", 134, 84, 204, 64},
    ControlTemplate{1049, K::ListBox, "", 18, 84, 320, 92, kCtlHidden | kCtlEndpoint},
    ControlTemplate{1009, K::CheckBox, "Force selection", 134, 152, 118, 22},
    ControlTemplate{1147, K::Button, "Advance...", 256, 151, 82, 25},
    ControlTemplate{1053, K::Label, "Recording volume:", 18, 182, 112, 20,
                    kCtlHidden | kCtlEndpoint},
    ControlTemplate{1010, K::Slider, "", 134, 181, 204, 22},
    ControlTemplate{1052, K::CheckBox, "Mute", 280, 181, 58, 22, kCtlHidden | kCtlEndpoint},

    // The recorder.
    ControlTemplate{1119, K::TextBox, "\nPosition:\n0:00:00.0", 8, 218, 82, 56},
    ControlTemplate{1084, K::Waveform, "", 94, 218, 130, 56},
    ControlTemplate{1307, K::LevelMeter, "", 228, 218, 36, 56},
    ControlTemplate{1120, K::TextBox, "\nLength:\n0:00:00.0", 268, 218, 80, 56},
    ControlTemplate{1121, K::Slider, "", 8, 278, 340, 22},
    ControlTemplate{1122, K::Button, "<<", 8, 304, 40, 30},
    ControlTemplate{1123, K::Button, ">>", 52, 304, 40, 30},
    ControlTemplate{103, K::Button, ">", 96, 304, 40, 30},
    ControlTemplate{1022, K::Button, "S", 140, 304, 40, 30},
    ControlTemplate{1127, K::Button, "R", 184, 304, 40, 30},
    ControlTemplate{1125, K::Button, "New Record", 232, 304, 116, 30},
    ControlTemplate{1055, K::Button, "Cut Head", 8, 338, 80, 26},
    ControlTemplate{1124, K::Button, "Cut Tail", 92, 338, 80, 26},
    ControlTemplate{1116, K::Button, "Save Record", 176, 338, 88, 26},
    ControlTemplate{1091, K::Button, "Online Help", 268, 338, 80, 26},
    ControlTemplate{1008, K::StatusText, "", 8, 370, 276, 20},
    ControlTemplate{1013, K::ToolButton, "?", 294, 368, 24, 24},
    ControlTemplate{1007, K::ToolButton, "", 322, 368, 26, 24},
    ControlTemplate{1308, K::Label, "", 8, 392, 340, 18},

    // Silence detection.
    ControlTemplate{1037, K::GroupBox, "Silence detection", 8, 414, 340, 220},
    ControlTemplate{1018, K::ToolButton, "", 320, 414, 22, 18},
    ControlTemplate{1038, K::Label, "Noise level:", 18, 440, 76, 20},
    ControlTemplate{1033, K::ComboBox,
                    "1, Applied to mixer out\n2, Microphone, silent environment\n"
                    "3, Microphone, open environment\n4, Microphone, noisy environment\n"
                    "5, Microphone, very noisy",
                    98, 438, 240, 24},
    ControlTemplate{1303, K::Button, "Measure", 98, 466, 72, 24},
    ControlTemplate{1304, K::Label, "", 176, 468, 162, 20},
    ControlTemplate{1027, K::CheckBox, "Drop silence at start and end of a record", 18, 494, 320,
                    22},
    ControlTemplate{1039, K::Label, "Action at silence longer than", 18, 521, 186, 20},
    ControlTemplate{1031, K::Edit, "", 206, 519, 30, 24},
    ControlTemplate{1032, K::Button, "Set", 240, 519, 40, 24},
    ControlTemplate{1040, K::Label, "seconds:", 284, 521, 54, 20},
    ControlTemplate{1030, K::ComboBox,
                    "No action\nPause recording, continue at non-silent voice\n"
                    "Complete & save recordings, create a record\n"
                    "Stop recording, wait for manual operation\nStop recording, save a record",
                    18, 546, 320, 24},
    ControlTemplate{1301, K::Label, "Keep before sound:", 18, 578, 122, 20},
    ControlTemplate{1302, K::SpinBox, "", 142, 576, 72, 24},
    ControlTemplate{1305, K::Label, "Sound must last:", 18, 606, 122, 20},
    ControlTemplate{1306, K::SpinBox, "", 142, 604, 72, 24},

    // Saving settings.
    ControlTemplate{1041, K::GroupBox, "Saving settings", 8, 640, 340, 186},
    ControlTemplate{1019, K::ToolButton, "", 320, 640, 22, 18},
    ControlTemplate{1042, K::Label, "Folder for saving records:", 18, 664, 320, 20},
    ControlTemplate{1001, K::Edit, "", 18, 686, 284, 24},
    ControlTemplate{1002, K::Button, "...", 306, 686, 32, 24},
    ControlTemplate{1024, K::CheckBox, "Ask for a file name before saving a record", 18, 714, 320,
                    22},
    ControlTemplate{1034, K::CheckBox, "Discard records shorter than ", 18, 741, 202, 22},
    ControlTemplate{1035, K::Edit, "", 222, 740, 28, 24},
    ControlTemplate{1036, K::Button, "Set", 253, 740, 34, 24},
    ControlTemplate{1043, K::Label, "seconds", 290, 742, 48, 20},
    ControlTemplate{1047, K::Label, "Audio encoding method:", 18, 770, 150, 20},
    ControlTemplate{1003, K::ComboBox, "MP3\nWMA\nOGG Vorbis\nWAV (no compression)", 172, 768, 166,
                    24},
    ControlTemplate{1044, K::Label, "Quality:", 18, 798, 56, 20},
    ControlTemplate{1045, K::Label, "L", 76, 798, 12, 20},
    ControlTemplate{1004, K::Slider, "", 90, 797, 170, 22},
    ControlTemplate{1046, K::Label, "H", 262, 798, 12, 20},
    ControlTemplate{1017, K::Label, "128 kbps", 278, 798, 60, 20},

    // Playlist panel.
    ControlTemplate{1011, K::Playlist, "", 358, 10, 424, 704},
    ControlTemplate{104, K::ToolButton, "", 358, 720, 30, 30},
    ControlTemplate{1023, K::ToolButton, "", 392, 720, 30, 30},
    ControlTemplate{1021, K::ToolButton, "", 426, 720, 30, 30},
    ControlTemplate{1015, K::Position, "", 462, 724, 320, 22},
    ControlTemplate{1025, K::CheckBox, "Play selected music items looply", 362, 756, 236, 22},
    ControlTemplate{1014, K::Label, "00:00:00 / 00:00:00", 602, 757, 180, 20},
    ControlTemplate{1012, K::Label, "", 362, 785, 216, 20},
    ControlTemplate{1028, K::ToolButton, "", 584, 782, 30, 26},
    ControlTemplate{1016, K::Slider, "", 618, 784, 164, 22},
    ControlTemplate{1026, K::Label, "", 362, 808, 420, 18},
};

constexpr DialogTemplate kMainWindow{102, 790, 834, kMainWindowControls};

} // namespace

const DialogTemplate& mainWindowTemplate() {
    return kMainWindow;
}

const ControlTemplate* findControl(const DialogTemplate& tmpl, int id) {
    if (id == kStaticId) {
        return nullptr;
    }
    for (const ControlTemplate& c : tmpl.controls) {
        if (c.id == id) {
            return &c;
        }
    }
    return nullptr;
}

} // namespace mireldo
