#pragma once

// What the recorder needs of a capture device's mixer: its recording sources as rows, which of
// them are selected, and the capture volume that goes with each.
//
// Threads: an implementation may restrict its callers to one thread (AlsaMixer: the window's).

#include <QString>

#include <optional>
#include <vector>

namespace mireldo::platform::audio {

/// How a mixer chooses the sources it records from.
enum class SourceSelection {
    None,  ///< no choice: every source records; the rows only show what is there
    Mixer, ///< each source on or off, several at once
    Mux,   ///< exactly one source at a time
};

/// A capture volume: its range and current value, in the mixer's own steps.
struct MixerVolume {
    long minimum = 0;
    long maximum = 0;
    long value = 0;
};

/// A device mixer's recording sources.
class RecordingMixer {
  public:
    virtual ~RecordingMixer() = default;

    /// How the sources are chosen.
    virtual SourceSelection selection() const = 0;
    /// The number of source rows.
    virtual int rowCount() const = 0;
    /// The name of row `row`; nothing when the mixer cannot give it.
    virtual std::optional<QString> rowName(int row) const = 0;
    /// The selected state of every row; nothing when it cannot be read.
    virtual std::optional<std::vector<bool>> readSelection() = 0;
    /// Selects the rows that are true and deselects the others; false when it failed.
    virtual bool writeSelection(const std::vector<bool>& selected) = 0;
    /// The capture volume that goes with `row`; nothing when there is none.
    virtual std::optional<MixerVolume> volume(int row) = 0;
    /// Sets the capture volume that goes with `row` on every channel; false when it failed.
    virtual bool setVolume(int row, long value) = 0;
};

} // namespace mireldo::platform::audio
