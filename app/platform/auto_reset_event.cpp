#include "auto_reset_event.h"

#include <chrono>

namespace mireldo::platform {

void AutoResetEvent::set() {
    {
        std::lock_guard lock(mutex_);
        signaled_ = true;
    }
    // One signal can satisfy one waiter, so waking more would only make them sleep again.
    cv_.notify_one();
}

void AutoResetEvent::reset() {
    std::lock_guard lock(mutex_);
    signaled_ = false;
}

void AutoResetEvent::wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return signaled_; });
    signaled_ = false;
}

bool AutoResetEvent::waitFor(std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    // wait_for with a predicate measures against the steady clock and survives spurious
    // wake-ups without restarting the full time-out.
    if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signaled_; })) {
        return false;
    }
    signaled_ = false;
    return true;
}

} // namespace mireldo::platform
