#pragma once

// RecordSaving: the recorder's finalisation. Runs on-the-fly compression while a record is
// captured, saves the record (automatic time-stamp name or a name the user picks, the
// trailing-silence cut, the discard rule, copy or compression through the encoder plug-ins)
// and shortens the record with Cut Head and Cut Tail.
//
// The window (or the command line) supplies the settings, the Save As dialog, the wait
// cursor, the progress display and the playlist through FinalisationHost.
//
// Threads: the user-interface thread only (the capture session's).
// Ownership: owns the on-the-fly compressor; the encoder table and the host are not owned and
// must outlive this object.

#include "capture_session.h"
#include "encoding_pipeline.h"
#include "recorder_view.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace mireldo::recorder {

/// The settings a save reads.
struct SaveSettings {
    QString recordFolder;         ///< RecordFolder
    bool askForRenaming = false;  ///< AskForRenaming
    bool discardShortRecord = false; ///< DiscardShortRecord
    std::int32_t shortRecordSeconds = 0; ///< ShortRecordSeconds
    int recordQuality = 10;       ///< RecordQuality: index into the bit rate table
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
/// `destination`; the destination is removed on failure.
bool writeWavDirectly(const QString& wavPath, std::uint64_t dataStart, const WAVEFORMATEX& format,
                      const QString& destination);

class RecordSaving : public RecordFinalisation {
  public:
    RecordSaving(const encoders::EncoderTable& table, FinalisationHost& host);

    void startCompression(CaptureSession& session, const QString& compressedPath) override;
    void feedCompression(const unsigned char* data, std::uint32_t bytes) override;
    void finishCompression(bool discard) override;
    bool compressionActive() const override { return compressor_.active(); }
    std::uint64_t compressedLength() const override { return compressor_.length(); }
    /// The trailing-silence cut of the compressed file. The plug-ins complete their headers
    /// (lengths, frame counts) when they flush, so a shortened file would contradict them:
    /// the compression is dropped instead and the save compresses from the cut WAV.
    void truncateCompressed(std::uint64_t length) override;
    void save(CaptureSession& session, bool automatic) override;

    /// Cut Head: after the question, drops the frames before the position.
    void cutHead(CaptureSession& session);
    /// Cut Tail: after the question, drops the frames after the position.
    void cutTail(CaptureSession& session);

    const encoders::OnTheFlyCompressor& compressor() const { return compressor_; }

  private:
    bool writeRecord(CaptureSession& session, int slot, const QString& path, bool& cancelled);

    const encoders::EncoderTable& table_;
    FinalisationHost& host_;
    encoders::OnTheFlyCompressor compressor_;
};

} // namespace mireldo::recorder
