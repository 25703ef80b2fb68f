#pragma once

// The WAV files of the virtual devices: the header the output keeps current as it appends, and
// where the input finds the PCM of the file it reads.
//
// Threads: any thread; no shared state.

#include "wav_header.h"
#include "wave_types.h"

#include <array>
#include <cstdint>

namespace mireldo::platform::audio::virtual_device {

inline constexpr std::uint32_t kWavHeaderBytes = common::kWavHeaderBytes;
/// Largest data chunk a canonical WAV header can describe.
inline constexpr std::uint64_t kMaxWavData = common::kMaxWavDataBytes;

/// The canonical 44-byte header of a file holding `dataBytes` bytes of PCM in format `f`.
std::array<std::uint8_t, kWavHeaderBytes> wavHeader(const PcmFormat& f, std::uint32_t dataBytes);

/// Where the PCM of a WAV file lies and what it is; found by walking the RIFF chunks.
struct WavLayout {
    PcmFormat format;
    std::uint64_t dataOffset = 0; ///< bytes from the start of the file
    std::uint64_t dataBytes = 0;  ///< whole frames only
};

/// Reads the layout of the integer-PCM WAV file open on `fd` (read with pread; the file offset
/// is left alone). False when it is not one.
bool readWavLayout(int fd, WavLayout& out);

} // namespace mireldo::platform::audio::virtual_device
