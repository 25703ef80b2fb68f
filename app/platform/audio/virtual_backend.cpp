// The virtual back-end: an output that appends what it plays to a WAV file and an input that
// reads a WAV file or makes a tone, both paced by a clock running at virtualSpeed() times
// real time. The input either pauses while nobody takes its audio (the default: a file is read
// on from where the last capture stopped) or, with MIRELDO_VIRTUAL_INPUT_FREE_RUNNING=1, runs on
// by the clock from the first time a device of it is started, as a sound card does: whatever
// no queued buffer of a started device is there to take (the device closed, stopped or out of
// buffers) is lost.
// Each device runs one worker thread that sleeps until the next buffer is due. Time
// comes from virtualNow(): under a test's manual clock the worker sleeps until woken, and the
// clock itself brings each device up to date when it moves (clockAdvanced()).
// The lock, worker thread, header queue and close/reset come from DeviceWorker
// (device_worker.h), which also states the thread rules; this file holds the clock and the
// files.

#include "../unique_fd.h"
#include "byte_reader.h"
#include "fd_io.h"
#include "wav_header.h"
#include "backends.h"
#include "device_worker.h"
#include "virtual_clock.h"
#include "virtual_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <numbers>
#include <set>
#include <string>
#include <vector>

namespace mireldo::platform::audio {

namespace {

using Clock = std::chrono::steady_clock;

// Frames `framesPerSecond` grants between `from` and `to`, computed from whole nanoseconds so
// that a step of exactly n buffers' duration grants exactly n buffers.
double framesBetween(Clock::time_point from, Clock::time_point to, double framesPerSecond) {
    if (to <= from) {
        return 0;
    }
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count();
    return static_cast<double>(nanos) * framesPerSecond / 1e9;
}

// Sleeps on `cv` until `deadline` on the virtual clock; under a manual clock until woken (the
// clock wakes the device by catching it up itself).
template <class Lock>
void sleepUntil(std::condition_variable& cv, Lock& lock, Clock::time_point last, double seconds) {
    if (virtualClockIsManual()) {
        cv.wait(lock);
        return;
    }
    cv.wait_until(lock, last + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(seconds)));
}

constexpr std::uint32_t kWavHeaderBytes = common::kWavHeaderBytes;
// Largest data chunk a canonical WAV header can describe.
constexpr std::uint64_t kMaxWavData = common::kMaxWavDataBytes;

std::array<std::uint8_t, kWavHeaderBytes> wavHeader(const PcmFormat& f, std::uint32_t dataBytes) {
    common::WavFormat format;
    format.channels = f.channels;
    format.sampleRate = f.sampleRate;
    format.blockAlign = static_cast<std::uint16_t>(f.blockAlign());
    format.bitsPerSample = f.bitsPerSample;
    return common::makeWavHeader(format, dataBytes);
}

// Where the PCM of a WAV file lies and what it is; found by walking the RIFF chunks.
struct WavLayout {
    PcmFormat format;
    std::uint64_t dataOffset = 0;
    std::uint64_t dataBytes = 0;
};

bool readWavLayout(int fd, WavLayout& out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 12) {
        return false;
    }
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    std::uint8_t riff[12];
    if (!common::preadExact(fd, riff, sizeof riff, 0)) {
        return false;
    }
    common::ByteReader head(riff);
    if (!common::readRiffWaveHead(head)) {
        return false;
    }
    bool haveFormat = false;
    std::uint64_t offset = 12;
    while (offset + 8 <= fileSize) {
        std::uint8_t chunkHeader[8];
        if (!common::preadExact(fd, chunkHeader, 8, offset)) {
            return false;
        }
        common::ByteReader c(chunkHeader);
        const common::RiffChunk chunk = common::readRiffChunk(c).value_or(common::RiffChunk{});
        const std::uint32_t size = chunk.size;
        const bool isFormat = chunk.is("fmt ");
        const bool isData = chunk.is("data");
        const std::uint64_t body = offset + 8;
        if (isFormat) {
            std::uint8_t fmt[16];
            if (size < 16 || body + 16 > fileSize ||
                !common::preadExact(fd, fmt, 16, body)) {
                return false;
            }
            common::ByteReader f(fmt);
            const auto parsed = common::readWavFormat(f);
            if (!parsed || parsed->formatTag != 1) {
                return false;
            }
            out.format.channels = parsed->channels;
            out.format.sampleRate = parsed->sampleRate;
            out.format.bitsPerSample = parsed->bitsPerSample;
            haveFormat = out.format.valid() && parsed->blockAlign == out.format.blockAlign();
            if (!haveFormat) {
                return false;
            }
        } else if (isData) {
            if (!haveFormat) {
                return false;
            }
            out.dataOffset = body;
            // A size running past the end (a capture cut short) counts up to the end.
            out.dataBytes = std::min<std::uint64_t>(size, fileSize - body);
            out.dataBytes -= out.dataBytes % out.format.blockAlign();
            return true;
        }
        offset = body + size + (size & 1u);
    }
    return false;
}

// ---------------------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------------------
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
                    origin_ = src.origins.try_emplace(spec_.tone ? std::string() : spec_.path,
                                                      last_)
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
                const double value = 0.5 * std::sin(src.tonePhase);
                src.tonePhase = std::fmod(src.tonePhase + step, 2.0 * std::numbers::pi);
                for (std::uint16_t c = 0; c < f.channels; ++c) {
                    if (f.bitsPerSample == 16) {
                        const auto s = static_cast<std::int16_t>(std::lround(value * 32767.0));
                        std::memcpy(out, &s, 2);
                        out += 2;
                    } else {
                        *out++ = static_cast<char>(
                            static_cast<unsigned char>(128 + std::lround(value * 127.0)));
                    }
                }
            }
            return frames;
        }
        std::uint64_t& offset = src.fileOffsets[spec_.path];
        const std::uint64_t left = layout_.dataBytes > offset ? layout_.dataBytes - offset : 0;
        const std::uint64_t bytes =
            std::min<std::uint64_t>(left, std::uint64_t{frames} * f.blockAlign());
        if (bytes > 0 && !common::preadExact(fd_.get(), out, static_cast<size_t>(bytes),
                                  static_cast<off_t>(layout_.dataOffset + offset))) {
            return 0; // the file shrank under us: its end has come
        }
        offset += bytes;
        return static_cast<std::uint32_t>(bytes / f.blockAlign());
    }

    // Frames `first`... of a free-running source into `out`: the file's frames at that place
    // or the tone's samples at that time; fewer only past the file's end.
    std::uint32_t captureAt(std::uint64_t first, char* out, std::uint32_t frames) {
        const PcmFormat& f = format();
        if (spec_.tone) {
            const double step = 2.0 * std::numbers::pi * spec_.frequency / f.sampleRate;
            for (std::uint32_t i = 0; i < frames; ++i) {
                const double value =
                    0.5 * std::sin(std::fmod(static_cast<double>(first + i) * step,
                                             2.0 * std::numbers::pi));
                for (std::uint16_t c = 0; c < f.channels; ++c) {
                    if (f.bitsPerSample == 16) {
                        const auto s = static_cast<std::int16_t>(std::lround(value * 32767.0));
                        std::memcpy(out, &s, 2);
                        out += 2;
                    } else {
                        *out++ = static_cast<char>(
                            static_cast<unsigned char>(128 + std::lround(value * 127.0)));
                    }
                }
            }
            return frames;
        }
        const std::uint64_t at = first * f.blockAlign();
        const std::uint64_t left = layout_.dataBytes > at ? layout_.dataBytes - at : 0;
        const std::uint64_t bytes =
            std::min<std::uint64_t>(left, std::uint64_t{frames} * f.blockAlign());
        if (bytes > 0 && !common::preadExact(fd_.get(), out, static_cast<size_t>(bytes),
                                  static_cast<off_t>(layout_.dataOffset + at))) {
            return 0;
        }
        return static_cast<std::uint32_t>(bytes / f.blockAlign());
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

WaveOutPtr openVirtualWaveOut(const PcmFormat& format, ReceiverHandle owner, DeviceError* error) {
    bool failed = false;
    auto sink = acquireSink(format, error, failed);
    if (failed) {
        return nullptr;
    }
    return std::make_shared<VirtualWaveOut>(format, owner, std::move(sink));
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

QStringList virtualOutputNames() {
    return {QStringLiteral("Virtual output")};
}
QStringList virtualInputNames() {
    return {QStringLiteral("Virtual input")};
}

} // namespace mireldo::platform::audio
