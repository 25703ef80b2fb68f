#include "onset_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace mireldo::recorder {

OnsetBuffer::OnsetBuffer(std::size_t capacityBytes)
    : data_(new (std::nothrow) unsigned char[capacityBytes]) {
    capacity_ = data_ ? capacityBytes : 0;
}

bool OnsetBuffer::judge(bool silent, std::uint32_t soundFrames, std::uint32_t holdFrames) {
    if (silent) {
        inBurst_ = false;
        counted_ = false;
        soundFrames_ = 0;
        burstBytes_ = 0;
        return false;
    }
    inBurst_ = true;
    if (!counted_) {
        soundFrames_ += soundFrames;
        counted_ = soundFrames_ >= holdFrames;
    }
    return counted_;
}

void OnsetBuffer::keep(const unsigned char* data, std::size_t bytes) {
    if (capacity_ == 0 || data == nullptr) {
        return;
    }
    if (inBurst_) {
        burstBytes_ += bytes;
    }
    if (bytes >= capacity_) {
        // Only the newest capacity_ bytes can stay.
        std::memcpy(data_.get(), data + (bytes - capacity_), capacity_);
        start_ = 0;
        size_ = capacity_;
        return;
    }
    const std::size_t overflow = size_ + bytes > capacity_ ? size_ + bytes - capacity_ : 0;
    start_ = (start_ + overflow) % capacity_;
    size_ -= overflow;
    std::size_t at = (start_ + size_) % capacity_;
    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t n = std::min(bytes - done, capacity_ - at);
        std::memcpy(data_.get() + at, data + done, n);
        done += n;
        at = (at + n) % capacity_;
    }
    size_ += bytes;
}

void OnsetBuffer::forget() {
    start_ = 0;
    size_ = 0;
    burstBytes_ = 0;
}

void OnsetBuffer::reset() {
    forget();
    inBurst_ = false;
    counted_ = false;
    soundFrames_ = 0;
}

} // namespace mireldo::recorder
