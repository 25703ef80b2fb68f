// The ALSA back-end. Each open device runs one worker thread that owns the snd_pcm_t: it
// copies audio between the owner's buffers and a scratch block while holding the device's
// lock, and calls ALSA without it, so reset() and close() never wait on ALSA and never leave
// ALSA holding a pointer into an owner's buffer.
//
// A played buffer is handed back only when ALSA reports its last frame played (written minus
// delay), so an owner that closes after the last MM_WOM_DONE cuts nothing off.
//
// The lock, worker thread, header queue and close/reset come from DeviceWorker
// (device_worker.h), which also states the thread rules; this file holds what ALSA adds.

#include "alsa_devices.h"
#include "backends.h"
#include "device_worker.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace mireldo::platform::audio {

namespace {

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmPtr = std::unique_ptr<snd_pcm_t, PcmCloser>;

QStringList names(const std::vector<AlsaDeviceInfo>& devices) {
    QStringList out;
    for (const auto& d : devices) {
        out.push_back(d.name);
    }
    return out;
}

// The PCM name of device `device` of a list (-1: the wave mapper, ALSA's "default"); empty
// when the index is out of range.
std::string pcmOf(int device, const std::vector<AlsaDeviceInfo>& devices) {
    if (device < 0) {
        return "default";
    }
    if (static_cast<std::size_t>(device) >= devices.size()) {
        return {};
    }
    return devices[static_cast<std::size_t>(device)].pcm;
}

// Opens and configures a PCM: interleaved, the format's own sample type, resampling allowed,
// `latencyUs` of buffering, started as soon as one period is queued.
PcmPtr openPcm(const std::string& id, snd_pcm_stream_t direction, const PcmFormat& format,
               unsigned latencyUs, DeviceError* error, snd_pcm_uframes_t& period) {
    if (id.empty()) {
        failWith(error, DeviceError::BadDeviceId);
        return nullptr;
    }
    snd_pcm_t* raw = nullptr;
    const int opened = snd_pcm_open(&raw, id.c_str(), direction, 0);
    if (opened < 0) {
        failWith(error, opened == -EBUSY ? DeviceError::Allocated : DeviceError::NoDriver);
        return nullptr;
    }
    PcmPtr pcm(raw);
    const snd_pcm_format_t sampleFormat =
        format.bitsPerSample == 16 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U8;
    if (snd_pcm_set_params(pcm.get(), sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                           format.sampleRate, 1, latencyUs) < 0) {
        failWith(error, DeviceError::BadFormat);
        return nullptr;
    }
    snd_pcm_uframes_t buffer = 0;
    if (snd_pcm_get_params(pcm.get(), &buffer, &period) < 0 || period == 0) {
        period = format.sampleRate / 50 + 1;
    }
    snd_pcm_sw_params_t* sw = nullptr;
    if (snd_pcm_sw_params_malloc(&sw) == 0) {
        if (snd_pcm_sw_params_current(pcm.get(), sw) == 0 &&
            snd_pcm_sw_params_set_start_threshold(pcm.get(), sw, period) == 0) {
            snd_pcm_sw_params(pcm.get(), sw);
        }
        snd_pcm_sw_params_free(sw);
    }
    return pcm;
}

// Errors after which the device is gone for good (unplugged, driver removed).
bool isFatal(int err) {
    return err == -ENODEV || err == -EBADFD || err == -EIO || err == -ENXIO;
}

class AlsaWaveOut final : public OutputWorker {
  public:
    AlsaWaveOut(const PcmFormat& format, ReceiverHandle owner, PcmPtr pcm, snd_pcm_uframes_t period)
        : OutputWorker(format, owner), pcm_(std::move(pcm)),
          periodFrames_(static_cast<std::uint32_t>(period)) {
        startWorker();
    }
    ~AlsaWaveOut() override { close(); }

    DeviceError write(WaveHeader* h) override {
        return enqueue(h, [] {});
    }

    DeviceError pause() override { return setPaused(true); }
    DeviceError restart() override { return setPaused(false); }

  private:
    // A header fully written to ALSA, waiting for its last frame to be played.
    struct Pending {
        WaveHeader* header;
        std::uint64_t endFrame;
    };

    DeviceError setPaused(bool paused) {
        return whileOpen([&] {
            paused_ = paused;
            cv_.notify_all();
        });
    }

    void run() override {
        snd_pcm_t* pcm = pcm_.get();
        const std::uint32_t frameBytes = format().blockAlign();
        std::vector<char> scratch;
        bool alsaPaused = false;
        std::unique_lock lock(mutex_);
        while (!closed_) {
            if (dropRequested_) {
                dropRequested_ = false;
                lock.unlock();
                snd_pcm_drop(pcm);
                snd_pcm_prepare(pcm);
                alsaPaused = false;
                lock.lock();
                continue;
            }
            if (paused_ != alsaPaused && !dead_) {
                const bool want = paused_;
                lock.unlock();
                // Devices that cannot pause simply run dry; restart() then recovers them.
                if (snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING ||
                    snd_pcm_state(pcm) == SND_PCM_STATE_PAUSED) {
                    snd_pcm_pause(pcm, want ? 1 : 0);
                }
                alsaPaused = want;
                lock.lock();
                continue;
            }
            if (dead_) {
                // The device is gone: whatever is written comes straight back.
                handBackAll();
                cv_.wait(lock);
                continue;
            }
            if (!paused_ && !queue_.empty()) {
                WaveHeader* h = queue_.front();
                const std::uint32_t framesLeft = (h->bufferLength - headDone_) / frameBytes;
                if (framesLeft == 0) {
                    queue_.pop_front();
                    headDone_ = 0;
                    pending_.push_back({h, written_});
                    continue;
                }
                const std::uint32_t frames = std::min(framesLeft, periodFrames_);
                const std::uint32_t bytes = frames * frameBytes;
                scratch.assign(h->data + headDone_, h->data + headDone_ + bytes);
                applyVolume(scratch.data(), bytes, format(), volume_);
                const std::uint64_t generation = generation_;
                lock.unlock();
                snd_pcm_sframes_t n = snd_pcm_writei(pcm, scratch.data(), frames);
                if (n == -EPIPE || n == -ESTRPIPE) {
                    // Underrun (or suspend): recover and let the next round write again.
                    if (snd_pcm_recover(pcm, static_cast<int>(n), 1) == 0) {
                        n = 0;
                    }
                }
                lock.lock();
                if (generation != generation_) {
                    continue; // reset while writing: those frames no longer count
                }
                if (n < 0) {
                    if (isFatal(static_cast<int>(n)) || n != -EAGAIN) {
                        dead_ = true;
                    }
                    continue;
                }
                headDone_ += static_cast<std::uint32_t>(n) * frameBytes;
                written_ += static_cast<std::uint64_t>(n);
                if (headDone_ >= h->bufferLength) {
                    queue_.pop_front();
                    headDone_ = 0;
                    pending_.push_back({h, written_});
                }
                updatePlayed(lock, pcm);
                continue;
            }
            if (!pending_.empty() && !paused_) {
                updatePlayed(lock, pcm);
                if (!pending_.empty() && !closed_ && !dropRequested_) {
                    cv_.wait_for(lock, std::chrono::milliseconds(10));
                }
                continue;
            }
            cv_.wait(lock);
        }
        lock.unlock();
        snd_pcm_drop(pcm);
    }

    // Reads how far ALSA has played and hands back the buffers it has finished. Called with
    // the lock held; releases it around the ALSA calls.
    void updatePlayed(std::unique_lock<std::mutex>& lock, snd_pcm_t* pcm) {
        const std::uint64_t generation = generation_;
        lock.unlock();
        snd_pcm_state_t state = snd_pcm_state(pcm);
        if (state == SND_PCM_STATE_PREPARED) {
            // Less than the start threshold was written: start it so the tail plays.
            snd_pcm_start(pcm);
            state = snd_pcm_state(pcm);
        }
        snd_pcm_sframes_t delay = 0;
        const int err = state == SND_PCM_STATE_XRUN ? -EPIPE : snd_pcm_delay(pcm, &delay);
        lock.lock();
        if (generation != generation_) {
            return;
        }
        if (err == -EPIPE) {
            delay = 0; // ran dry: everything written has been played
        } else if (err < 0) {
            if (isFatal(err)) {
                dead_ = true;
            }
            return;
        }
        const auto queued = static_cast<std::uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0));
        const std::uint64_t played = written_ > queued ? written_ - queued : 0;
        played_ = std::max(played_, played);
        while (!pending_.empty() && pending_.front().endFrame <= played_) {
            handBack(pending_.front().header);
            pending_.pop_front();
        }
    }

    // Hands back what ALSA holds (written, not yet played) first, then the queue behind it.
    void handBackAll() {
        for (const Pending& p : pending_) {
            handBack(p.header);
        }
        pending_.clear();
        handBackQueue();
        headDone_ = 0;
    }

    // Hands everything back and has the worker drop what ALSA still holds.
    void releaseAllLocked() override {
        handBackAll();
        written_ = 0;
        played_ = 0;
        paused_ = false;
        ++generation_;
        dropRequested_ = true;
        cv_.notify_all();
    }

    const PcmPtr pcm_;
    const std::uint32_t periodFrames_;

    // Guarded by mutex_. played_ (in OutputWorker) counts the frames ALSA has played since the
    // last reset; the worker keeps it current.
    std::deque<Pending> pending_;
    std::uint32_t headDone_ = 0;
    std::uint64_t written_ = 0; // frames given to ALSA since the last reset
    std::uint64_t generation_ = 0;
    bool paused_ = false;
    bool dropRequested_ = false;
    bool dead_ = false;
};

class AlsaWaveIn final : public DeviceWorker<WaveIn> {
  public:
    AlsaWaveIn(const PcmFormat& format, ReceiverHandle owner, PcmPtr pcm, snd_pcm_uframes_t period)
        : DeviceWorker(format, owner), pcm_(std::move(pcm)),
          periodFrames_(static_cast<std::uint32_t>(period)) {
        startWorker();
    }
    ~AlsaWaveIn() override { close(); }

    DeviceError addBuffer(WaveHeader* h) override {
        return enqueue(h, [this] {
            if (dead_) {
                handBackQueue(); // the device is gone: the buffer comes straight back
            }
        });
    }

    DeviceError start() override {
        return whileOpen([this] {
            running_ = true;
            cv_.notify_all();
        });
    }

    DeviceError stop() override {
        return whileOpen([this] {
            stopLocked();
            if (!queue_.empty() && queue_.front()->bytesRecorded > 0) {
                WaveHeader* h = queue_.front();
                queue_.pop_front();
                handBack(h);
            }
        });
    }

    bool endOfInput() const override { return false; }
    std::uint64_t overruns() const override { return overruns_.load(); }

  private:
    void stopLocked() {
        running_ = false;
        ++generation_;
        dropRequested_ = true;
        cv_.notify_all();
    }

    void releaseAllLocked() override {
        stopLocked();
        handBackQueue();
    }

    void run() override {
        snd_pcm_t* pcm = pcm_.get();
        const std::uint32_t frameBytes = format().blockAlign();
        std::vector<char> scratch;
        std::unique_lock lock(mutex_);
        while (!closed_) {
            if (dropRequested_) {
                dropRequested_ = false;
                lock.unlock();
                snd_pcm_drop(pcm);
                snd_pcm_prepare(pcm);
                lock.lock();
                continue;
            }
            if (!running_ || queue_.empty() || dead_) {
                cv_.wait(lock);
                continue;
            }
            WaveHeader* h = queue_.front();
            const std::uint32_t room = (h->bufferLength - h->bytesRecorded) / frameBytes;
            const std::uint32_t frames = std::min(room, periodFrames_);
            scratch.resize(std::size_t{frames} * frameBytes);
            const std::uint64_t generation = generation_;
            lock.unlock();
            snd_pcm_sframes_t n = frames > 0 ? snd_pcm_readi(pcm, scratch.data(), frames) : 0;
            if (n == -EPIPE || n == -ESTRPIPE) {
                // Overrun (or suspend): what was lost is lost; counted, and capture goes on.
                ++overruns_;
                if (snd_pcm_recover(pcm, static_cast<int>(n), 1) == 0) {
                    n = 0;
                }
            }
            lock.lock();
            if (generation != generation_) {
                continue; // stopped or reset while reading: the header may be gone
            }
            if (n < 0) {
                if (n != -EAGAIN) {
                    dead_ = true;
                    handBackQueue();
                }
                continue;
            }
            const auto bytes = static_cast<std::uint32_t>(n) * frameBytes;
            std::copy_n(scratch.data(), bytes, h->data + h->bytesRecorded);
            h->bytesRecorded += bytes;
            if (h->bytesRecorded + frameBytes > h->bufferLength) {
                queue_.pop_front();
                handBack(h);
            }
        }
        lock.unlock();
        snd_pcm_drop(pcm);
    }

    const PcmPtr pcm_;
    const std::uint32_t periodFrames_;
    std::atomic<std::uint64_t> overruns_{0}; // counted by the capture thread

    // Guarded by mutex_.
    std::uint64_t generation_ = 0;
    bool running_ = false;
    bool dropRequested_ = false;
    bool dead_ = false;
};

} // namespace

WaveOutPtr openAlsaWaveOut(int device, const PcmFormat& format, ReceiverHandle owner,
                           DeviceError* error) {
    snd_pcm_uframes_t period = 0;
    PcmPtr pcm = openPcm(pcmOf(device, alsaPlaybackDevices()), SND_PCM_STREAM_PLAYBACK, format,
                         200000, error, period);
    if (!pcm) {
        return nullptr;
    }
    return std::make_shared<AlsaWaveOut>(format, owner, std::move(pcm), period);
}

WaveOutPtr openAlsaWaveOutPcm(const std::string& pcmName, const PcmFormat& format,
                              ReceiverHandle owner, DeviceError* error) {
    snd_pcm_uframes_t period = 0;
    PcmPtr pcm = openPcm(pcmName, SND_PCM_STREAM_PLAYBACK, format, 200000, error, period);
    if (!pcm) {
        return nullptr;
    }
    return std::make_shared<AlsaWaveOut>(format, owner, std::move(pcm), period);
}

WaveInPtr openAlsaWaveIn(int device, const PcmFormat& format, ReceiverHandle owner,
                         DeviceError* error) {
    snd_pcm_uframes_t period = 0;
    PcmPtr pcm = openPcm(pcmOf(device, alsaCaptureDevices()), SND_PCM_STREAM_CAPTURE, format,
                         100000, error, period);
    if (!pcm) {
        return nullptr;
    }
    return std::make_shared<AlsaWaveIn>(format, owner, std::move(pcm), period);
}

QStringList alsaOutputNames() {
    return names(alsaPlaybackDevices());
}
QStringList alsaInputNames() {
    return names(alsaCaptureDevices());
}

} // namespace mireldo::platform::audio
