#pragma once

// Fixtures of the converter tests: WAV sources written by the tests, the encoder table of the
// build, decoding outputs back through the decoder library and durations from ffprobe.

#include "encoder_table.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace convtest {

/// Writes a 16-bit (or 8-bit) WAV of `frames` frames of a deterministic tone; returns its path.
std::string writeTone(const std::string& path, std::uint32_t rate, int channels,
                      std::uint32_t frames, int bits = 16);

/// A file's PCM as the decoder hands it out.
struct Decoded {
    bool ok = false;
    std::uint32_t rate = 0;
    int channels = 0;
    int bits = 0;
    std::vector<std::int16_t> samples; ///< 16-bit sources only
    std::uint32_t frames = 0;
};
Decoded decodeAll(const std::string& path);

/// Duration in seconds that ffprobe reads from the decoded stream; negative on failure.
double probeSeconds(const std::string& path);

/// The encoder table loaded from the build's bin folder.
mireldo::encoders::EncoderTable& builtTable();

/// Names in `folder` that start with '.' (temporary outputs left behind).
std::vector<std::string> hiddenFiles(const std::string& folder);

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace convtest
