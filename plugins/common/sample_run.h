#pragma once

// The 16-bit values one beEncodeChunk call hands to the codec. Normally they are read in place
// from the caller's buffer: the caller's pieces are whole frames, so nothing is left over
// between calls and no copy is needed. Only when a call ended inside a frame (an odd count of
// stereo values) is the rest kept, and the next call's values are appended to it.
//
// Threads: the carry-over buffer belongs to one stream, used by one thread at a time.

#include "plugin_support.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace beplugin {

/// The values an encode call works on, interleaved by channel.
struct SampleRun {
    const int16_t* values = nullptr;
    size_t count = 0;
    bool fromCarry = false; ///< values points into the carry-over buffer
};

/// The caller's `count` values of `samples`, in place when `carry` is empty and the buffer is
/// aligned for int16_t (the caller's bytes are little-endian 16-bit values, as on every host
/// we build for); otherwise appended to `carry`, which then holds them all.
inline SampleRun takeSamples(std::vector<int16_t>& carry, const void* samples, uint32_t count) {
    if (carry.empty() && reinterpret_cast<uintptr_t>(samples) % alignof(int16_t) == 0) {
        return {static_cast<const int16_t*>(samples), count, false};
    }
    carry.reserve(carry.size() + count);
    for (uint32_t i = 0; i < count; ++i) {
        carry.push_back(sampleAt(samples, i));
    }
    return {carry.data(), carry.size(), true};
}

/// Keeps the values of `run` from index `used` on (an incomplete frame) for the next call.
inline void keepRest(std::vector<int16_t>& carry, const SampleRun& run, size_t used) {
    if (run.fromCarry) {
        carry.erase(carry.begin(), carry.begin() + static_cast<ptrdiff_t>(used));
    } else {
        carry.assign(run.values + used, run.values + run.count);
    }
}

} // namespace beplugin
