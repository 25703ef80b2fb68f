#pragma once

// Messages of the player engine's hidden window and the record PLAYER_MSG_PLAY carries.

#include "audio/wave_out.h"
#include "messages.h"
#include "sondrel.h"

#include <cstdint>

namespace mireldo::playback {

/// Starts playing; carries a PlayRequest.
inline constexpr std::uint32_t PLAYER_MSG_PLAY = platform::WM_USER + 1;
inline constexpr std::uint32_t PLAYER_MSG_PAUSE = platform::WM_USER + 2;
inline constexpr std::uint32_t PLAYER_MSG_RESUME = platform::WM_USER + 3;
inline constexpr std::uint32_t PLAYER_MSG_STOP = platform::WM_USER + 4;
inline constexpr std::uint32_t PLAYER_MSG_SEEK = platform::WM_USER + 5;
inline constexpr std::uint32_t PLAYER_MSG_FREE_BUFFERS = platform::WM_USER + 6;
/// The engine's position report to its thread object; carries a PlayerReport.
inline constexpr std::uint32_t PLAYER_MSG_REPORT = platform::WM_USER + 7;

/// Bytes of audio in one player buffer.
inline constexpr std::uint32_t kPlayBufferBytes = 184320;
/// Most buffers kept on the spare list; more are freed as they come back.
inline constexpr std::size_t kMaxSpareBuffers = 100;

/// The payload of PLAYER_MSG_PLAY: what Play hands to the engine window. The message owns it
/// (and so holds a reference to the output) until the window's handler has taken it, or until
/// it is dropped: a post that fails, or a window destroyed with the message still queued.
struct PlayRequest {
    platform::audio::WaveOutPtr output; ///< already open
    SondrelStream* stream = nullptr;    ///< decoding already begun; owned by the caller
    WAVEFORMATEX format{};
    std::uint32_t total = 0;    ///< frames
    std::uint32_t start = 0;    ///< frames
    std::uint64_t sequence = 0; ///< which Play made it; a later Play supersedes it
};

/// A position the engine reports while it plays, and whether the stream has ended. The
/// thread object passes it on to the owner only while the Play it names is still the current
/// one, so a report queued before a Stop or a later Play never reaches the owner.
struct PlayerReport {
    std::uint64_t sequence = 0; ///< the Play being reported on
    std::uint32_t position = 0; ///< frames
    bool end = false;
};

/// The device format for a stream's wave format.
inline platform::audio::PcmFormat pcmFormatOf(const WAVEFORMATEX& f) {
    return {f.nChannels, f.nSamplesPerSec, f.wBitsPerSample};
}

} // namespace mireldo::playback
