#pragma once

// Records and codes shared by the wave output and input devices: the buffer header handed to
// a device, its flags, the result codes of device operations and the PCM format a device is
// opened with.
//
// Threads: plain data. A header belongs to the device from write()/addBuffer() until the
// device posts it back (MM_WOM_DONE / MM_WIM_DATA, carrying a WaveBufferDone) or reset()
// returns; the owner must not touch it in between.

#include <atomic>
#include <cstdint>
#include <iosfwd>

namespace mireldo::platform::audio {

/// Result of a device operation. Stays inside the program: nothing stores or reports the
/// value as a number.
enum class DeviceError : std::uint8_t {
    None,          ///< success
    Failed,        ///< failed for a reason none of the others names
    BadDeviceId,   ///< no device at that index
    Allocated,     ///< the device is in use by another program
    InvalidHandle, ///< the device is closed
    NoDriver,      ///< the device or its source cannot be opened
    NoMemory,      ///< out of memory
    InvalidParam,  ///< a header without data, or a length that is not whole frames
    BadFormat,     ///< the device does not take this PCM format
    StillPlaying,  ///< the header is still held by a device
    Unprepared,    ///< the header was not prepared
};

/// Writes the name of `error` (for test and log messages).
std::ostream& operator<<(std::ostream& out, DeviceError error);

/// Device index that names the system's default device.
inline constexpr int WAVE_MAPPER = -1;

/// Header flags.
inline constexpr std::uint32_t WHDR_DONE = 0x01;      ///< the device has handed the buffer back
inline constexpr std::uint32_t WHDR_PREPARED = 0x02;  ///< prepared for a device
inline constexpr std::uint32_t WHDR_BEGINLOOP = 0x04; ///< first buffer of a loop
inline constexpr std::uint32_t WHDR_ENDLOOP = 0x08;   ///< last buffer of a loop
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;   ///< held by a device
/// Set on the capture buffer that carries the last bytes of a finite input (the virtual
/// input's WAV file); nothing more will be captured.
inline constexpr std::uint32_t WHDR_ENDOFINPUT = 0x00010000;

/// A buffer header, as handed to a device. The data block belongs to the owner.
struct WaveHeader {
    char* data = nullptr;            ///< the audio bytes
    std::uint32_t bufferLength = 0;  ///< bytes of audio (output) or room (input)
    std::uint32_t bytesRecorded = 0; ///< input: bytes captured into data
    std::uintptr_t user = 0;         ///< the owner's word; devices never touch it
    std::uint32_t flags = 0;         ///< WHDR_* flags
};

/// The payload of MM_WOM_DONE and MM_WIM_DATA: `device` has handed `header` back to its owner.
struct WaveBufferDone {
    /// The WaveOut or WaveIn that held the buffer; for comparing with the owner's device only
    /// (it may be closed by the time the owner reads this).
    const void* device = nullptr;
    WaveHeader* header = nullptr;
};

/// Integer PCM: 8-bit unsigned or 16-bit signed little-endian, channels interleaved.
struct PcmFormat {
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;

    std::uint32_t blockAlign() const { return std::uint32_t{channels} * bitsPerSample / 8; }
    /// True for what the devices accept: 1 or 2 channels, 8 or 16 bits, 1 Hz to 384 kHz.
    bool valid() const {
        return (channels == 1 || channels == 2) && (bitsPerSample == 8 || bitsPerSample == 16) &&
               sampleRate >= 1 && sampleRate <= 384000;
    }
    friend bool operator==(const PcmFormat&, const PcmFormat&) = default;
};

/// The flags of `header`, read while a device may be setting them (any thread).
inline std::uint32_t headerFlags(const WaveHeader& header) {
    return std::atomic_ref(const_cast<std::uint32_t&>(header.flags))
        .load(std::memory_order_acquire);
}
/// Sets the flags of `header` so that headerFlags() on another thread sees them whole.
inline void setHeaderFlags(WaveHeader& header, std::uint32_t flags) {
    std::atomic_ref(header.flags).store(flags, std::memory_order_release);
}

/// Marks a header prepared. Fails (DeviceError::InvalidParam) without data. Owner's thread.
DeviceError prepareHeader(WaveHeader& header);
/// Clears the prepared flag; DeviceError::StillPlaying while a device holds the buffer.
DeviceError unprepareHeader(WaveHeader& header);

} // namespace mireldo::platform::audio
