#pragma once

// CaptureBufferPool: the capture buffers of a session, allocated once when the session is made.
// Each is a header with a data block of kCaptureBlockBytes, of which kCaptureBufferBytes hold
// audio. A header's user word is its state: free, queued in the device, or stale (queued when
// recording stopped: what it brings back is not to be used).
//
// Threads: the capture session's thread only; the device holds a queued header until it hands
// it back. Allocation stops at the first failure: a header without a block ends every walk.

#include "audio/wave_types.h"

#include <array>
#include <cstdint>
#include <memory>

namespace mireldo::recorder {

inline constexpr int kCaptureBufferCount = 150;
/// Bytes of audio one capture buffer holds.
inline constexpr std::uint32_t kCaptureBufferBytes = 10240;
/// Bytes allocated per buffer (the data area plus slack).
inline constexpr std::uint32_t kCaptureBlockBytes = 10272;

/// One capture buffer: its header and its data block (null when allocation failed).
struct CaptureBuffer {
    platform::audio::WaveHeader header;
    std::unique_ptr<char[]> block;
};

class CaptureBufferPool {
  public:
    using Buffers = std::array<CaptureBuffer, kCaptureBufferCount>;

    /// User words of a header.
    static constexpr std::uintptr_t kFree = 0;
    static constexpr std::uintptr_t kStale = 1; // or-ed into kQueued
    static constexpr std::uintptr_t kQueued = 2;

    /// Allocates up to `count` buffers (clamped to 0..kCaptureBufferCount).
    explicit CaptureBufferPool(int count);

    const Buffers& buffers() const { return buffers_; }

    /// Hands every free buffer to `queue(header)`; true when afterwards some buffer is with
    /// the device or on its way back.
    template <typename Queue>
    bool queueFree(Queue queue) {
        bool outstanding = false;
        for (CaptureBuffer& buffer : buffers_) {
            if (!buffer.block) {
                break;
            }
            if (buffer.header.user == kFree) {
                queue(buffer.header);
            }
            outstanding = outstanding || buffer.header.user != kFree;
        }
        return outstanding;
    }

    /// Recording stopped: every buffer not free becomes stale.
    void markOutstandingStale();

  private:
    Buffers buffers_{};
};

} // namespace mireldo::recorder
