// The virtual output: appends what it plays to the WAV file MIRELDO_VIRTUAL_OUTPUT names (or
// keeps nothing when it is unset), paced by a clock running at virtualSpeed() times real time.
// The device runs one worker thread that sleeps until the next buffer is due. Time comes from
// virtualNow(): under a test's manual clock the worker sleeps until woken, and the clock itself
// brings the device up to date when it moves (clockAdvanced()).
// The lock, worker thread, header queue and close/reset come from DeviceWorker
// (device_worker.h), which also states the thread rules; this file holds the clock and the file.

#include "../unique_fd.h"
#include "backends.h"
#include "device_worker.h"
#include "fd_io.h"
#include "virtual_clock.h"
#include "virtual_pacing.h"
#include "virtual_wav.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace mireldo::platform::audio {

namespace {

using virtual_device::Clock;
using virtual_device::framesBetween;
using virtual_device::kMaxWavData;
using virtual_device::kWavHeaderBytes;
using virtual_device::readWavLayout;
using virtual_device::sleepUntil;
using virtual_device::wavHeader;
using virtual_device::WavLayout;

// Output side: the WAV file every virtual output of a path appends to.

class WavSink {
  public:
    WavSink(UniqueFd fd, const PcmFormat& format, std::uint64_t dataBytes)
        : fd_(std::move(fd)), format_(format), dataBytes_(dataBytes) {}

    const PcmFormat& format() const { return format_; }

    void append(const char* data, std::uint32_t bytes) {
        std::lock_guard lock(mutex_);
        if (retired_ || !fd_.valid() || bytes == 0 || dataBytes_ + bytes > kMaxWavData) {
            return;
        }
        if (!common::pwriteAll(fd_.get(), data, bytes, kWavHeaderBytes + dataBytes_)) {
            return;
        }
        dataBytes_ += bytes;
        // Sizes kept current, so the file is a valid WAV whenever it is read.
        const auto header = wavHeader(format_, static_cast<std::uint32_t>(dataBytes_));
        common::pwriteAll(fd_.get(), header.data(), header.size(), 0);
    }

    /// A sink replaced by one of another format writes nothing more.
    void retire() {
        std::lock_guard lock(mutex_);
        retired_ = true;
    }

  private:
    std::mutex mutex_;
    UniqueFd fd_;
    PcmFormat format_;
    std::uint64_t dataBytes_;
    bool retired_ = false;
};

struct SinkRegistry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<WavSink>> live;
    std::set<std::string> seen; // paths this process has written, so they are appended to
};

SinkRegistry& sinkRegistry() {
    static auto* const registry = new SinkRegistry;
    return *registry;
}

// The sink for the path in MIRELDO_VIRTUAL_OUTPUT: null (nothing is kept) when the variable is
// unset. The first output of the process starts the file afresh; later ones of the same format
// append; another format starts it afresh again.
std::shared_ptr<WavSink> acquireSink(const PcmFormat& format, DeviceError* error, bool& failed) {
    failed = false;
    const char* env = std::getenv("MIRELDO_VIRTUAL_OUTPUT");
    if (env == nullptr || *env == '\0') {
        return nullptr;
    }
    const std::string path(env);
    SinkRegistry& reg = sinkRegistry();
    std::lock_guard lock(reg.mutex);
    auto it = reg.live.find(path);
    if (it != reg.live.end()) {
        if (auto sink = it->second.lock()) {
            if (sink->format() == format) {
                return sink;
            }
            sink->retire();
        }
    }
    UniqueFd fd;
    std::uint64_t dataBytes = 0;
    if (reg.seen.count(path) != 0) {
        UniqueFd existing(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
        WavLayout layout;
        if (existing.valid() && readWavLayout(existing.get(), layout) && layout.format == format &&
            layout.dataOffset == kWavHeaderBytes) {
            fd = std::move(existing);
            dataBytes = layout.dataBytes;
        }
    }
    if (!fd.valid()) {
        fd.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        const auto header = wavHeader(format, 0);
        if (!fd.valid() || !common::pwriteAll(fd.get(), header.data(), header.size(), 0)) {
            failed = true;
            failWith(error, DeviceError::Failed);
            return nullptr;
        }
    }
    reg.seen.insert(path);
    auto sink = std::make_shared<WavSink>(std::move(fd), format, dataBytes);
    reg.live[path] = sink;
    return sink;
}

class VirtualWaveOut final : public OutputWorker, private VirtualClockListener {
  public:
    VirtualWaveOut(const PcmFormat& format, ReceiverHandle owner, std::shared_ptr<WavSink> sink)
        : OutputWorker(format, owner), sink_(std::move(sink)),
          framesPerSecond_(format.sampleRate * virtualSpeed()), last_(virtualNow()) {
        startWorker();
        addClockListener(this);
    }
    ~VirtualWaveOut() override {
        removeClockListener(this);
        close();
    }

    DeviceError write(WaveHeader* h) override {
        return enqueue(h, [this] {
            if (queue_.size() == 1) {
                last_ = virtualNow(); // the clock runs only while there is something to play
            }
        });
    }

    DeviceError pause() override {
        return whileOpen([this] {
            advance(virtualNow());
            paused_ = true;
        });
    }

    DeviceError restart() override {
        return whileOpen([this] {
            if (paused_) {
                paused_ = false;
                last_ = virtualNow();
                cv_.notify_all();
            }
        });
    }

  private:
    void settleLocked() override { advance(virtualNow()); }

    void clockAdvanced() override {
        std::lock_guard lock(mutex_);
        if (!closed_) {
            advance(virtualNow());
        }
    }

    void run() override {
        std::unique_lock lock(mutex_);
        while (!closed_) {
            advance(virtualNow());
            if (paused_ || queue_.empty()) {
                cv_.wait(lock);
                continue;
            }
            // Sleep until the buffer at the head is due (at most a second, so a changed clock
            // is noticed), unless a write, pause, reset or close wakes us first.
            const WaveHeader* head = queue_.front();
            const double framesLeft =
                static_cast<double>((head->bufferLength - headDone_) / format().blockAlign()) -
                credit_;
            const double seconds = std::clamp(framesLeft / framesPerSecond_, 0.0, 1.0);
            sleepUntil(cv_, lock, last_, seconds);
        }
    }

    // Moves the clock to `now`, playing (writing out) and handing back what became due.
    void advance(Clock::time_point now) {
        if (paused_ || queue_.empty()) {
            last_ = now;
            credit_ = 0;
            return;
        }
        credit_ += framesBetween(last_, now, framesPerSecond_);
        last_ = now;
        const std::uint32_t frameBytes = format().blockAlign();
        while (!queue_.empty()) {
            WaveHeader* h = queue_.front();
            const std::uint32_t framesLeft = (h->bufferLength - headDone_) / frameBytes;
            const auto take =
                static_cast<std::uint32_t>(std::min<double>(framesLeft, std::floor(credit_)));
            if (take > 0) {
                emit(h->data + headDone_, take * frameBytes);
                headDone_ += take * frameBytes;
                played_ += take;
                credit_ -= take;
            }
            if (headDone_ < h->bufferLength) {
                break;
            }
            queue_.pop_front();
            headDone_ = 0;
            handBack(h);
        }
        if (queue_.empty()) {
            credit_ = 0; // an empty device does not save up time
        }
    }

    void emit(const char* data, std::uint32_t bytes) {
        if (!sink_) {
            return;
        }
        scratch_.assign(data, data + bytes);
        applyVolume(scratch_.data(), bytes, format(), volume_);
        sink_->append(scratch_.data(), bytes);
    }

    void releaseAllLocked() override {
        handBackQueue();
        headDone_ = 0;
        played_ = 0;
        credit_ = 0;
        paused_ = false;
        last_ = virtualNow();
    }

    const std::shared_ptr<WavSink> sink_;
    const double framesPerSecond_;

    // Guarded by mutex_; played_ (in OutputWorker) counts the frames advance() has played.
    std::uint32_t headDone_ = 0; // bytes of the head buffer already played
    double credit_ = 0;          // frames the clock has granted but not yet played
    Clock::time_point last_;
    bool paused_ = false;
    std::vector<char> scratch_;
};

} // namespace

WaveOutPtr openVirtualWaveOut(const PcmFormat& format, ReceiverHandle owner, DeviceError* error) {
    bool failed = false;
    auto sink = acquireSink(format, error, failed);
    if (failed) {
        return nullptr;
    }
    return std::make_shared<VirtualWaveOut>(format, owner, std::move(sink));
}

QStringList virtualOutputNames() {
    return {QStringLiteral("Virtual output")};
}

} // namespace mireldo::platform::audio
