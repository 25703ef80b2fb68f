#pragma once

// RecordSaving: the recorder's finalisation. Runs on-the-fly compression while a record is
// captured, saves the record (automatic time-stamp name or a name the user picks, the
// trailing-silence cut, the discard rule, copy or compression through the encoder plug-ins)
// and shortens the record with Cut Head and Cut Tail.
//
// The window (or the command line) supplies the settings, the Save As dialog, the wait
// cursor, the progress display and the playlist through FinalisationHost.
//
// Records finished at splits are saved in the background (BackgroundSaves, its own worker
// thread) while recording goes on: the name is chosen when the record is handed over, and the
// saved file reaches the host (the playlist) on this thread when its save completes.
//
// Threads: the user-interface thread only (the capture session's); the background saves talk
// back to it with typed reports.
// Ownership: owns the on-the-fly compressor and the background saves (with the records they
// hold); the encoder table and the host are not owned and must outlive this object, which
// waits for the background saves when it is destroyed.

#include "capture_session.h"
#include "encoding_pipeline.h"
#include "recorder_view.h"

#include <QDateTime>
#include <QStringList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace mireldo::recorder {

/// The settings a save reads.
struct SaveSettings {
    QString recordFolder;                ///< RecordFolder
    bool askForRenaming = false;         ///< AskForRenaming
    bool discardShortRecord = false;     ///< DiscardShortRecord
    std::int32_t shortRecordSeconds = 0; ///< ShortRecordSeconds
    int recordQuality = 10;              ///< RecordQuality: index into the bit rate table
};

/// What a save needs from its surroundings.
class FinalisationHost {
  public:
    virtual ~FinalisationHost() = default;
    /// The settings as the window's members hold them now.
    virtual SaveSettings saveSettings() const = 0;
    /// The Save As dialog: `initialName` proposed, `extension` the default extension, `filter`
    /// the type filter ("<display name> (*.<ext>)|*.<ext>||"), asking before overwriting.
    /// nullopt when cancelled.
    virtual std::optional<QString> askSaveAs(const QString& initialName, const QString& extension,
                                             const QString& filter) = 0;
    /// Asks `text` with Yes and No and a question icon; true for Yes.
    virtual bool confirm(const QString& text) = 0;
    virtual void setWaitCursor(bool on) = 0;
    /// The progress display of a compression; null when it cannot be shown.
    virtual std::unique_ptr<encoders::CompressProgress> makeProgress() = 0;
    /// The saved file, for the playlist (added with the select flag set).
    virtual void recordSaved(const QString& path) = 0;
    /// The local time (the automatic name).
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    /// Waits `ms` milliseconds (before a record is copied).
    virtual void sleepMs(int ms);
};

/// "%04d-%02d-%02d %02dh%02dm%02ds" of `time`.
QString automaticRecordName(const QDateTime& time);
/// "<folder>/<name>.<extension>", or with " (2)", " (3)" ... before the extension when that
/// file exists.
QString freeRecordPath(const QString& folder, const QString& name, const QString& extension);
/// `chosen` with ".<extension>" appended unless it already ends with that extension
/// (compared without regard to case).
QString withSlotExtension(const QString& chosen, const QString& extension);
/// Whether a record of `dataBytes` is discarded: empty, or shorter than the limit in whole
/// seconds when the limit is on.
bool discardsRecord(std::uint64_t dataBytes, const WAVEFORMATEX& format,
                    const SaveSettings& settings);
/// The Cut Head (485) or Cut Tail (484) question for position `frame`: minutes with three
/// digits, seconds and truncated tenths.
QString cutQuestion(int stringId, std::uint32_t frame, std::uint32_t rate);
/// Writes the record (header, then the frames from `dataStart`) of `wavPath` as a WAV file at
/// `destination`, through a temporary file beside it renamed when complete: on failure the
/// destination is as it was.
bool writeWavDirectly(const QString& wavPath, std::uint64_t dataStart, const WAVEFORMATEX& format,
                      const QString& destination);
/// The same into the pending file `out`, written from its start.
bool writeWavInto(const QString& wavPath, std::uint64_t dataStart, const WAVEFORMATEX& format,
                  platform::PendingFile& out);

/// A finished record as a save needs it, apart from the capture session that made it.
struct RecordFiles {
    QString wavPath;              ///< the temporary WAV; its header must hold the current sizes
    std::uint64_t dataStart = 44; ///< bytes before the first frame saved (header and cut head)
    WAVEFORMATEX format{};
    /// The record's flushed on-the-fly compression, when it holds the whole record; else null.
    const encoders::OnTheFlyCompressor* compressed = nullptr;
};

/// Where and how a record is saved.
struct SaveTarget {
    QString path;
    /// The user chose `path` (and agreed to replace a file there). Otherwise a file that
    /// appears at `path` meanwhile is never replaced: the record gets " (2)", " (3)" ...
    bool replace = false;
    int slot = encoders::kEncodeWav;
    std::uint32_t kbps = 128;
};

/// How a save went.
struct SaveResult {
    bool ok = false;
    bool cancelled = false; ///< the user cancelled the progress dialog
    QString path;           ///< where the record is now (success only)
};

/// Writes a finished record into its target: a copy of the WAV for a WAV target without a cut
/// head (after the host's pause), a copy of the on-the-fly compression when it was made with
/// the same slot and bit rate, otherwise a compression through the slot's plug-in, the only
/// case that shows the host's progress display (without the WAV plug-in a WAV target is
/// written here). The file is written under a temporary name in the target's folder and
/// renamed when complete; a failure removes only that temporary file.
SaveResult saveRecordFile(const encoders::EncoderTable& table, const RecordFiles& record,
                          const SaveTarget& target, FinalisationHost& host);

class BackgroundSaves;
struct SaveReport;

class RecordSaving : public RecordFinalisation {
  public:
    RecordSaving(const encoders::EncoderTable& table, FinalisationHost& host);
    ~RecordSaving() override;

    void startCompression(CaptureSession& session, const QString& compressedPath) override;
    void feedCompression(const unsigned char* data, std::uint32_t bytes) override;
    void finishCompression(bool discard) override;
    bool compressionActive() const override { return compressor_->active(); }
    std::uint64_t compressedLength() const override { return compressor_->length(); }
    /// The trailing-silence cut of the compressed file. The plug-ins complete their headers
    /// (lengths, frame counts) when they flush, so a shortened file would contradict them:
    /// the compression is dropped instead and the save compresses from the cut WAV.
    void truncateCompressed(std::uint64_t length) override;
    /// Saves the session's record (after the background saves still running, so the saved
    /// files reach the host in the order the records were made).
    void save(CaptureSession& session, bool automatic) override;
    /// A split's record: takes its on-the-fly compression along (flushed), cuts its trailing
    /// silence and applies the discard rule here, picks the automatic name (the Save As
    /// dialog when the record folder is missing; a cancelled dialog keeps the record), then
    /// saves it in the background. A compression shows its progress through the view.
    void saveFinished(CaptureSession& session, FinishedRecord record) override;
    bool savesPending() const override;
    void waitForSaves() override;

    /// Cut Head: after the question, drops the frames before the position.
    void cutHead(CaptureSession& session);
    /// Cut Tail: after the question, drops the frames after the position.
    void cutTail(CaptureSession& session);

    const encoders::OnTheFlyCompressor& compressor() const { return *compressor_; }

  private:
    SaveResult writeRecord(CaptureSession& session, const SaveTarget& target);
    /// The automatic name in the record folder, or the Save As dialog's; nullopt: cancelled.
    std::optional<SaveTarget> chooseTarget(const SaveSettings& settings, int slot, bool automatic);
    void backgroundReport(const SaveReport& report);

    const encoders::EncoderTable& table_;
    FinalisationHost& host_;
    std::unique_ptr<encoders::OnTheFlyCompressor> compressor_;
    // The session that handed over the records being saved; it waits for them before it goes.
    CaptureSession* reportTo_ = nullptr;
    std::unique_ptr<BackgroundSaves> saves_; // last: its worker ends before the rest goes
};

} // namespace mireldo::recorder
