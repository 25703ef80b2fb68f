#include "audio_play_wnd.h"

#include <algorithm>
#include <new>

namespace mireldo::playback {

using namespace platform::audio;

CAudioPlayWnd::CAudioPlayWnd(PlayerShared& shared) : shared_(shared) {
    onMessage<PlayRequest>(PLAYER_MSG_PLAY, [this](PlayRequest& request) { onPlay(request); });
    onMessage(PLAYER_MSG_PAUSE, [this](std::uintptr_t, std::intptr_t) { onPause(); });
    onMessage(PLAYER_MSG_RESUME, [this](std::uintptr_t, std::intptr_t) { onResume(); });
    onMessage(PLAYER_MSG_STOP, [this](std::uintptr_t, std::intptr_t) { onStop(); });
    onMessage(PLAYER_MSG_SEEK,
              [this](std::uintptr_t w, std::intptr_t) { onSeek(static_cast<std::uint32_t>(w)); });
    onMessage(PLAYER_MSG_FREE_BUFFERS, [this](std::uintptr_t, std::intptr_t) { onFreeBuffers(); });
    onMessage<WaveBufferDone>(platform::MM_WOM_DONE,
                              [this](const WaveBufferDone& done) { onBufferDone(done.header); });
}

CAudioPlayWnd::~CAudioPlayWnd() {
    // No message may arrive while the buffers go away.
    stopReceiving();
    if (output_) {
        // The owner did not stop us: take the buffers back from the device before freeing them.
        output_->reset();
    }
    for (PlayBuffer* b : inDevice_) {
        delete b;
    }
    inDevice_.clear();
    freeSpares();
}

void CAudioPlayWnd::SetNotify(platform::ReceiverHandle window, std::uint32_t message,
                              std::uint32_t intervalMs) {
    std::lock_guard lock(notifyMutex_);
    notifyWindow_ = window;
    notifyMessage_ = message;
    interval_ = intervalMs;
}

void CAudioPlayWnd::DetachStream() {
    std::lock_guard lock(shared_.mutex);
    stream_ = nullptr;
}

bool CAudioPlayWnd::hasStream() {
    std::lock_guard lock(shared_.mutex);
    return stream_ != nullptr;
}

std::uint32_t CAudioPlayWnd::decode(std::uint32_t first, std::uint32_t count, char* destination) {
    std::lock_guard lock(shared_.mutex);
    if (stream_ == nullptr || count == 0) {
        return 0;
    }
    std::uint32_t decoded = 0;
    // Only the count matters; a failing decode reports what it wrote (usually nothing).
    Sondrel_DecodeAudio(stream_, first, count, destination, &decoded);
    return std::min(decoded, count);
}

std::uint32_t CAudioPlayWnd::capacityFrames() const {
    return frameBytes() == 0 ? 0 : kPlayBufferBytes / frameBytes();
}

CAudioPlayWnd::PlayBuffer* CAudioPlayWnd::allocateBuffer() {
    auto* b = new (std::nothrow) PlayBuffer;
    if (b == nullptr) {
        return nullptr;
    }
    b->header = WaveHeader{};
    b->header.data = b->data;
    return b;
}

CAudioPlayWnd::PlayBuffer* CAudioPlayWnd::takeSpare() {
    if (spare_.empty()) {
        return allocateBuffer();
    }
    PlayBuffer* b = spare_.front();
    spare_.pop_front();
    return b;
}

void CAudioPlayWnd::recycle(PlayBuffer* b) {
    b->header.bufferLength = 0;
    b->header.flags = 0;
    if (spare_.size() >= kMaxSpareBuffers) {
        delete b;
        return;
    }
    spare_.push_back(b);
}

void CAudioPlayWnd::emptySpares() {
    for (PlayBuffer* b : spare_) {
        b->header.bufferLength = 0;
    }
}

void CAudioPlayWnd::freeSpares() {
    for (PlayBuffer* b : spare_) {
        delete b;
    }
    spare_.clear();
}

void CAudioPlayWnd::report(std::uint32_t position, bool end) {
    if (endReported_) {
        return;
    }
    if (position > lastReported_ || end) {
        std::lock_guard lock(notifyMutex_);
        platform::postMessage(notifyWindow_, notifyMessage_,
                              PlayerReport{playSequence_, position, end});
        // Only what was sent counts: a lower position that was not sent must not let a
        // later one go backwards from what the owner last saw.
        lastReported_ = position;
    }
    endReported_ = end;
}

void CAudioPlayWnd::onPlay(PlayRequest& request) {
    {
        std::lock_guard lock(shared_.mutex);
        if (request.sequence != shared_.latestPlay) {
            return; // a later Play has already ended this stream's decoding
        }
        stream_ = request.stream;
    }
    playSequence_ = request.sequence;
    emptySpares();
    output_ = std::move(request.output);
    format_ = request.format;
    total_ = request.total;
    ++generation_;
    queued_ = 0;
    draining_ = 0;
    paused_ = false;
    base_ = origin_ = lastReported_ = request.start;
    endReported_ = false;
    if (output_) {
        output_->reset();
    }
    fill();
    if (timer_ == 0) {
        std::uint32_t interval = 0;
        {
            std::lock_guard lock(notifyMutex_);
            interval = interval_;
        }
        timer_ = startTimer(static_cast<int>(std::max<std::uint32_t>(interval, 1)));
    }
}

void CAudioPlayWnd::fill() {
    const std::uint32_t fiveSeconds = 5 * format_.nSamplesPerSec;
    const std::uint32_t capacity = capacityFrames();
    if (output_ && capacity > 0 && queued_ < fiveSeconds) {
        std::uint32_t next = base_ + queued_;
        while (next < total_) {
            PlayBuffer* b = takeSpare();
            if (b == nullptr) {
                return; // out of memory: the queue goes on with what it has
            }
            const std::uint32_t k = b->header.bufferLength / frameBytes();
            const std::uint32_t want = capacity - k;
            const std::uint32_t d = decode(next + k, want, b->data + k * frameBytes());
            b->header.bufferLength = (k + d) * frameBytes();
            if (k + d == 0) {
                spare_.push_back(b);
                break;
            }
            b->header.flags = WHDR_BEGINLOOP;
            b->header.user = generation_;
            if (prepareHeader(b->header) != DeviceError::None) {
                spare_.push_front(b); // it holds the audio that comes next
                break;
            }
            if (output_->write(&b->header) != DeviceError::None) {
                unprepareHeader(b->header);
                b->header.flags = 0;
                spare_.push_front(b);
                break;
            }
            inDevice_.insert(b);
            queued_ += k + d;
            next += k + d;
            if (d < want || queued_ >= fiveSeconds) {
                break;
            }
        }
    }
    if (queued_ == 0) {
        report(base_, true);
    }
}

void CAudioPlayWnd::onBufferDone(const WaveHeader* header) {
    // Found by its header: a header that is not in one of our buffers is not ours.
    const auto it = std::find_if(inDevice_.begin(), inDevice_.end(),
                                 [&](const PlayBuffer* b) { return &b->header == header; });
    if (it == inDevice_.end()) {
        return;
    }
    PlayBuffer* b = *it;
    inDevice_.erase(it);
    unprepareHeader(b->header);
    if (b->header.user != generation_) {
        recycle(b); // from before the last Play
        return;
    }
    const std::uint32_t f = frameBytes() == 0 ? 0 : b->header.bufferLength / frameBytes();
    const bool wasDraining = draining_ != 0;
    queued_ -= std::min(f, queued_);
    if (!wasDraining && !paused_) {
        base_ += f;
        report(base_, queued_ == 0);
    }
    recycle(b);
    if (wasDraining) {
        draining_ -= std::min(f, draining_);
        if (draining_ == 0) {
            shared_.reply.set();
        }
    }
    if (!paused_ && draining_ == 0) {
        fill();
    }
}

void CAudioPlayWnd::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_) {
        platform::MessageReceiver::timerEvent(event);
        return;
    }
    if (paused_ || !output_) {
        return;
    }
    std::uint32_t samples = 0;
    if (output_->getPosition(&samples) != DeviceError::None) {
        return;
    }
    const std::uint32_t position = origin_ + samples;
    report(position, position == total_);
}

void CAudioPlayWnd::onPause() {
    paused_ = true;
    if (output_) {
        output_->pause();
    }
    shared_.reply.set();
}

void CAudioPlayWnd::onResume() {
    paused_ = false;
    if (output_) {
        output_->restart();
    }
    fill();
    shared_.reply.set();
    if (queued_ == 0) {
        fill();
    }
}

void CAudioPlayWnd::onStop() {
    emptySpares();
    if (!output_ || output_->reset() != DeviceError::None) {
        shared_.reply.set();
        return;
    }
    endReported_ = true;
    paused_ = true;
    origin_ = base_;
    if (queued_ != 0) {
        draining_ = queued_; // the reply goes when the last buffer is back
    } else {
        shared_.reply.set();
    }
    output_.reset();
    DetachStream();
    if (timer_ != 0) {
        killTimer(timer_);
        timer_ = 0;
    }
}

void CAudioPlayWnd::onSeek(std::uint32_t frame) {
    emptySpares();
    if (!output_ || output_->reset() != DeviceError::None) {
        shared_.reply.set();
        return;
    }
    endReported_ = false;
    base_ = origin_ = lastReported_ = total_ == 0 ? 0 : frame % total_;
    if (queued_ != 0) {
        draining_ = queued_;
    } else {
        shared_.reply.set();
        if (!paused_) {
            fill();
        }
    }
}

void CAudioPlayWnd::onFreeBuffers() {
    freeSpares();
    shared_.reply.set();
}

bool CAudioPlayWnd::OnIdle() {
    if (paused_ || !output_ || !hasStream() || capacityFrames() == 0) {
        return false;
    }
    if (spare_.empty()) {
        PlayBuffer* b = allocateBuffer();
        if (b == nullptr) {
            return false;
        }
        spare_.push_back(b);
    }
    const std::uint32_t capacity = capacityFrames();
    std::uint64_t summed = 0;
    PlayBuffer* target = nullptr;
    for (PlayBuffer* b : spare_) {
        summed += b->header.bufferLength;
        if (b->header.bufferLength / frameBytes() < capacity) {
            target = b;
            break;
        }
    }
    if (target == nullptr) {
        return false;
    }
    const std::uint64_t first = std::uint64_t{base_} + queued_ + summed / frameBytes();
    if (first >= total_) {
        return false; // everything up to the end is queued or decoded already
    }
    const std::uint32_t length = target->header.bufferLength;
    const std::uint32_t d =
        decode(static_cast<std::uint32_t>(first), (kPlayBufferBytes - length) / frameBytes(),
               target->data + length);
    target->header.bufferLength = length + d * frameBytes();
    return d > 0;
}

} // namespace mireldo::playback
