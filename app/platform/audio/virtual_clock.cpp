#include "virtual_clock.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include <algorithm>

namespace mireldo::platform::audio {

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<VirtualClockListener*> listeners; // under mutex
    std::atomic<bool> manual{false};
    // The manual clock's time, in steady-clock nanoseconds: it starts at the steady clock's
    // time when installed, so devices see no jump.
    std::atomic<std::int64_t> manualNanos{0};
};

Registry& registry() {
    static auto* const r = new Registry;
    return *r;
}

} // namespace

VirtualClockTime virtualNow() {
    Registry& r = registry();
    if (r.manual.load(std::memory_order_acquire)) {
        return VirtualClockTime(std::chrono::duration_cast<VirtualClockTime::duration>(
            std::chrono::nanoseconds(r.manualNanos.load(std::memory_order_acquire))));
    }
    return std::chrono::steady_clock::now();
}

bool virtualClockIsManual() {
    return registry().manual.load(std::memory_order_acquire);
}

void addClockListener(VirtualClockListener* listener) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.listeners.push_back(listener);
}

void removeClockListener(VirtualClockListener* listener) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.listeners.erase(std::remove(r.listeners.begin(), r.listeners.end(), listener),
                      r.listeners.end());
}

ManualClock::ManualClock() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.manualNanos.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count(),
                        std::memory_order_release);
    r.manual.store(true, std::memory_order_release);
}

ManualClock::~ManualClock() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.manual.store(false, std::memory_order_release);
}

void ManualClock::advance(std::chrono::nanoseconds step) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.manualNanos.fetch_add(step.count(), std::memory_order_acq_rel);
    for (VirtualClockListener* listener : r.listeners) {
        listener->clockAdvanced();
    }
}

} // namespace mireldo::platform::audio
