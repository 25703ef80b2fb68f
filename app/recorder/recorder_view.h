#pragma once

// What the capture session asks of the window it lives in, and the seams the saving and
// on-the-fly compression code plugs into. The main window implements RecorderView with its
// controls and message boxes; tests implement it with a fake that records every call.
//
// Threads: the user-interface thread only (the capture session's thread).

#include "record_file.h"
#include "silence_detection.h"
#include "sondrel.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace mireldo::recorder {

class CaptureSession;

/// The status line's codes; the texts are strings 489 to 493.
enum class RecorderStatus { Ready = 0, WaitForSound = 1, Recording = 2, Paused = 3, Saving = 4 };

/// Which recorder controls are enabled.
struct RecorderButtons {
    bool record = false;      ///< "R"
    bool homeEnd = false;     ///< "<<", ">>" and the position slider
    bool playCutSave = false; ///< ">", Cut Head, Cut Tail, Save Record
    bool newRecord = false;   ///< New Record
    bool stop = false;        ///< "S"
    bool deviceLists = false; ///< "Recording device:", "Output format:", the endpoint list
    friend bool operator==(const RecorderButtons&, const RecorderButtons&) = default;
};

/// How the recording fares, for the status area.
struct RecorderHealth {
    /// Recording time left on the disk of the temporary folder at the capture rate, until
    /// recording stops for low disk space; nullopt when the free space is unknown.
    std::optional<std::uint64_t> secondsLeft;
    /// Times the device lost captured audio because it was not taken in time (overruns).
    std::uint64_t overruns = 0;
    /// The device failed or went away during this Record; recording stopped.
    bool deviceLost = false;
    friend bool operator==(const RecorderHealth&, const RecorderHealth&) = default;
};

/// Answer to a Yes/No/Cancel question.
enum class RecorderAnswer { Yes, No, Cancel };

/// What the session reads from the window's members and controls.
struct CaptureOptions {
    int inputDevice = -1;          ///< row of the recording-device list; -1 the default device
    int formatRow = -1;            ///< row of the output-format list; -1 when none is selected
    bool endpointMode = false;     ///< capture goes through the endpoint (sound server) adapter
    bool endpointSelected = false; ///< an entry of the endpoint list is selected
    /// The sound server's name of the selected endpoint (a PulseAudio source), which the
    /// endpoint-mode capture records from; empty for the server's default source.
    QString endpointName;
    int encodeMethod = 0;              ///< EncodeMethod: 0 MP3, 1 WMA, 2 OGG, 3 none
    int outputDevice = 0;              ///< CurrentOutputDevice: 0 the default, n the device n - 1
    std::int32_t longBlankSeconds = 2; ///< LongBlankSeconds as the members hold it
    SilenceSettings silence;           ///< ToDropBlanks, ActionAtBlank, NoiseLevel
};

class RecorderView {
  public:
    virtual ~RecorderView() = default;

    /// Takes what the controls show into the window's members (the save direction of the
    /// exchange). False when a field holds no integer: the view has told the user and the
    /// operation must not run.
    virtual bool readControls() = 0;
    /// The members as they stand now.
    virtual CaptureOptions options() const = 0;

    /// Shows status `code` with `text` in the status line and repaints it at once.
    virtual void setStatusText(RecorderStatus code, const QString& text) = 0;
    /// The recorder status the status line shows now; nullopt when it shows none (nothing
    /// yet, or another part of the window has written its own text there since). The session
    /// sets a status only when it differs from this one.
    virtual std::optional<RecorderStatus> shownStatus() const { return std::nullopt; }
    /// Asks `text` with Yes, No and Cancel and a question icon.
    virtual RecorderAnswer ask(const QString& text) = 0;
    /// Shows `text` with OK; with the stop icon when `stopIcon` is set.
    virtual void showMessage(const QString& text, bool stopIcon) = 0;
    /// The endpoint mode's "Recording Failed" dialog.
    virtual void showRecordingFailed() = 0;
    /// A record that could not be saved was closed and left at `path` in the recording folder,
    /// where the next start of the program recovers it.
    virtual void recordKept(const QString& path) { (void)path; }
    /// Progress of a record being compressed in the background while recording goes on:
    /// `percent` 0..100 beside the status, or -1 when no compression runs any more.
    virtual void showSaveProgress(int percent) { (void)percent; }

    /// Length display and the trackbar's range: `dataBytes` of audio in `format`.
    virtual void showLength(std::uint32_t dataBytes, const WAVEFORMATEX& format) = 0;
    /// Position display at `frame`; the trackbar follows when `moveTrackbar` is set.
    virtual void showPosition(std::uint32_t frame, const WAVEFORMATEX& format,
                              bool moveTrackbar) = 0;
    virtual void updateButtons(const RecorderButtons& buttons) = 0;

    /// The live waveform's full scale (32768 for 16-bit, 128 for 8-bit audio).
    virtual void setWaveformFullScale(int fullScale) = 0;
    /// Fills the live waveform's points from one captured buffer and repaints it.
    virtual void showWaveform(const unsigned char* data, std::uint32_t bytes,
                              const WAVEFORMATEX& format) = 0;
    /// Every captured buffer, written or skipped as silence, for the level meter. Called once
    /// per buffer: it must be cheap and allocate nothing; the meter repaints at its own rate.
    virtual void showLevels(const unsigned char* data, std::uint32_t bytes,
                            const WAVEFORMATEX& format) {
        (void)data;
        (void)bytes;
        (void)format;
    }
    /// The recording's health changed (time left, overruns, device lost).
    virtual void showHealth(const RecorderHealth& health) { (void)health; }
};

/// A record ended by a split (the size limit, the long-silence action 2) while recording goes
/// on into the next one. Owns the temporary WAV, still open and locked with its header up to
/// date, until it is saved (then deleted), discarded or kept for recovery.
struct FinishedRecord {
    RecordFile file;
    WAVEFORMATEX format{};
    std::uint64_t dataStart = kWavHeaderBytes; ///< header and frames removed by Cut Head
    SilenceState silence;                      ///< its marker and compressed-file marker
    std::uint64_t dataLength() const {
        return file.length() > dataStart ? file.length() - dataStart : 0;
    }
};

/// On-the-fly compression and saving, which the capture session calls at fixed points. Every
/// function does nothing here; the saving code derives from this class and fills them in.
class RecordFinalisation {
  public:
    virtual ~RecordFinalisation() = default;

    /// A session was opened for a 16-bit capture that may be compressed while it records:
    /// start compressing into `compressedPath` (the temporary ".mp3" name).
    virtual void startCompression(CaptureSession& session, const QString& compressedPath) {
        (void)session;
        (void)compressedPath;
    }
    /// `bytes` of audio were written to the record.
    virtual void feedCompression(const unsigned char* data, std::uint32_t bytes) {
        (void)data;
        (void)bytes;
    }
    /// Flushes; with `discard` also ends the stream and deletes the compressed file.
    virtual void finishCompression(bool discard) { (void)discard; }
    virtual bool compressionActive() const { return false; }
    /// Bytes in the temporary compressed file.
    virtual std::uint64_t compressedLength() const { return 0; }
    /// Cuts the temporary compressed file to `length` bytes (the trailing-silence cut).
    virtual void truncateCompressed(std::uint64_t length) { (void)length; }

    /// Saves the record; `automatic` saves never ask for a name. Marks the session saved on
    /// success (CaptureSession::setSaved).
    virtual void save(CaptureSession& session, bool automatic) {
        (void)session;
        (void)automatic;
    }

    /// A split: `record` has ended and `session` records on into a new record, for which
    /// startCompression() comes next; until then the on-the-fly compression is the finished
    /// record's. Saves it automatically without holding up the capture. A record that cannot
    /// be saved goes back through CaptureSession::keepFinished(). Here: it is kept.
    virtual void saveFinished(CaptureSession& session, FinishedRecord record);
    /// Whether saves of finished records are still running or have not reported yet.
    virtual bool savesPending() const { return false; }
    /// Waits until every save of a finished record has ended and reported (the saved file
    /// added, a failed one kept), so the program may end without losing one.
    virtual void waitForSaves() {}
};

} // namespace mireldo::recorder
