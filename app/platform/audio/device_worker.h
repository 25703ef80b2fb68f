#pragma once

// The plumbing every open wave device of a back-end shares: one lock, one condition the worker
// sleeps on, the closed flag, the worker thread itself and the queue of headers the owner has
// lent. A back-end derives its output from OutputWorker and its input from
// DeviceWorker<WaveIn>, and supplies the worker loop (run()) and what reset() does to its own
// state (releaseAllLocked()).
//
// Threads:
// - Owner side: write()/addBuffer(), reset(), close() and the other WaveOut/WaveIn operations
//   may be called from any thread. Each takes mutex_ for its whole body, so they are
//   serialised with each other and with the worker. Operations check closed_ under the lock
//   and answer DeviceError::InvalidHandle once the device is closed.
// - Worker: run() runs on worker_, started by the derived constructor (startWorker()) once the
//   derived object is complete. It holds mutex_ except while it sleeps on cv_ or calls into
//   the back-end's driver, and leaves its loop when it sees closed_.
// - Lock order: mutex_ is the only lock of a device; headers are handed back (postMessage)
//   while it is held, so a header is posted exactly once and never after reset() returns.
//   A back-end's own locks (a shared sink, the input source) are taken inside mutex_, never
//   around it.
// Ownership: the device owns the worker thread; headers in queue_ belong to the owner and are
// only borrowed until handed back. close() joins the worker, except when the worker itself
// closes the device (from a receiver it runs), in which case the thread is detached.
// Every derived destructor must call close() itself: the worker runs the derived run(), so it
// must be stopped before the derived members go away.

#include "wave_in.h"
#include "wave_out.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <type_traits>

namespace mireldo::platform::audio {

/// The lock, worker thread and header queue of one open device; `Device` is WaveOut or WaveIn.
template <class Device>
class DeviceWorker : public Device {
    static_assert(std::is_same_v<Device, WaveOut> || std::is_same_v<Device, WaveIn>);

  public:
    /// Stops the device and hands every queued header back (posted, in order). Any thread.
    DeviceError reset() final {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return DeviceError::InvalidHandle;
        }
        releaseAllLocked();
        return DeviceError::None;
    }

    /// Resets, marks the device closed and stops the worker. Idempotent; any thread, the
    /// worker included.
    DeviceError close() final {
        {
            std::lock_guard lock(mutex_);
            if (!closed_) {
                releaseAllLocked();
                closed_ = true;
                cv_.notify_all();
            }
        }
        std::call_once(joined_, [this] {
            if (worker_.get_id() != std::this_thread::get_id()) {
                worker_.join();
            } else {
                worker_.detach();
            }
        });
        return DeviceError::None;
    }

  protected:
    DeviceWorker(const PcmFormat& format, ReceiverHandle owner) : Device(format), owner_(owner) {}
    ~DeviceWorker() override = default;

    /// The worker loop; runs on worker_ until it sees closed_. Entered without the lock.
    virtual void run() = 0;
    /// What reset() and close() do to the back-end's state: stop, and hand back every header
    /// the device holds (handBackQueue() and whatever else it keeps). Called with mutex_ held.
    virtual void releaseAllLocked() = 0;

    /// Starts the worker. Called once, at the end of the derived constructor.
    void startWorker() {
        worker_ = std::thread([this] { run(); });
    }

    /// Runs `change` under the lock when the device is open; DeviceError::InvalidHandle otherwise.
    template <class Change>
    DeviceError whileOpen(Change&& change) {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return DeviceError::InvalidHandle;
        }
        change();
        return DeviceError::None;
    }

    /// Takes a header lent by write()/addBuffer() into the queue after checking it: null,
    /// INQUEUE or a length that does not fit the format are DeviceError::InvalidParam, a header not
    /// prepared is DeviceError::Unprepared. `queued` runs under the lock once it is at the back of
    /// the queue; the worker is woken afterwards.
    template <class Queued>
    DeviceError enqueue(WaveHeader* h, Queued&& queued) {
        if (h == nullptr) {
            return DeviceError::InvalidParam;
        }
        std::lock_guard lock(mutex_);
        if (closed_) {
            return DeviceError::InvalidHandle;
        }
        const std::uint32_t flags = headerFlags(*h);
        if ((flags & WHDR_PREPARED) == 0) {
            return DeviceError::Unprepared;
        }
        if ((flags & WHDR_INQUEUE) != 0 || !lengthFits(h->bufferLength)) {
            return DeviceError::InvalidParam;
        }
        if constexpr (kOutput) {
            setHeaderFlags(*h, (flags | WHDR_INQUEUE) & ~WHDR_DONE);
        } else {
            h->bytesRecorded = 0;
            setHeaderFlags(*h, (flags | WHDR_INQUEUE) & ~(WHDR_DONE | WHDR_ENDOFINPUT));
        }
        queue_.push_back(h);
        queued();
        cv_.notify_all();
        return DeviceError::None;
    }

    /// Marks `h` done and posts it to the owner (MM_WOM_DONE or MM_WIM_DATA with a
    /// WaveBufferDone naming this device and `h`). Called with mutex_ held.
    void handBack(WaveHeader* h) {
        // The owner may read the flags at any time (unprepareHeader(), polling WHDR_DONE).
        setHeaderFlags(*h, (headerFlags(*h) & ~WHDR_INQUEUE) | WHDR_DONE);
        const Device* device = this;
        postMessage(owner_, kOutput ? MM_WOM_DONE : MM_WIM_DATA, WaveBufferDone{device, h});
    }

    /// Hands back every queued header, in queue order, and empties the queue. Lock held.
    void handBackQueue() {
        for (WaveHeader* h : queue_) {
            handBack(h);
        }
        queue_.clear();
    }

    // Guarded by mutex_ (mutable so const queries such as endOfInput() can lock it).
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<WaveHeader*> queue_; // lent headers, oldest first
    bool closed_ = false;

  private:
    static constexpr bool kOutput = std::is_same_v<Device, WaveOut>;

    // Output buffers hold whole frames; an input buffer needs room for at least one.
    bool lengthFits(std::uint32_t bytes) const {
        const std::uint32_t frameBytes = this->format().blockAlign();
        return kOutput ? bytes % frameBytes == 0 : bytes >= frameBytes;
    }

    const ReceiverHandle owner_;
    std::thread worker_;
    std::once_flag joined_;
};

/// An output device: adds the volume and the played position to DeviceWorker.
class OutputWorker : public DeviceWorker<WaveOut> {
  public:
    DeviceError getPosition(std::uint32_t* samples) final {
        if (samples == nullptr) {
            return DeviceError::InvalidParam;
        }
        return whileOpen([&] {
            settleLocked();
            *samples = static_cast<std::uint32_t>(played_);
        });
    }

    DeviceError setVolume(std::uint32_t volume) final {
        return whileOpen([&] {
            settleLocked(); // what played so far played at the old volume
            volume_ = volume;
        });
    }

    DeviceError getVolume(std::uint32_t* volume) final {
        if (volume == nullptr) {
            return DeviceError::InvalidParam;
        }
        return whileOpen([&] { *volume = volume_; });
    }

  protected:
    OutputWorker(const PcmFormat& format, ReceiverHandle owner) : DeviceWorker(format, owner) {}

    /// Brings played_ up to date before it is read or the volume changes; a back-end whose
    /// worker keeps it current does nothing. Called with mutex_ held.
    virtual void settleLocked() {}

    // Guarded by mutex_.
    std::uint64_t played_ = 0;           // frames played since the last reset
    std::uint32_t volume_ = 0xFFFFFFFFu; // low word left, high word right
};

} // namespace mireldo::platform::audio
