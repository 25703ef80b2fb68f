#include "record_player.h"

#include "audio_play_thread.h"

#include <QFile>

namespace mireldo::recorder {

RecordPlayer::RecordPlayer(platform::ReceiverHandle owner, std::uint32_t message,
                           std::uint32_t notifyMs)
    : thread_(std::make_unique<playback::CAudioPlayThread>()) {
    started_ = thread_->CreateThread();
    if (started_) {
        thread_->SetNotify(owner, message, notifyMs);
    }
}

RecordPlayer::~RecordPlayer() {
    if (started_) {
        stop();
        thread_->Quit(30);
    }
}

bool RecordPlayer::playing() const {
    return started_ && thread_->IsOpen();
}

bool RecordPlayer::open(const QString& path) {
    SondrelStream* stream = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (Sondrel_OpenStream(&stream, name.constData(), 1, 2) != SONDREL_OK) {
        return false;
    }
    next_.reset(stream);
    return true;
}

int RecordPlayer::start(int device, const WAVEFORMATEX& format, std::uint32_t total,
                        std::uint32_t from) {
    StreamPtr stream = std::move(next_);
    if (!started_ || !stream) {
        return 2;
    }
    const int result = thread_->Play(device, stream.get(), format, total, from);
    if (result == 0) {
        // The thread reads the new stream now; the one it played before can go.
        playing_ = std::move(stream);
    }
    return result;
}

void RecordPlayer::seek(std::uint32_t frame) {
    if (playing()) {
        thread_->Seek(frame);
    }
}

void RecordPlayer::stop() {
    if (playing()) {
        thread_->Stop();
        thread_->FreeBuffers();
    }
    playing_.reset();
    next_.reset();
}

} // namespace mireldo::recorder
