#pragma once

// Fakes of the playlist tests: a player that records what it was asked to do, and a window that
// records what the commands and the controller told it and answers with a selection.
//
// Threads: the test's main thread only.

#include "playlist_commands.h"
#include "playlist_controller.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace playlisttest {

using mireldo::playlist::PlayerPort;
using mireldo::playlist::PlaylistHost;
using mireldo::playlist::PlaylistSelection;

class FakePlayer : public PlayerPort {
  public:
    bool isOpen() const override { return open; }
    bool isPaused() const override { return paused; }
    int play(int device, SondrelStream* stream, const WAVEFORMATEX&, std::uint32_t,
             std::uint32_t) override {
        if (failWith != 0) {
            return failWith;
        }
        devices.push_back(device);
        streams.push_back(stream);
        open = true;
        return 0;
    }
    void pause() override { paused = true; }
    void resume() override { paused = false; }
    void stop() override {
        ++stops;
        open = false;
        paused = false;
    }
    void seek(std::uint32_t frame) override { seeks.push_back(frame); }
    void setVolume(std::uint32_t v) override { volume = v; }

    bool open = false;
    bool paused = false;
    int failWith = 0;
    int stops = 0;
    std::uint32_t volume = 0;
    std::vector<int> devices;
    std::vector<SondrelStream*> streams;
    std::vector<std::uint32_t> seeks;
};

class FakeHost : public PlaylistHost {
  public:
    void showStopMessage(const QString& text) override { messages.push_back(text); }
    bool confirmMultiPlay(int) override { return true; }
    void onPlayStarted(const QString& title) override { titles.push_back(title); }
    void setPositionRange(std::uint32_t maximum) override { rangeMax = maximum; }
    void setPosition(std::uint32_t p) override { positions.push_back(p); }
    void setTimeText(const QString& text) override { timeText = text; }
    void repaintList() override { ++repaints; }
    void itemRemoving(int index) override { removedIndices.push_back(index); }
    void selectOnly(int index) override { selected.push_back(index); }
    void setBusy(bool) override {}

    std::vector<QString> messages;
    std::vector<QString> titles;
    std::vector<std::uint32_t> positions;
    std::vector<int> removedIndices;
    std::vector<int> selected;
    std::uint32_t rangeMax = 0;
    QString timeText;
    int repaints = 0;
};

/// A window that also answers the controller's selection question.
class FakeView : public FakeHost, public PlaylistSelection {
  public:
    std::vector<int> selectedIndices() const override { return selection; }

    std::vector<int> selection;
};

} // namespace playlisttest
