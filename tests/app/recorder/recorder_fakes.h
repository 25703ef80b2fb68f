#pragma once

// Fakes for the capture session's tests: a view that records what it was told and answers
// questions from a script, an input device whose buffers the test fills by hand, and a
// finalisation that counts the calls and "saves" by copying the temporary WAV.

#include "capture_session.h"

#include <QCoreApplication>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace rectest {

/// The process's QCoreApplication, made on first use.
QCoreApplication& coreApp();
/// Handles events until `done` holds or `timeoutMs` passes; returns done().
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);

class FakeView : public mireldo::recorder::RecorderView {
  public:
    mireldo::recorder::CaptureOptions opts;
    bool readOk = true;
    std::deque<mireldo::recorder::RecorderAnswer> answers; ///< next answers; Cancel when empty

    std::vector<mireldo::recorder::RecorderStatus> statuses;
    /// What the status line shows; a test resets it to play another writer of the line.
    std::optional<mireldo::recorder::RecorderStatus> shown;
    std::vector<QString> kept; ///< paths told by recordKept
    std::vector<QString> messages;
    std::vector<QString> questions;
    int recordingFailedDialogs = 0;
    mireldo::recorder::RecorderButtons buttons;
    int buttonUpdates = 0;
    std::uint32_t lengthBytes = 0;
    std::uint32_t positionFrame = 0;
    int trackbarMoves = 0;
    int fullScale = 0;
    int waveforms = 0;

    bool readControls() override { return readOk; }
    mireldo::recorder::CaptureOptions options() const override { return opts; }
    void setStatusText(mireldo::recorder::RecorderStatus code, const QString&) override {
        statuses.push_back(code);
        shown = code;
    }
    std::optional<mireldo::recorder::RecorderStatus> shownStatus() const override { return shown; }
    void recordKept(const QString& path) override { kept.push_back(path); }
    mireldo::recorder::RecorderAnswer ask(const QString& text) override;
    void showMessage(const QString& text, bool) override { messages.push_back(text); }
    void showRecordingFailed() override { ++recordingFailedDialogs; }
    void showLength(std::uint32_t bytes, const WAVEFORMATEX&) override { lengthBytes = bytes; }
    void showPosition(std::uint32_t frame, const WAVEFORMATEX&, bool move) override {
        positionFrame = frame;
        trackbarMoves += move ? 1 : 0;
    }
    void updateButtons(const mireldo::recorder::RecorderButtons& b) override {
        buttons = b;
        ++buttonUpdates;
    }
    void setWaveformFullScale(int scale) override { fullScale = scale; }
    void showWaveform(const unsigned char*, std::uint32_t, const WAVEFORMATEX&) override {
        ++waveforms;
    }
    int levelBuffers = 0; ///< buffers shown to the level meter
    std::vector<mireldo::recorder::RecorderHealth> healths;
    void showLevels(const unsigned char*, std::uint32_t, const WAVEFORMATEX&) override {
        ++levelBuffers;
    }
    void showHealth(const mireldo::recorder::RecorderHealth& health) override {
        healths.push_back(health);
    }
};

/// An input device that holds the buffers queued to it; the test fills them.
class FakeDevice : public mireldo::platform::audio::WaveIn {
  public:
    explicit FakeDevice(const mireldo::platform::audio::PcmFormat& f) : WaveIn(f) {}

    std::deque<mireldo::platform::audio::WaveHeader*> queued;
    std::vector<mireldo::platform::audio::WaveHeader*> handedBack; ///< not yet delivered
    bool refuseBuffers = false;
    int starts = 0, stops = 0, resets = 0, closes = 0;

    mireldo::platform::audio::DeviceError
    addBuffer(mireldo::platform::audio::WaveHeader* h) override;
    mireldo::platform::audio::DeviceError start() override {
        ++starts;
        return mireldo::platform::audio::DeviceError::None;
    }
    mireldo::platform::audio::DeviceError stop() override {
        ++stops;
        return mireldo::platform::audio::DeviceError::None;
    }
    mireldo::platform::audio::DeviceError reset() override;
    mireldo::platform::audio::DeviceError close() override;
    bool endOfInput() const override { return false; }
    std::uint64_t overrunCount = 0;
    std::uint64_t overruns() const override { return overrunCount; }
};

/// Opens FakeDevices and keeps them for the test.
struct DeviceFarm {
    std::vector<std::shared_ptr<FakeDevice>> devices;
    std::vector<int> openedIndices;
    bool fail = false;
    mireldo::recorder::CaptureSession::DeviceOpener opener();
    FakeDevice& last() { return *devices.back(); }
};

class FakeFinalisation : public mireldo::recorder::RecordFinalisation {
  public:
    int starts = 0, feeds = 0, finishes = 0, discards = 0;
    std::vector<bool> saves; ///< the automatic flag of each save
    std::vector<std::vector<unsigned char>> savedCopies;
    bool saveSucceeds = true;
    bool active = false;
    std::uint64_t compressed = 0;

    void startCompression(mireldo::recorder::CaptureSession&, const QString&) override {
        ++starts;
        active = true;
    }
    void feedCompression(const unsigned char*, std::uint32_t bytes) override {
        ++feeds;
        if (active) {
            compressed += bytes / 4;
        }
    }
    void finishCompression(bool discard) override {
        ++finishes;
        if (discard) {
            ++discards;
            active = false;
        }
    }
    bool compressionActive() const override { return active; }
    std::uint64_t compressedLength() const override { return compressed; }
    void save(mireldo::recorder::CaptureSession& session, bool automatic) override;
    /// A split's record, "saved" at once as an automatic save (by copying its WAV and
    /// deleting it) or, when saves fail, given back to be kept.
    void saveFinished(mireldo::recorder::CaptureSession& session,
                      mireldo::recorder::FinishedRecord record) override;
};

/// Reads a whole file.
std::vector<unsigned char> fileBytes(const QString& path);

/// `count` bytes of 16-bit mono samples: a square wave of `amplitude` around `offset`.
std::vector<unsigned char> square16(std::size_t count, int amplitude, int offset = 0);

} // namespace rectest
