#pragma once

// A receiver that collects the buffers a virtual device hands back, in the order they come.
//
// Threads: the main thread (the receiver's); the devices post from their own threads.

#include "audio/wave_types.h"
#include "message_receiver.h"

#include <vector>

namespace platformtest {

class ReturnedBuffers : public mireldo::platform::MessageReceiver {
  public:
    ReturnedBuffers() {
        using mireldo::platform::audio::WaveBufferDone;
        onMessage<WaveBufferDone>(mireldo::platform::MM_WOM_DONE,
                                  [this](const WaveBufferDone& b) { done.push_back(b.header); });
        onMessage<WaveBufferDone>(mireldo::platform::MM_WIM_DATA,
                                  [this](const WaveBufferDone& b) { data.push_back(b.header); });
    }
    /// Output buffers played.
    std::vector<mireldo::platform::audio::WaveHeader*> done;
    /// Input buffers filled.
    std::vector<mireldo::platform::audio::WaveHeader*> data;
};

} // namespace platformtest
