// The endpoint capture device over libpulse; the header states the threads and ownership.

#include "pulse_wave_in.h"

#include "backends.h"
#include "device_worker.h"
#include "endpoint_conversion.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>

namespace mireldo::platform::audio {

namespace {

using Clock = std::chrono::steady_clock;

// How long opening may wait for the server, in all.
constexpr auto kOpenTimeout = std::chrono::seconds(5);
// The longest the capture thread sleeps, and the stream's fragment length, in microseconds.
constexpr int kPollMicroseconds = 50000;

struct MainloopFree {
    void operator()(pa_mainloop* m) const { pa_mainloop_free(m); }
};
struct ContextEnd {
    void operator()(pa_context* c) const {
        pa_context_disconnect(c);
        pa_context_unref(c);
    }
};
struct StreamEnd {
    void operator()(pa_stream* s) const {
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(s))) {
            pa_stream_disconnect(s);
        }
        pa_stream_unref(s);
    }
};
struct OperationUnref {
    void operator()(pa_operation* o) const { pa_operation_unref(o); }
};
using MainloopPtr = std::unique_ptr<pa_mainloop, MainloopFree>;
using ContextPtr = std::unique_ptr<pa_context, ContextEnd>;
using StreamPtr = std::unique_ptr<pa_stream, StreamEnd>;
using OperationPtr = std::unique_ptr<pa_operation, OperationUnref>;

// A connection to the server: loop, context and (once made) the stream. Members are declared
// so that the stream goes first, then the context, then the loop.
struct Connection {
    MainloopPtr loop;
    ContextPtr context;
    StreamPtr stream;
};

// One round of the loop, sleeping at most `timeoutUs`. False when the loop fails.
bool iterateOnce(pa_mainloop* loop, int timeoutUs) {
    return pa_mainloop_prepare(loop, timeoutUs) >= 0 && pa_mainloop_poll(loop) >= 0 &&
           pa_mainloop_dispatch(loop) >= 0;
}

// Runs the loop until `done` holds; false on a loop failure or once `deadline` has passed.
template <class Done>
bool iterateUntil(pa_mainloop* loop, Clock::time_point deadline, Done&& done) {
    while (!done()) {
        if (Clock::now() >= deadline || !iterateOnce(loop, kPollMicroseconds)) {
            return false;
        }
    }
    return true;
}

// Connects to the server (never starting one); the context is READY on success.
bool connect(Connection& c, Clock::time_point deadline) {
    c.loop.reset(pa_mainloop_new());
    if (!c.loop) {
        return false;
    }
    c.context.reset(pa_context_new(pa_mainloop_get_api(c.loop.get()), "Mireldo"));
    if (!c.context ||
        pa_context_connect(c.context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return false;
    }
    pa_context* context = c.context.get();
    return iterateUntil(c.loop.get(), deadline,
                        [context] {
                            const pa_context_state_t s = pa_context_get_state(context);
                            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
                        }) &&
           pa_context_get_state(context) == PA_CONTEXT_READY;
}

// Waits for `op` to finish; false on a time-out or a loop failure.
bool finish(Connection& c, pa_operation* raw, Clock::time_point deadline) {
    if (raw == nullptr) {
        return false;
    }
    OperationPtr op(raw);
    return iterateUntil(c.loop.get(), deadline,
                        [&] { return pa_operation_get_state(op.get()) != PA_OPERATION_RUNNING; });
}

struct SourceFacts {
    bool found = false;
    std::string name;
    pa_sample_spec sampleSpec{};
    pa_channel_map map{};
};

void sourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* facts = static_cast<SourceFacts*>(userdata);
    if (eol == 0 && info != nullptr && !facts->found) {
        facts->found = true;
        facts->name = info->name;
        facts->sampleSpec = info->sample_spec;
        facts->map = info->channel_map;
    }
}

std::uint16_t tagOf(pa_sample_format_t f) {
    switch (f) {
    case PA_SAMPLE_FLOAT32LE:
    case PA_SAMPLE_FLOAT32BE:
        return 3;
    case PA_SAMPLE_ALAW:
        return 6;
    case PA_SAMPLE_ULAW:
        return 7;
    case PA_SAMPLE_U8:
    case PA_SAMPLE_S16LE:
    case PA_SAMPLE_S16BE:
    case PA_SAMPLE_S32LE:
    case PA_SAMPLE_S32BE:
    case PA_SAMPLE_S24LE:
    case PA_SAMPLE_S24BE:
    case PA_SAMPLE_S24_32LE:
    case PA_SAMPLE_S24_32BE:
        return 1;
    default:
        return 0;
    }
}

EndpointFormat describe(const pa_sample_spec& sampleSpec) {
    EndpointFormat f;
    f.bits = static_cast<std::uint16_t>(pa_sample_format_valid(sampleSpec.format) != 0
                                            ? pa_sample_size_of_format(sampleSpec.format) * 8
                                            : 0);
    f.channels = sampleSpec.channels;
    f.sampleRate = sampleSpec.rate;
    f.tag = tagOf(sampleSpec.format);
    return f;
}

class PulseWaveIn final : public DeviceWorker<WaveIn> {
  public:
    PulseWaveIn(const PcmFormat& format, ReceiverHandle owner, Connection connection,
                const pa_sample_spec& mix, std::unique_ptr<unsigned char[]> ring,
                std::uint32_t ringFrames)
        : DeviceWorker(format, owner), owner_(owner), connection_(std::move(connection)),
          mixFloat_(mix.format == PA_SAMPLE_FLOAT32LE), source_{mix.channels, mix.rate},
          inFrameBytes_(static_cast<std::uint32_t>(pa_frame_size(&mix))),
          outFrameBytes_(format.blockAlign()), ring_(std::move(ring)), ringFrames_(ringFrames) {
        // The server's own buffer overflowed (this client read too late): audio was lost
        // before it reached the ring. Called on the capture thread, which runs the main loop.
        pa_stream_set_overflow_callback(
            connection_.stream.get(),
            [](pa_stream*, void* self) { ++static_cast<PulseWaveIn*>(self)->overruns_; }, this);
        startWorker();
    }
    ~PulseWaveIn() override { close(); }

    DeviceError addBuffer(WaveHeader* h) override {
        return enqueue(h, [this] { wakeLocked(); });
    }

    DeviceError start() override {
        return whileOpen([this] {
            running_ = true;
            corkWanted_ = false;
            wakeLocked();
        });
    }

    // No buffer is ever held part-filled (each goes back after one conversion), so stopping
    // leaves the queue as it is; what arrived but was not converted is dropped.
    DeviceError stop() override {
        return whileOpen([this] {
            running_ = false;
            corkWanted_ = true;
            clearRingLocked();
            wakeLocked();
        });
    }

    bool endOfInput() const override { return false; }
    std::uint64_t overruns() const override { return overruns_.load(); }

    EndpointCaptureCounts counts() const {
        std::lock_guard lock(mutex_);
        return {received_, lost_, counters_.consumed, counters_.produced, source_.sampleRate};
    }

  private:
    void releaseAllLocked() override {
        running_ = false;
        corkWanted_ = true;
        clearRingLocked();
        handBackQueue();
        wakeLocked();
    }

    // Wakes the capture thread, wherever it sleeps. Lock held.
    void wakeLocked() {
        cv_.notify_all();
        if (!dead_) {
            pa_mainloop_wakeup(connection_.loop.get());
        }
    }

    void clearRingLocked() {
        ringRead_ = 0;
        ringFill_ = 0;
    }

    void run() override {
        pa_stream* stream = connection_.stream.get();
        pa_context* context = connection_.context.get();
        bool corked = false;
        std::unique_lock lock(mutex_);
        while (!closed_) {
            if (dead_) {
                // Keep what arrived; then every buffer comes back empty, so the owner sees
                // the device fail.
                deliverLocked();
                handBackQueue();
                cv_.wait(lock);
                continue;
            }
            if (corkWanted_ != corked) {
                OperationPtr op(pa_stream_cork(stream, corkWanted_ ? 1 : 0, nullptr, nullptr));
                corked = corkWanted_;
            }
            drainStreamLocked(stream);
            if (pa_stream_get_state(stream) != PA_STREAM_READY ||
                pa_context_get_state(context) != PA_CONTEXT_READY) {
                dead_ = true;
            }
            if (dead_) {
                continue;
            }
            deliverLocked();
            lock.unlock();
            const bool alive = iterateOnce(connection_.loop.get(), kPollMicroseconds);
            lock.lock();
            if (!alive) {
                dead_ = true;
            }
        }
    }

    // Takes every packet the stream holds: into the ring while running, else dropped.
    void drainStreamLocked(pa_stream* stream) {
        for (;;) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(stream, &data, &bytes) < 0) {
                dead_ = true;
                return;
            }
            if (bytes == 0) {
                return;
            }
            if (running_) {
                // Record streams deliver whole frames; a hole (no data) is silence.
                store(static_cast<const unsigned char*>(data),
                      static_cast<std::uint64_t>(bytes / inFrameBytes_));
            }
            pa_stream_drop(stream);
        }
    }

    // Appends `frames` frames at `data` (null: silence) to the ring; counts what does not fit.
    void store(const unsigned char* data, std::uint64_t frames) {
        received_ += frames;
        const std::uint64_t room = ringFrames_ - ringFill_;
        const auto take = static_cast<std::uint32_t>(std::min(frames, room));
        std::uint32_t done = 0;
        while (done < take) {
            const std::uint32_t at = (ringRead_ + ringFill_) % ringFrames_;
            const std::uint32_t n = std::min(take - done, ringFrames_ - at);
            unsigned char* to = ring_.get() + std::size_t{at} * inFrameBytes_;
            const std::size_t bytes = std::size_t{n} * inFrameBytes_;
            if (data != nullptr) {
                std::memcpy(to, data + std::size_t{done} * inFrameBytes_, bytes);
            } else {
                std::memset(to, 0, bytes);
            }
            ringFill_ += n;
            done += n;
        }
        if (take < frames) {
            lost_ += frames - take;
            if (!overflowing_) {
                overflowing_ = true;
                ++overruns_;
                const WaveIn* device = this;
                postMessage(owner_, MM_WIM_LOST,
                            WaveInputLost{device, static_cast<std::int64_t>(lost_ * 1000 /
                                                                            source_.sampleRate)});
            }
        } else {
            overflowing_ = false;
        }
    }

    // Converts from the ring into the queued buffers, one conversion per buffer.
    void deliverLocked() {
        while (!queue_.empty() && ringFill_ > 0) {
            WaveHeader* h = queue_.front();
            const std::uint32_t contiguous = std::min(ringFill_, ringFrames_ - ringRead_);
            const std::uint32_t room = (h->bufferLength - h->bytesRecorded) / outFrameBytes_;
            const unsigned char* in = ring_.get() + std::size_t{ringRead_} * inFrameBytes_;
            auto* out = reinterpret_cast<unsigned char*>(h->data) + h->bytesRecorded;
            const ConversionResult r =
                mixFloat_ ? convertFloat32(in, contiguous, source_, format(), out, room, counters_)
                          : convertInt16(in, contiguous, source_, format(), out, room, counters_);
            ringRead_ = (ringRead_ + r.consumed) % ringFrames_;
            ringFill_ -= r.consumed;
            h->bytesRecorded += r.produced * outFrameBytes_;
            if (r.produced > 0) {
                queue_.pop_front();
                handBack(h);
            } else if (r.consumed == 0) {
                return; // a frame that needs more room than a buffer has: nothing can move
            }
            // Frames consumed without output (dropped by the rate change): the same buffer
            // takes the next ones.
        }
    }

    const ReceiverHandle owner_;
    // Touched by the capture thread only once it runs (the loop's wake-up excepted).
    const Connection connection_;
    const bool mixFloat_;
    const SourceLayout source_;
    const std::uint32_t inFrameBytes_;
    const std::uint32_t outFrameBytes_;
    const std::unique_ptr<unsigned char[]> ring_;
    const std::uint32_t ringFrames_;

    // Guarded by mutex_.
    std::uint32_t ringRead_ = 0; // frame index of the oldest frame
    std::uint32_t ringFill_ = 0; // frames held
    ConversionCounters counters_;
    std::uint64_t received_ = 0;
    std::uint64_t lost_ = 0;
    bool overflowing_ = false;
    std::atomic<std::uint64_t> overruns_{0}; // ring and server overflows, each counted once
    bool running_ = false;                   // packets are kept (else dropped)
    bool corkWanted_ = false; // the server is to pause the stream (after stop or reset)
    bool dead_ = false;
};

} // namespace

WaveInPtr openPulseWaveIn(const QString& sourceName, const PcmFormat& format, ReceiverHandle owner,
                          DeviceError* error, EndpointFormat* unsupported) {
    if (!format.valid()) {
        return failWith(error, DeviceError::BadFormat);
    }
    const auto deadline = Clock::now() + kOpenTimeout;
    Connection c;
    if (!connect(c, deadline)) {
        return failWith(error, DeviceError::NoDriver);
    }

    // The source and its own sample format.
    SourceFacts facts;
    const QByteArray wanted =
        sourceName.isEmpty() ? QByteArrayLiteral("@DEFAULT_SOURCE@") : sourceName.toUtf8();
    if (!finish(c,
                pa_context_get_source_info_by_name(c.context.get(), wanted.constData(), sourceInfo,
                                                   &facts),
                deadline)) {
        return failWith(error, DeviceError::Failed);
    }
    if (!facts.found) {
        return failWith(error, DeviceError::NoDriver);
    }
    const bool native = facts.sampleSpec.format == PA_SAMPLE_S16LE ||
                        facts.sampleSpec.format == PA_SAMPLE_FLOAT32LE;
    pa_sample_spec mix = facts.sampleSpec;
    if (!native) {
        mix.format = PA_SAMPLE_FLOAT32LE; // the server converts; every source records
    }
    const auto refuseFormat = [&] {
        if (unsupported != nullptr) {
            *unsupported = describe(facts.sampleSpec);
        }
        return failWith(error, DeviceError::BadFormat);
    };
    if (pa_sample_spec_valid(&mix) == 0 || pa_channel_map_compatible(&facts.map, &mix) == 0) {
        return refuseFormat();
    }

    // The ring: kEndpointRingSeconds of the mix format.
    const std::uint64_t ringFrames = std::uint64_t{mix.rate} * kEndpointRingSeconds;
    const std::size_t frameBytes = pa_frame_size(&mix);
    std::unique_ptr<unsigned char[]> ring(
        new (std::nothrow) unsigned char[ringFrames * frameBytes]);
    if (!ring) {
        return failWith(error, DeviceError::Failed);
    }

    c.stream.reset(pa_stream_new(c.context.get(), "Recording", &mix, &facts.map));
    if (!c.stream) {
        return native ? failWith(error, DeviceError::Failed) : refuseFormat();
    }
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kPollMicroseconds, &mix));
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(c.stream.get(), facts.name.c_str(), &attr, flags) < 0) {
        return failWith(error, DeviceError::Failed);
    }
    pa_stream* stream = c.stream.get();
    const bool settled = iterateUntil(c.loop.get(), deadline, [stream] {
        const pa_stream_state_t s = pa_stream_get_state(stream);
        return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
    });
    if (!settled || pa_stream_get_state(stream) != PA_STREAM_READY) {
        const int why = pa_context_errno(c.context.get());
        if (why == PA_ERR_NOENTITY || why == PA_ERR_KILLED) {
            return failWith(error, DeviceError::NoDriver);
        }
        if (!native && (why == PA_ERR_NOTSUPPORTED || why == PA_ERR_INVALID)) {
            return refuseFormat();
        }
        return failWith(error, DeviceError::Failed);
    }

    try {
        auto device =
            std::make_shared<PulseWaveIn>(format, owner, std::move(c), mix, std::move(ring),
                                          static_cast<std::uint32_t>(ringFrames));
        if (error != nullptr) {
            *error = DeviceError::None;
        }
        return device;
    } catch (const std::system_error&) {
        return failWith(error, DeviceError::NoMemory);
    } catch (const std::bad_alloc&) {
        return failWith(error, DeviceError::NoMemory);
    }
}

std::optional<EndpointCaptureCounts> endpointCaptureCounts(const WaveIn& device) {
    if (const auto* pulse = dynamic_cast<const PulseWaveIn*>(&device)) {
        return pulse->counts();
    }
    return std::nullopt;
}

} // namespace mireldo::platform::audio
