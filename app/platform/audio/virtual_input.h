#pragma once

// What tests may do to a virtual input beyond what a sound card offers.
//
// Threads: any thread.

#include "wave_in.h"

#include <cstdint>

namespace mireldo::platform::audio {

/// Makes the virtual input `device` lose the next `frames` frames of its source, as a sound
/// card does when its buffer overruns, and counts one overrun (WaveIn::overruns()). False when
/// `device` is not an open virtual input.
bool injectVirtualOverrun(WaveIn& device, std::uint32_t frames);

} // namespace mireldo::platform::audio
