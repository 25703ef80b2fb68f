// The virtual input: reads a WAV file or makes a tone, paced by a clock running at
// virtualSpeed() times real time. The input either pauses while nobody takes its audio (the
// default: a file is read on from where the last capture stopped) or, with
// MIRELDO_VIRTUAL_INPUT_FREE_RUNNING=1, runs on by the clock from the first time a device of it
// is started, as a sound card does: whatever no queued buffer of a started device is there to
// take (the device closed, stopped or out of buffers) is lost.
// Each device runs one worker thread that sleeps until the next buffer is due. Time comes from
// virtualNow(): under a test's manual clock the worker sleeps until woken, and the clock itself
// brings each device up to date when it moves (clockAdvanced()).
// The lock, worker thread, header queue and close/reset come from DeviceWorker
// (device_worker.h), which also states the thread rules; this file holds the clock and the
// source.

#include "../unique_fd.h"
#include "backends.h"
#include "device_worker.h"
#include "fd_io.h"
#include "virtual_clock.h"
#include "virtual_input.h"
#include "virtual_pacing.h"
#include "virtual_wav.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <numbers>
#include <string>

namespace mireldo::platform::audio {

namespace {

using virtual_device::Clock;
using virtual_device::framesBetween;
using virtual_device::readWavLayout;
using virtual_device::sleepUntil;
using virtual_device::WavLayout;

// Input side: one continuous source per process, as a microphone is.

struct InputSource {
    std::mutex mutex;
    std::map<std::string, std::uint64_t> fileOffsets; // bytes of data delivered, per file
    double tonePhase = 0;                             // radians, kept in [0, 2 pi)
    // Free-running inputs: when each file (or "" for the tone) first began to play.
    std::map<std::string, Clock::time_point> origins;
};

InputSource& inputSource() {
    static auto* const source = new InputSource;
    return *source;
}

// What MIRELDO_VIRTUAL_INPUT names: a WAV file, or a tone ("" / "tone" / "tone:<Hz>").
struct InputSpec {
    bool tone = true;
    double frequency = 440.0;
    std::string path;
    bool freeRunning = false; ///< MIRELDO_VIRTUAL_INPUT_FREE_RUNNING=1
};

InputSpec inputSpec() {
    InputSpec source;
    const char* running = std::getenv("MIRELDO_VIRTUAL_INPUT_FREE_RUNNING");
    source.freeRunning = running != nullptr && std::strcmp(running, "1") == 0;
    const char* env = std::getenv("MIRELDO_VIRTUAL_INPUT");
    const std::string text = env != nullptr ? env : "";
    if (text.empty() || text == "tone") {
        return source;
    }
    if (text.rfind("tone:", 0) == 0) {
        const double f = std::atof(text.c_str() + 5);
        if (f > 0 && std::isfinite(f)) {
            source.frequency = f;
        }
        return source;
    }
    source.tone = false;
    source.path = text;
    return source;
}

class VirtualWaveIn final : public DeviceWorker<WaveIn>, private VirtualClockListener {
  public:
    VirtualWaveIn(const PcmFormat& format, ReceiverHandle owner, InputSpec source, UniqueFd fd,
                  WavLayout layout)
        : DeviceWorker(format, owner), spec_(std::move(source)), fd_(std::move(fd)),
          layout_(layout), framesPerSecond_(format.sampleRate * virtualSpeed()),
          last_(virtualNow()) {
        startWorker();
        addClockListener(this);
    }
    ~VirtualWaveIn() override {
        removeClockListener(this);
        close();
    }

    DeviceError addBuffer(WaveHeader* h) override {
        return enqueue(h, [this] {
            if (queue_.size() == 1) {
                last_ = virtualNow();
                skipUntil(last_); // no buffer was there to take what came meanwhile
            }
        });
    }

    DeviceError start() override {
        return whileOpen([this] {
            if (!running_) {
                running_ = true;
                last_ = virtualNow();
                credit_ = 0;
                if (spec_.freeRunning && !started_) {
                    // The source plays from the first start of any device of it.
                    InputSource& src = inputSource();
                    std::lock_guard sourceLock(src.mutex);
                    origin_ =
                        src.origins.try_emplace(spec_.tone ? std::string() : spec_.path, last_)
                            .first->second;
                    started_ = true;
                }
                skipUntil(last_);
                cv_.notify_all();
            }
        });
    }

    DeviceError stop() override {
        return whileOpen([this] {
            advance(virtualNow());
            running_ = false;
            if (!queue_.empty() && queue_.front()->bytesRecorded > 0) {
                WaveHeader* h = queue_.front();
                queue_.pop_front();
                handBack(h);
            }
        });
    }

    bool endOfInput() const override {
        std::lock_guard lock(mutex_);
        return ended_;
    }

    std::uint64_t overruns() const override { return overruns_.load(); }

    // The next `frames` frames of the source are lost, as in an overrun.
    bool injectOverrun(std::uint32_t frames) {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return false;
        }
        ++overruns_;
        if (spec_.freeRunning) {
            next_ += frames;
        } else {
            lostFrames_ += frames;
        }
        return true;
    }

  private:
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
            if (!running_ || ended_ || queue_.empty()) {
                cv_.wait(lock);
                continue;
            }
            const WaveHeader* head = queue_.front();
            double owed = credit_;
            if (spec_.freeRunning) {
                const std::uint64_t due = sourceFrameAt(virtualNow());
                owed = due > next_ ? static_cast<double>(due - next_) : 0.0;
            }
            const double framesLeft =
                static_cast<double>((head->bufferLength - head->bytesRecorded) /
                                    format().blockAlign()) -
                owed;
            const double seconds = std::clamp(framesLeft / framesPerSecond_, 0.0, 1.0);
            sleepUntil(cv_, lock, last_, seconds);
        }
    }

    // The frame of a free-running source that plays at `t` (0 before this device knows when
    // it began).
    std::uint64_t sourceFrameAt(Clock::time_point t) const {
        if (!started_) {
            return 0;
        }
        return static_cast<std::uint64_t>(std::floor(framesBetween(origin_, t, framesPerSecond_)));
    }

    // A free-running source moves on to `now` without anyone taking its frames.
    void skipUntil(Clock::time_point now) {
        if (spec_.freeRunning) {
            next_ = std::max(next_, sourceFrameAt(now));
        }
    }

    // Free-running: the queued buffers take the source's frames from next_ up to those due at
    // `now`; what they cannot take is lost.
    void advanceFreeRunning(Clock::time_point now) {
        const std::uint64_t due = sourceFrameAt(now);
        const std::uint32_t frameBytes = format().blockAlign();
        while (running_ && !ended_ && !queue_.empty() && next_ < due) {
            WaveHeader* h = queue_.front();
            const std::uint32_t room = (h->bufferLength - h->bytesRecorded) / frameBytes;
            const auto want =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(room, due - next_));
            const std::uint32_t got =
                want == 0 ? 0 : captureAt(next_, h->data + h->bytesRecorded, want);
            h->bytesRecorded += got * frameBytes;
            next_ += got;
            if (got < want) {
                ended_ = true;
                setHeaderFlags(*h, headerFlags(*h) | WHDR_ENDOFINPUT);
            }
            if (ended_ || h->bytesRecorded + frameBytes > h->bufferLength) {
                queue_.pop_front();
                handBack(h);
            }
        }
        next_ = std::max(next_, due);
        last_ = now;
    }

    void advance(Clock::time_point now) {
        if (spec_.freeRunning) {
            advanceFreeRunning(now);
            return;
        }
        if (!running_ || ended_ || queue_.empty()) {
            last_ = now;
            credit_ = 0;
            return;
        }
        credit_ += framesBetween(last_, now, framesPerSecond_);
        last_ = now;
        const std::uint32_t frameBytes = format().blockAlign();
        while (!queue_.empty() && !ended_) {
            WaveHeader* h = queue_.front();
            const std::uint32_t room = (h->bufferLength - h->bytesRecorded) / frameBytes;
            const auto want =
                static_cast<std::uint32_t>(std::min<double>(room, std::floor(credit_)));
            if (want == 0 && room > 0) {
                break;
            }
            const std::uint32_t got = capture(h->data + h->bytesRecorded, want);
            h->bytesRecorded += got * frameBytes;
            credit_ -= got;
            if (got < want) {
                ended_ = true;
                setHeaderFlags(*h, headerFlags(*h) | WHDR_ENDOFINPUT);
            }
            if (ended_ || h->bytesRecorded + frameBytes > h->bufferLength) {
                queue_.pop_front();
                handBack(h);
            }
        }
        if (queue_.empty()) {
            credit_ = 0;
        }
    }

    // Produces up to `frames` frames of the source into `out`; fewer only at its end.
    std::uint32_t capture(char* out, std::uint32_t frames) {
        InputSource& src = inputSource();
        std::lock_guard lock(src.mutex);
        const PcmFormat& f = format();
        if (lostFrames_ != 0) {
            // An injected overrun: the source moves on past the frames nobody took.
            if (spec_.tone) {
                const double step = 2.0 * std::numbers::pi * spec_.frequency / f.sampleRate;
                src.tonePhase = std::fmod(src.tonePhase + step * static_cast<double>(lostFrames_),
                                          2.0 * std::numbers::pi);
            } else {
                std::uint64_t& at = src.fileOffsets[spec_.path];
                at = std::min(layout_.dataBytes, at + lostFrames_ * f.blockAlign());
            }
            lostFrames_ = 0;
        }
        if (spec_.tone) {
            const double step = 2.0 * std::numbers::pi * spec_.frequency / f.sampleRate;
            for (std::uint32_t i = 0; i < frames; ++i) {
                out = putToneFrame(out, 0.5 * std::sin(src.tonePhase), f);
                src.tonePhase = std::fmod(src.tonePhase + step, 2.0 * std::numbers::pi);
            }
            return frames;
        }
        std::uint64_t& offset = src.fileOffsets[spec_.path];
        const std::uint32_t read = readData(offset, out, frames);
        offset += std::uint64_t{read} * f.blockAlign();
        return read;
    }

    // Frames `first`... of a free-running source into `out`: the file's frames at that place
    // or the tone's samples at that time; fewer only past the file's end.
    std::uint32_t captureAt(std::uint64_t first, char* out, std::uint32_t frames) {
        const PcmFormat& f = format();
        if (spec_.tone) {
            const double step = 2.0 * std::numbers::pi * spec_.frequency / f.sampleRate;
            for (std::uint32_t i = 0; i < frames; ++i) {
                const double phase =
                    std::fmod(static_cast<double>(first + i) * step, 2.0 * std::numbers::pi);
                out = putToneFrame(out, 0.5 * std::sin(phase), f);
            }
            return frames;
        }
        return readData(first * f.blockAlign(), out, frames);
    }

    // Up to `frames` frames of the file's data from byte `at` of it into `out`; fewer only
    // past its end, none when the file shrank under us (its end has come).
    std::uint32_t readData(std::uint64_t at, char* out, std::uint32_t frames) {
        const std::uint32_t blockAlign = format().blockAlign();
        const std::uint64_t left = layout_.dataBytes > at ? layout_.dataBytes - at : 0;
        const std::uint64_t bytes =
            std::min<std::uint64_t>(left, std::uint64_t{frames} * blockAlign);
        if (bytes > 0 && !common::preadExact(fd_.get(), out, static_cast<size_t>(bytes),
                                             static_cast<off_t>(layout_.dataOffset + at))) {
            return 0;
        }
        return static_cast<std::uint32_t>(bytes / blockAlign);
    }

    // One frame of a tone at `value` (-1..1) in every channel; returns the byte after it.
    static char* putToneFrame(char* out, double value, const PcmFormat& f) {
        for (std::uint16_t c = 0; c < f.channels; ++c) {
            if (f.bitsPerSample == 16) {
                const auto s = static_cast<std::int16_t>(std::lround(value * 32767.0));
                std::memcpy(out, &s, 2);
                out += 2;
            } else {
                *out++ =
                    static_cast<char>(static_cast<unsigned char>(128 + std::lround(value * 127.0)));
            }
        }
        return out;
    }

    void releaseAllLocked() override {
        handBackQueue();
        running_ = false;
        credit_ = 0;
    }

    const InputSpec spec_;
    const UniqueFd fd_;
    const WavLayout layout_;
    const double framesPerSecond_;

    // Guarded by mutex_.
    // Free-running: when the source began to play, known from this device's first start.
    Clock::time_point origin_;
    bool started_ = false;
    double credit_ = 0;
    std::uint64_t next_ = 0; // free-running: the source's next frame a buffer would take
    Clock::time_point last_;
    bool running_ = false;
    bool ended_ = false;
    std::uint64_t lostFrames_ = 0; // frames an injected overrun still has to skip
    std::atomic<std::uint64_t> overruns_{0};
};

} // namespace

bool injectVirtualOverrun(WaveIn& device, std::uint32_t frames) {
    auto* input = dynamic_cast<VirtualWaveIn*>(&device);
    return input != nullptr && input->injectOverrun(frames);
}

WaveInPtr openVirtualWaveIn(const PcmFormat& format, ReceiverHandle owner, DeviceError* error) {
    InputSpec source = inputSpec();
    UniqueFd fd;
    WavLayout layout;
    if (!source.tone) {
        fd.reset(::open(source.path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd.valid()) {
            return failWith(error, DeviceError::NoDriver);
        }
        if (!readWavLayout(fd.get(), layout)) {
            return failWith(error, DeviceError::Failed);
        }
        if (!(layout.format == format)) {
            return failWith(error, DeviceError::BadFormat);
        }
    }
    return std::make_shared<VirtualWaveIn>(format, owner, std::move(source), std::move(fd), layout);
}
QStringList virtualInputNames() {
    return {QStringLiteral("Virtual input")};
}

} // namespace mireldo::platform::audio
