#pragma once

// The clock the virtual audio devices pace themselves by. Normally the steady clock; a test
// installs a ManualClock instead, and then the devices move only when the test advances it:
// advance() brings every open virtual device up to the new time before it returns (buffers
// that became due are played or filled and handed back, posted to their owners), so what a
// test sees no longer depends on how the machine schedules threads.
//
// Threads: virtualNow() and virtualClockIsManual() from any thread (lock-free). A ManualClock
// is made, advanced and destroyed by one thread (the test's); at most one exists at a time.
// Devices register with addClockListener()/removeClockListener() from any thread, never while
// holding their own lock; advance() calls listeners with the registry's lock held, so a device
// that has unregistered is never called again. Lock order: registry, then a device's lock.

#include <chrono>

namespace mireldo::platform::audio {

using VirtualClockTime = std::chrono::steady_clock::time_point;

/// Now, on the virtual devices' clock.
VirtualClockTime virtualNow();

/// True while a ManualClock is installed.
bool virtualClockIsManual();

/// An open virtual device, told when a manual clock moves.
class VirtualClockListener {
  public:
    /// The manual clock has moved: catch up to virtualNow(). Called on the advancing thread.
    virtual void clockAdvanced() = 0;

  protected:
    ~VirtualClockListener() = default;
};

void addClockListener(VirtualClockListener* listener);
/// Once this returns, `listener` is not called again.
void removeClockListener(VirtualClockListener* listener);

/// A clock a test moves by hand. Installed for its lifetime; devices opened while it is
/// installed take their time from it.
class ManualClock {
  public:
    ManualClock();
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    /// Moves the time on by `step` and lets every open virtual device catch up before
    /// returning.
    void advance(std::chrono::nanoseconds step);
};

} // namespace mireldo::platform::audio
