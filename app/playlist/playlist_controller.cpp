#include "playlist_controller.h"

#include "audio_play_thread.h"

namespace mireldo::playlist {

// The controller's player engine behind PlayerPort. The engine starts at initialise(), after
// the port is made: until then (or when it could not start) nothing plays.
class PlaylistController::EnginePort final : public PlayerPort {
  public:
    explicit EnginePort(const std::unique_ptr<playback::CAudioPlayThread>& player)
        : player_(player) {}

    bool isOpen() const override { return player_ != nullptr && player_->IsOpen(); }
    bool isPaused() const override { return player_ != nullptr && player_->IsPaused(); }
    int play(int device, SondrelStream* stream, const WAVEFORMATEX& format, std::uint32_t total,
             std::uint32_t start) override {
        return player_ != nullptr ? player_->Play(device, stream, format, total, start) : 1;
    }
    void pause() override {
        if (player_ != nullptr) {
            player_->Pause();
        }
    }
    void resume() override {
        if (player_ != nullptr) {
            player_->Resume();
        }
    }
    void stop() override {
        if (player_ != nullptr) {
            player_->Stop();
        }
    }
    void seek(std::uint32_t frame) override {
        if (player_ != nullptr) {
            player_->Seek(frame);
        }
    }
    void setVolume(std::uint32_t volume) override {
        if (player_ != nullptr) {
            player_->SetVolume(volume);
        }
    }

  private:
    const std::unique_ptr<playback::CAudioPlayThread>& player_;
};

PlaylistController::PlaylistController(int capacity, ModelPictures pictures, PlaylistHost& host,
                                       const PlaylistSelection& selection,
                                       std::unique_ptr<PlayerPort> player)
    : host_(host), selection_(selection),
      model_(std::make_unique<PlaylistModel>(capacity, std::move(pictures))),
      port_(std::move(player)), ownEngine_(port_ == nullptr) {
    if (ownEngine_) {
        port_ = std::make_unique<EnginePort>(player_);
    }
    commands_ = std::make_unique<PlaylistCommands>(*model_, *port_, host_);
    onMessage(PLAYLIST_PLAYER_MSG, [this](std::uintptr_t position, std::intptr_t end) {
        commands_->onPlayerPosition(static_cast<std::uint32_t>(position), end != 0);
    });
}

PlaylistController::~PlaylistController() {
    shutdown();
    stopReceiving();
    // The play queue names items of the model: it goes first.
    commands_.reset();
    // The player goes before the model: it must never outlive the streams it may be given.
    port_.reset();
    player_.reset();
    model_.reset();
}

bool PlaylistController::initialise(const QString& listPath) {
    if (ownEngine_) {
        auto player = std::make_unique<playback::CAudioPlayThread>();
        if (player->CreateThread()) {
            player->SetNotify(handle(), PLAYLIST_PLAYER_MSG, kPlayerNotifyMs);
            player_ = std::move(player);
        }
    }
    return model_->initialise(listPath);
}

void PlaylistController::shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    model_->shutdown(); // saves when modified, then stops the loader
    if (player_ != nullptr) {
        if (player_->IsOpen()) {
            player_->Stop();
        }
        player_->Quit(30);
    }
}

QStringList PlaylistController::selectedPaths() const {
    QStringList paths;
    for (int index : selectedItems()) {
        if (index >= 0 && index < model_->count()) {
            paths.append(model_->item(index)->path);
        }
    }
    return paths;
}

int PlaylistController::addFile(const QString& path, bool select) {
    const int index = model_->addFile(path);
    if (select && index >= 0 && index < model_->capacity()) {
        host_.selectOnly(index);
        host_.repaintList();
    }
    return index;
}

void PlaylistController::reloadItem(const PlaylistItem* item) {
    const int index = model_->indexOf(item);
    if (index < 0) {
        return;
    }
    model_->reloadItem(index);
    host_.repaintList();
}

void PlaylistController::removeItem(int index, bool deleteFile) {
    if (index < 0 || index >= model_->count()) {
        return;
    }
    PlaylistItem* entry = model_->item(index);
    if (entry == commands_->currentItem()) {
        commands_->stopPlaying();
    }
    if (entry->queued != 0) {
        commands_->forgetItem(entry);
    }
    host_.itemRemoving(index);
    model_->removeItem(index, deleteFile);
    host_.repaintList();
}

} // namespace mireldo::playlist
