#include "audio_play_thread.h"

#include "message_receiver.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>

#include <cstring>

namespace mireldo::playback {

using namespace platform::audio;

/// Receives the engine's reports on the owner's thread, in the order the engine sent them.
class CAudioPlayThread::ReportRelay : public platform::MessageReceiver {
  public:
    explicit ReportRelay(CAudioPlayThread& player) {
        onMessage<PlayerReport>(PLAYER_MSG_REPORT,
                                [&player](const PlayerReport& r) { player.passOn(r); });
    }
};

CAudioPlayThread::CAudioPlayThread()
    : opener_([](int device, const PcmFormat& format, platform::ReceiverHandle owner) {
          return openWaveOut(device, format, owner);
      }),
      relay_(std::make_unique<ReportRelay>(*this)) {}

CAudioPlayThread::~CAudioPlayThread() {
    if (isRunning()) {
        quit();
        wait();
    }
    if (output_) {
        output_->close();
    }
    relay_->stopReceiving();
}

platform::ReceiverHandle CAudioPlayThread::ReportWindow() const {
    return relay_->handle();
}

void CAudioPlayThread::passOn(const PlayerReport& report) {
    if (report.sequence != reportedPlay_ || reportedPlay_ == 0) {
        return; // about a stream stopped or replaced since the engine sent it
    }
    // At once: a Stop or Play the owner makes in its handler then finds no report of the
    // stream before it still on its way.
    platform::sendMessage(notifyWindow_, notifyMessage_, report.position, report.end ? 1 : 0);
}

bool CAudioPlayThread::CreateThread() {
    if (isRunning()) {
        return startedOk_;
    }
    start(QThread::HighestPriority);
    started_.wait();
    return startedOk_;
}

void CAudioPlayThread::run() {
    std::unique_ptr<CAudioPlayWnd> engine;
    try {
        engine = std::make_unique<CAudioPlayWnd>(shared_);
    } catch (...) {
        startedOk_ = false;
        started_.set();
        return;
    }
    engine_ = engine.get();
    window_ = engine->handle();
    // Decoding ahead runs whenever the loop has nothing else to do; while it finds work it
    // wakes the loop so that another idle round follows the events that came meanwhile.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    CAudioPlayWnd* raw = engine.get();
    QObject::connect(
        dispatcher, &QAbstractEventDispatcher::aboutToBlock, raw,
        [raw, dispatcher] {
            if (raw->OnIdle()) {
                dispatcher->wakeUp();
            }
        },
        Qt::DirectConnection);
    startedOk_ = true;
    started_.set();
    exec();
    engine.reset();
    engine_ = nullptr;
}

void CAudioPlayThread::SetNotify(platform::ReceiverHandle window, std::uint32_t message,
                                 std::uint32_t intervalMs) {
    notifyWindow_ = window;
    notifyMessage_ = message;
    if (engine_ != nullptr) {
        engine_->SetNotify(relay_->handle(), PLAYER_MSG_REPORT, intervalMs);
    }
}

bool CAudioPlayThread::request(std::uint32_t message, std::uintptr_t wParam) {
    shared_.reply.reset();
    if (!platform::postMessage(window_, message, wParam)) {
        return false;
    }
    shared_.reply.wait();
    return true;
}

int CAudioPlayThread::Play(int device, SondrelStream* stream, const WAVEFORMATEX& format,
                           std::uint32_t total, std::uint32_t start) {
    // 1. Reuse the open output for the very same format, else open the device.
    WaveOutPtr output;
    bool opened = false;
    if (output_ && std::memcmp(&openFormat_, &format, sizeof format) == 0) {
        output = output_;
    } else {
        output = opener_ ? opener_(device, pcmFormatOf(format), window_) : nullptr;
        if (!output) {
            return 1;
        }
        opened = true;
        // Before any audio reaches it, so the first buffer already plays at our volume.
        output->setVolume(volume_);
    }
    // 2. End decoding of the stream played so far; the engine first lets go of it and drops
    //    a Play of it that it has not handled yet.
    std::uint64_t sequence = 0;
    {
        std::lock_guard lock(shared_.mutex);
        sequence = ++shared_.latestPlay;
    }
    // From here on only this Play's reports reach the owner.
    reportedPlay_ = sequence;
    if (activeStream_ != nullptr) {
        if (engine_ != nullptr) {
            engine_->DetachStream();
        }
        Sondrel_DecodeAudioEnd(activeStream_);
        activeStream_ = nullptr;
    }
    // 3. Begin decoding the new stream.
    if (stream == nullptr || Sondrel_DecodeAudioBegin(stream) != SONDREL_OK) {
        if (opened) {
            output->close();
        }
        return 2;
    }
    // 4. Hand the stream to the engine.
    //    A request that cannot be posted is dropped before postMessage() returns.
    PlayRequest request;
    request.output = output;
    request.stream = stream;
    request.format = format;
    request.total = total;
    request.start = start;
    request.sequence = sequence;
    if (!platform::postMessage(window_, PLAYER_MSG_PLAY, std::move(request))) {
        Sondrel_DecodeAudioEnd(stream);
        if (opened) {
            output->close();
        }
        return 3;
    }
    // 5. Only now let the previous output go.
    if (opened && output_) {
        output_->close();
    }
    output_ = std::move(output);
    activeStream_ = stream;
    openFormat_ = format;
    paused_ = false;
    output_->setVolume(volume_);
    return 0;
}

int CAudioPlayThread::Pause() {
    if (!request(PLAYER_MSG_PAUSE)) {
        return 0;
    }
    paused_ = true;
    return 1;
}

void CAudioPlayThread::Resume() {
    if (request(PLAYER_MSG_RESUME)) {
        paused_ = false;
    }
}

void CAudioPlayThread::Stop() {
    // Reports of what played until now, some perhaps already queued, stop here.
    reportedPlay_ = 0;
    if (!request(PLAYER_MSG_STOP)) {
        return;
    }
    if (activeStream_ != nullptr) {
        Sondrel_DecodeAudioEnd(activeStream_);
        // Forgotten, so a later Play does not end it again after its owner has closed it.
        activeStream_ = nullptr;
    }
    if (output_) {
        output_->close();
        output_.reset();
    }
    openFormat_ = WAVEFORMATEX{};
}

void CAudioPlayThread::Seek(std::uint32_t frame) {
    request(PLAYER_MSG_SEEK, frame);
}

void CAudioPlayThread::FreeBuffers() {
    request(PLAYER_MSG_FREE_BUFFERS);
}

bool CAudioPlayThread::Quit(std::uint32_t seconds) {
    quit();
    if (seconds == 0) {
        return wait();
    }
    return wait(QDeadlineTimer(static_cast<qint64>(seconds) * 1000));
}

void CAudioPlayThread::SetVolume(std::uint32_t volume) {
    volume_ = volume;
    if (output_) {
        output_->setVolume(volume);
    }
}

} // namespace mireldo::playback
