#pragma once

// Pacing shared by the virtual output and input: both run at virtualSpeed() times real time on
// the clock of virtualNow(), or step by step under a test's manual clock.
//
// Threads: the devices' worker threads, under the device's lock.

#include "virtual_clock.h"

#include <chrono>
#include <condition_variable>

namespace mireldo::platform::audio::virtual_device {

using Clock = std::chrono::steady_clock;

/// Frames `framesPerSecond` grants between `from` and `to`, computed from whole nanoseconds so
/// that a step of exactly n buffers' duration grants exactly n buffers.
inline double framesBetween(Clock::time_point from, Clock::time_point to, double framesPerSecond) {
    if (to <= from) {
        return 0;
    }
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count();
    return static_cast<double>(nanos) * framesPerSecond / 1e9;
}

/// Sleeps on `cv` until `seconds` after `last` on the virtual clock; under a manual clock until
/// woken (the clock wakes the device by catching it up itself).
template <class Lock>
void sleepUntil(std::condition_variable& cv, Lock& lock, Clock::time_point last, double seconds) {
    if (virtualClockIsManual()) {
        cv.wait(lock);
        return;
    }
    cv.wait_until(lock, last + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(seconds)));
}

} // namespace mireldo::platform::audio::virtual_device
