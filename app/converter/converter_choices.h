#pragma once

// What a converter job is asked to make: the four lists of choices (output type, sample rate,
// channels, bit rate) with the values their positions stand for, the stored "History"
// settings with their clamping, the time-range text of a row and the naming of outputs.
//
// Threads: any thread; nothing here keeps state.

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace mireldo::platform {
class ProfileStore;
}

namespace mireldo::converter {

/// Output types in list order: MP3, WAV, OGG, WMA.
inline constexpr int kTypeCount = 4;
/// Sample-rate list: position 0 keeps the source's rate.
inline constexpr std::array<std::uint32_t, 7> kRateChoices{0,     16000, 22050, 24000,
                                                           32000, 44100, 48000};
/// Bit-rate list in kbit/s, in list order.
inline constexpr std::array<std::uint32_t, 16> kBitrateChoices{
    320, 256, 224, 192, 160, 128, 112, 96, 80, 64, 56, 48, 40, 32, 16, 8};

/// The encoder table slot of output type `typeIndex` (0..3).
int encoderSlotOfType(int typeIndex);
/// The extension of output type `typeIndex` with its dot (".mp3", ".wav", ".ogg", ".wma").
QString extensionOfType(int typeIndex);

/// The settings a job runs with, as the dialog holds them.
struct ConverterChoices {
    QString destination;  ///< file or folder, at most 512 characters
    int typeIndex = 0;    ///< 0..3
    int rateIndex = 0;    ///< 0..6
    int channelIndex = 0; ///< 0..2
    int bitrateIndex = 5; ///< 0..15 (128 kbit/s)

    /// Output rate for a source of `sourceRate` Hz.
    std::uint32_t outputRate(std::uint32_t sourceRate) const;
    /// Output channel count for a source of `sourceChannels` channels.
    int outputChannels(int sourceChannels) const;
    std::uint32_t bitrate() const;
};

/// Reads the five settings from section "History", each index clamped to its list.
ConverterChoices loadChoices(const platform::ProfileStore& store);
/// Writes the five settings to section "History".
void saveChoices(platform::ProfileStore& store, const ConverterChoices& choices);

/// A time range of a source in seconds; start == end == 0 is the entire file.
struct TimeRange {
    float start = 0;
    float end = 0;
    bool entire() const { return start == 0 && end == 0; }
};

/// The eight fields of a range text: start h, m, s, tenths, end h, m, s, tenths.
using RangeFields = std::array<int, 8>;

/// The row text of an entire file: "entire file".
QString entireFileText();
/// "%d:%02d:%02d.%d-%d:%02d:%02d.%d" of `fields`.
QString rangeText(const RangeFields& fields);
/// The eight numbers of a range text; nothing when the text does not hold them.
std::optional<RangeFields> parseRangeText(const QString& text);
/// Seconds of h, m, s, tenths: h x 3600 + m x 60 + s + tenths x 0.1.
float secondsOf(int hours, int minutes, int seconds, int tenths);
/// The range a row's text stands for: "entire file" (or unreadable text) is the entire file.
TimeRange rangeOfText(const QString& text);

/// How outputs are named from the destination.
enum class DestinationKind {
    /// One source or a merge: the destination names the output file.
    File,
    /// Several sources without merge: the destination is a folder.
    Folder,
};

/// The output path for `sourcePath`. A file destination loses a trailing ".mp3", ".wav",
/// ".ogg" or ".wma" (any letter case) and gains the output type's extension; a folder
/// destination gets '/' (unless it ends with one) and the source's file name with its
/// extension replaced.
QString outputPath(const QString& destination, DestinationKind kind, const QString& sourcePath,
                   int typeIndex);

/// The folder part of a path (up to, not including, its last '/').
QString folderOf(const QString& path);
/// The file name part of a path (after its last '/').
QString fileNameOf(const QString& path);

} // namespace mireldo::converter
