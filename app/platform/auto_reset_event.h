#pragma once

// An auto-reset event: set() lets exactly one waiter through and the event resets itself as
// that waiter leaves. Setting an event that is already set changes nothing (sets do not
// count up); a set with nobody waiting stays until the next wait consumes it.
//
// Threads: every function may be called from any thread at any time. The event must outlive
// every thread that waits on it or sets it.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace mireldo::platform {

class AutoResetEvent {
  public:
    explicit AutoResetEvent(bool initiallySet = false) : signaled_(initiallySet) {}

    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    /// Signals the event, releasing one waiter (now or the next one to arrive).
    void set();
    /// Clears the signal if nobody has consumed it yet.
    void reset();
    /// Blocks until the event is signaled, consuming the signal.
    void wait();
    /// As wait(), giving up after `timeoutMs` milliseconds (0 only polls). True when the
    /// signal was consumed, false on time-out.
    bool waitFor(std::uint32_t timeoutMs);

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signaled_;
};

} // namespace mireldo::platform
