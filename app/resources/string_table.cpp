#include "string_table.h"

#include <algorithm>
#include <array>

namespace mireldo {

namespace {

// Sorted by id; a test checks the order and that no id appears twice.
constexpr std::array kStrings{
    // Main window: system menu.
    StringEntry{101, "&About Mireldo..."},
    // Audio converter: result texts of a row.
    StringEntry{169, "Convert OK"},
    StringEntry{170, "Failed"},
    StringEntry{174, "Skipped"},
    StringEntry{175, "Fail to read"},
    StringEntry{176, "Fail to write"},
    StringEntry{177, "Canceled"},
    StringEntry{178, "The encoder was not loaded correctly!"},
    // Mail sending results.
    StringEntry{328, "Error: Ambiguous Recipient!"},
    StringEntry{329, "Error: Unknown Recipient!"},
    StringEntry{330, "Error: Mail Failure!"},
    StringEntry{331, "Error: Insufficient memory!"},
    StringEntry{332, "Error: Login failure!"},
    StringEntry{333, "Error: Mail not supported!"},
    StringEntry{334, "Error: User Abort!"},
    StringEntry{335, "Error: Attachment file not found!"},
    StringEntry{336, "Error: Attachment file open failure!"},
    StringEntry{337, "Error: Bad recipient type!"},
    StringEntry{338, "Error: Invalid recipients!"},
    StringEntry{339, "Error: Message text is too large!"},
    StringEntry{341, "Error: Too many recipients!"},
    StringEntry{342, "Error: Invalid session!"},
    StringEntry{343, "Error: Unknown Error!"},
    // Recorder.
    StringEntry{363, "Please stop recording before exit!"},
    StringEntry{364, "Save modifications made to the current record?"},
    StringEntry{365,
                "Fail to open the audio recording device!\nPlease ensure the device is enabled "
                "and audio lines are connected."},
    StringEntry{366, "Fail to create a file for audio recording!"},
    // Main window tooltips.
    StringEntry{369, "Playing/recording position"},
    StringEntry{370, "Audio waveform"},
    StringEntry{371, "Record length"},
    StringEntry{372, "Home"},
    StringEntry{373, "End"},
    StringEntry{374, "Begin playing"},
    StringEntry{375, "Begin recording"},
    StringEntry{376, "Create a new record"},
    StringEntry{377, "Clear after current position"},
    StringEntry{378, "Save recording"},
    StringEntry{380, "Stop playing/recording"},
    // Playing and saving.
    StringEntry{381, "Failed to open the audio device."},
    StringEntry{382, "Failed to save file."},
    StringEntry{392, "Can not play sound."},
    // Progress of a long operation.
    StringEntry{426, "%d%% done, time remaining: %02d mins %02d secs"},
    StringEntry{432, "Compressing audio data...."},
    // Playlist panel tooltips.
    StringEntry{433, "Play selected items"},
    StringEntry{434, "Pause/continue playing"},
    StringEntry{435, "Stop playing"},
    StringEntry{436, "Hide playlist"},
    StringEntry{437, "Show playlist"},
    // Recording settings tooltips.
    StringEntry{440, "Recording volume"},
    StringEntry{441, "Check it to prevent other applications from changing recording source"},
    StringEntry{442, "Error: Too many attachment files!"},
    StringEntry{444, "Show system Recording Control window"},
    // Saving settings.
    StringEntry{470, "Choose a folder to save records:"},
    StringEntry{472, "Collapse silence detection area"},
    StringEntry{473, "Expend silence detection area"},
    StringEntry{474, "Collapse saving settings area"},
    StringEntry{475, "Expand saving settings area"},
    StringEntry{477, "About Mireldo"},
    StringEntry{478, "Help on the website"},
    StringEntry{480, "Recording stopped due to low disk space on disk %s."},
    StringEntry{483, "Device audio format not  supported.\n\nBits Depth: %d, Channels: %d, Sample "
                     "rate: %d, Tag: %d"},
    StringEntry{484, "Are you sure to cut out data after time %03d:%02d.%d ?"},
    StringEntry{485, "Are you sure to cut out data before time %03d:%02d.%d ?"},
    // Recorder status line.
    StringEntry{489, "Ready to record"},
    StringEntry{490, "Wait for non-silence"},
    StringEntry{491, "Recording ..."},
    StringEntry{492, "Recording paused"},
    StringEntry{493, "Saving, please wait ..."},
    StringEntry{494, "A filename can not include following characters:\n\n      "
                     "\\  /  :  *  ?  \"\"  <  >  |"},
    StringEntry{497, "Choose audio playing device"},
    StringEntry{498, "Default Audio Output Device"},
    StringEntry{499, "Playing volume"},
    // Start-up: records found in the temporary folder after an abnormal end.
    StringEntry{600, "Mireldo did not end normally last time. These records were recovered "
                     "and saved:\n\n%1"},
    StringEntry{601, "These unfinished records could not be moved out of the temporary folder "
                     "and were left there:\n\n%1"},
    // Recording settings in ALSA mode: a source whose name the mixer cannot give, and
    // "Advance..." when no mixer program is installed.
    StringEntry{602, "Error getting name."},
    StringEntry{603, "No mixer program was found. Install pavucontrol or alsa-utils."},
    // Endpoint capture: the recorder fell so far behind that the sound device's buffer
    // overflowed; %1 is the audio lost so far, in seconds.
    StringEntry{610, "Recording fell behind the sound device: %1 seconds of audio were lost."},
    // Voice-activated recording: the silence area's "Keep before sound", "Sound must last" and
    // "Measure", the noise measurement's result (%1 the measure, %2 the proposed level as the
    // list shows it), the health line (%1 h:mm, %1 a count) and the level meter's tooltip.
    StringEntry{620, "Keep before sound:"},
    StringEntry{621, "Sound must last:"},
    StringEntry{622, "Measure"},
    StringEntry{623, "Listen to the input for three seconds and choose the noise level that "
                     "treats its background noise as silence"},
    StringEntry{624, "Measuring..."},
    StringEntry{625, "Noise %1: level %2"},
    StringEntry{626, "The input could not be measured."},
    StringEntry{627, "%1 left"},
    StringEntry{628, "Overruns: %1"},
    StringEntry{629, "Device lost"},
    StringEntry{630, "Peak and RMS level of each channel (dBFS). The lamp on top stays lit after "
                     "a sample reached full scale; click to reset it."},
    StringEntry{631, " s"},
    StringEntry{632, " ms"},
    StringEntry{633, "How much of the silence before the sound each record keeps"},
    StringEntry{634, "Sound shorter than this counts as silence (a click starts nothing)"},
    // Tag editing: messages, the two dialogs' captions, labels and buttons.
    StringEntry{650, "Fail to open the file for editing."},
    StringEntry{651, "Failed to read tag information from the file!"},
    StringEntry{652, "Can not modify tag information!"},
    StringEntry{653, "Failed to modify tag information!"},
    StringEntry{654, "Mp3 Tag Information"},
    StringEntry{655, "WMA Tag Information"},
    StringEntry{656, "Title:"},
    StringEntry{657, "Artist:"},
    StringEntry{658, "Album:"},
    StringEntry{659, "Genre:"},
    StringEntry{660, "Track number:"},
    StringEntry{661, "Release year:"},
    StringEntry{662, "Comments:"},
    StringEntry{663, "File name:"},
    StringEntry{664, "Update"},
    StringEntry{665, "Cancel"},
    // Audio converter and merger: the dialog's caption, column headings, list entries,
    // checks, buttons, labels and messages (700-756), then the "Time range" dialog (757-762)
    // and a source that cannot be read (763). The bit-rate texts keep their uneven spacing.
    StringEntry{700, "Audio Convertor / Merger"},
    StringEntry{701, "Path"},
    StringEntry{702, "File name"},
    StringEntry{703, "Time range"},
    StringEntry{704, "Status"},
    StringEntry{705, "Converting..."},
    StringEntry{706, "MP3 File Type"},
    StringEntry{707, "WAV File Type"},
    StringEntry{708, "OGG File Type"},
    StringEntry{709, "WMA File Type"},
    StringEntry{710, "Keep it unchanged"},
    StringEntry{711, "16000 Hz"},
    StringEntry{712, "22050 Hz"},
    StringEntry{713, "24000 Hz"},
    StringEntry{714, "32000 Hz"},
    StringEntry{715, "44100 Hz"},
    StringEntry{716, "48000 Hz"},
    StringEntry{717, "Keep it unchanged"},
    StringEntry{718, "1, Mono"},
    StringEntry{719, "2, Stereo"},
    StringEntry{720, "320 Kbps"},
    StringEntry{721, "256 Kbps"},
    StringEntry{722, "224 Kbps"},
    StringEntry{723, "192 Kbps"},
    StringEntry{724, "160 Kbps"},
    StringEntry{725, "128 kbps"},
    StringEntry{726, "112 Kbps"},
    StringEntry{727, "96  Kbps"},
    StringEntry{728, "80  Kbps"},
    StringEntry{729, "64  kbps"},
    StringEntry{730, "56  Kbps"},
    StringEntry{731, "48  Kbps"},
    StringEntry{732, "40  Kbps"},
    StringEntry{733, "32  Kbps"},
    StringEntry{734, "16  Kbps"},
    StringEntry{735, "8   Kbps"},
    StringEntry{736, "Skip a file if the destination file exists"},
    StringEntry{737, "Merge to one file"},
    StringEntry{738, "Add..."},
    StringEntry{739, "Remove"},
    StringEntry{740, "Remove all"},
    StringEntry{741, "Set time range"},
    StringEntry{742, "..."},
    StringEntry{743, "Convert"},
    StringEntry{744, "Cancel"},
    StringEntry{745, "Converting:"},
    StringEntry{746, "Destination file or folder:"},
    StringEntry{747, "Output file type:"},
    StringEntry{748, "Sample rate:"},
    StringEntry{749, "Channel number:"},
    StringEntry{750, "Bit rate:"},
    StringEntry{751, "No source file was specified."},
    StringEntry{752, "No destination file or directory was specified."},
    StringEntry{753, "Converting completed. %1 files converted successfully."},
    StringEntry{754, "Converting completed. %1 files converted successfully. Add the output "
                     "file(s) to playlist?"},
    StringEntry{755, "Choose a folder to save converted files."},
    StringEntry{756, "Audio Files (*.mp3 *.wma *.ogg *.wav)|*.mp3;*.wma;*.ogg;*.wav|"
                     "MP3 Files (*.mp3)|*.mp3|WMA Files (*.wma)|*.wma|"
                     "OGG Files (*.ogg)|*.ogg|WAV Files (*.wav)|*.wav||"},
    StringEntry{757, "Time range"},
    StringEntry{758, "Entire audio file"},
    StringEntry{759, "Start time:"},
    StringEntry{760, "End time:"},
    StringEntry{761, "Start time can not be larger than end time."},
    StringEntry{762, "OK"},
    StringEntry{763, "Failed to read from the audio file. The file might be damaged."},
    // The framework's prompt for an integer field.
    StringEntry{800, "No item was selected."},
    StringEntry{801, "Too many items. You can add a maximum of %1 items into the list."},
    StringEntry{802, "You can not delete items which is being played."},
    StringEntry{803, "You can not edit an item which is being played."},
    StringEntry{804, "Can not play. The item is being loaded. Please try later."},
    StringEntry{805, "Can not play. The item is not loaded correctly."},
    StringEntry{806, "Play: %1"},
    StringEntry{807, "Ready"},
    StringEntry{808, "Could not copy \"%1\": %2"},
    StringEntry{809, "Could not rename \"%1\": %2"},
    StringEntry{810, "Could not delete \"%1\": %2"},
    StringEntry{811, "The playlist file \"%1\" is not a list this version can read. It has been "
                     "kept as \"%2\" and a new list has been started."},
    StringEntry{812, "The playlist file \"%1\" could not be read: %2. It is left as it is, and "
                     "changes to the list will not be saved."},
    StringEntry{
        813,
        "The playlist file \"%1\" is not a list this version can read, and it could not be kept as "
        "a backup: %2. It is left as it is, and changes to the list will not be saved."},
    StringEntry{814, "The playlist file \"%1\" is in use by another Mireldo window. Changes to the "
                     "list will not be saved."},
    StringEntry{815, "the Mireldo window owns the list \"%1\" while it runs; add or remove items "
                     "there, or close the window first"},
    StringEntry{
        816,
        "Audio Files (*.mp3; *.wma; *.ogg; *.wav)|*.mp3; *.wma; *.ogg; *.wav|MP3 Files "
        "(*.mp3)|*.mp3|WMA Files (*.wma)|*.wma|OGG Files (*.ogg)|*.ogg|WAVE Files (*.wav)|*.wav||"},
    StringEntry{817, "All audio files (*.wav, *.mp3, *.wma, *.ogg) in the selected folder will be "
                     "added to the list."},
    StringEntry{818, "Choose a folder to save files."},
    StringEntry{819, "Audio Files (*%1)|*%1||"},
    StringEntry{820, "mono"},
    StringEntry{821, "stereo"},
    StringEntry{822, "%1 channels"},
    StringEntry{823, "Loading pending"},
    StringEntry{824, "Loading..."},
    StringEntry{825, "Loading failed: File not found."},
    StringEntry{826, "Loading failed: Sharing voilation"},
    StringEntry{827, "Loading failed: Can not open file."},
    StringEntry{828, "Loading failed: The file might be corrupted."},
    StringEntry{829, "Loading failed: File format is not recognized."},
    StringEntry{830, "Loading failed: Call records can not be loaded here."},
    StringEntry{831, "Loading failed: Need media player 10+"},
    StringEntry{832, "Loading failed: Unknown errors occurred."},
    StringEntry{833, "Homepage:"},
    StringEntry{834, "Support:"},
    StringEntry{835, "Recording Failed"},
    StringEntry{836, "Fail to open the audio recording device! Please ensure the device is enabled "
                     "and audio lines are connected."},
    StringEntry{837, "Online Help"},
    StringEntry{838, "Remove Items"},
    StringEntry{839, "Remove %1 items from the list?"},
    StringEntry{840, "Also delete files from disk"},
    StringEntry{841, "Yes"},
    StringEntry{842, "No"},
    StringEntry{843, "Rename a File"},
    StringEntry{844, "Old file name:"},
    StringEntry{845, "New file name:"},
    StringEntry{846, "No need to enter path and extension."},
    StringEntry{61712, "Please enter an integer."},
};

constexpr bool sortedById() {
    for (std::size_t i = 1; i < kStrings.size(); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(sortedById(), "string table must be sorted by id without duplicates");

const StringEntry* find(int id) {
    const auto it = std::lower_bound(kStrings.begin(), kStrings.end(), id,
                                     [](const StringEntry& e, int key) { return e.id < key; });
    return (it != kStrings.end() && it->id == id) ? &*it : nullptr;
}

} // namespace

std::span<const StringEntry> stringTable() {
    return kStrings;
}

QString loadString(int id) {
    const StringEntry* entry = find(id);
    return entry != nullptr ? QString::fromUtf8(entry->text) : QString();
}

bool hasString(int id) {
    return find(id) != nullptr;
}

} // namespace mireldo
