#include "capture_buffers.h"

#include <algorithm>
#include <new>

namespace mireldo::recorder {

CaptureBufferPool::CaptureBufferPool(int count) {
    const int n = std::clamp(count, 0, kCaptureBufferCount);
    for (int i = 0; i < n; ++i) {
        CaptureBuffer& buffer = buffers_[static_cast<std::size_t>(i)];
        buffer.block.reset(new (std::nothrow) char[kCaptureBlockBytes]);
        if (!buffer.block) {
            break;
        }
        buffer.header.data = buffer.block.get();
        buffer.header.bufferLength = kCaptureBufferBytes;
    }
}

void CaptureBufferPool::markOutstandingStale() {
    for (CaptureBuffer& buffer : buffers_) {
        if (!buffer.block) {
            break;
        }
        if (buffer.header.user != kFree) {
            buffer.header.user |= kStale;
        }
    }
}

} // namespace mireldo::recorder
