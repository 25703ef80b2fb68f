#pragma once

// CaptureSession: the recorder of the main window. Records PCM from one input device into the
// temporary WAV, judges every buffer for silence, feeds on-the-fly compression and the live
// displays, plays the record back through its own player and records over it from any
// position. The window forwards its recorder commands here and implements RecorderView.
//
// Buffers: a CaptureBufferPool (capture_buffers.h), allocated when the session object is made.
// Playing the record back: a RecordPlayer (record_player.h).
//
// Splits: when a record reaches the size limit, or the long-silence action 2 applies, the
// record ends where it is and the next buffer already goes into a new record, with the device
// running on; the finished record goes to the finalisation (saveFinished), which saves it in
// the background. The device is closed only by New Record, keepRecord() and destruction.
//
// Threads: everything runs on the thread that made the object (the window's); the device and
// the player post their notifications to it as messages (MM_WIM_DATA, RECORDER_POSITION_MSG).
// Ownership: owns the device, the temporary files, the buffers, the player and the stream it
// plays; a finished record belongs to the finalisation once handed over. The view and the
// finalisation are not owned and must outlive the session.

#include "capture_buffers.h"
#include "capture_format.h"
#include "message_receiver.h"
#include "onset_buffer.h"
#include "record_file.h"
#include "recorder_view.h"
#include "silence_detection.h"

#include "audio/pulse_wave_in.h"
#include "audio/wave_in.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace mireldo::recorder {

class RecordPlayer;

/// The recorder player's position notification: wParam the position in frames, lParam 1 at
/// the end of the stream.
inline constexpr std::uint32_t RECORDER_POSITION_MSG = platform::WM_USER + 19;
/// Posted to the session itself to press "S" later (the long-silence action 3).
inline constexpr std::uint32_t RECORDER_STOP_COMMAND = platform::WM_USER + 20;
// WM_USER + 21 is the endpoint device's MM_WIM_LOST (audio/pulse_wave_in.h).
static_assert(platform::audio::MM_WIM_LOST == platform::WM_USER + 21);

/// Below this many free bytes recording stops.
inline constexpr std::uint64_t kLowDiskSpaceBytes = 104857600;
/// A record reaching this many bytes is saved and a new one started.
inline constexpr std::uint64_t kRecordSizeLimit = 0x7FFE7000;
/// Least time between two refreshes of the live waveform, in milliseconds.
inline constexpr std::uint64_t kWaveformIntervalMs = 100;

/// Bytes the onset buffer keeps: the longest "Keep before sound" and the longest "Sound must
/// last" at the largest capture rate (48,000 Hz, 16 bits, stereo: 192,000 bytes a second), and
/// room for the buffers a burst spans beyond its hold.
inline constexpr std::size_t kOnsetCapacityBytes = std::size_t{kMaxPreRollTenths} * 192000 / 10 +
                                                   std::size_t{kMaxHoldMilliseconds} * 192 +
                                                   4 * std::size_t{kCaptureBufferBytes};

/// Why recording last ended before it was asked to; None while it never did.
enum class RecordingFault {
    None,
    Device,       ///< the device failed or stopped handing buffers back
    Write,        ///< the temporary WAV could not be written (data or header)
    LowDiskSpace, ///< the free space fell below kLowDiskSpaceBytes, or the disk was full
};

class CaptureSession : public platform::MessageReceiver {
  public:
    using DeviceOpener = std::function<platform::audio::WaveInPtr(
        int device, const platform::audio::PcmFormat& format, platform::ReceiverHandle owner,
        platform::audio::DeviceError* error)>;
    /// Opens the endpoint (sound server source) `name` for capture; on failure stores the
    /// reason in `error` and, when the source's own format is the reason, that format in
    /// `unsupported` (as platform::audio::openPulseWaveIn does).
    using EndpointOpener = std::function<platform::audio::WaveInPtr(
        const QString& name, const platform::audio::PcmFormat& format,
        platform::ReceiverHandle owner, platform::audio::DeviceError* error,
        platform::audio::EndpointFormat* unsupported)>;
    /// Free bytes for the user on the file system of a folder; nullopt when unknown.
    using FreeSpaceQuery = std::function<std::optional<std::uint64_t>(const QString& folder)>;
    /// A monotonic clock in milliseconds.
    using TickSource = std::function<std::uint64_t()>;

    /// What the session takes from its surroundings; every empty member means the system's.
    struct Environment {
        DeviceOpener openDevice;     ///< platform::audio::openWaveIn
        EndpointOpener openEndpoint; ///< platform::audio::openPulseWaveIn (endpoint mode)
        FreeSpaceQuery freeSpace;    ///< platform::freeSpace
        TickSource ticks;            ///< a steady clock
        QString temporaryFolder;     ///< platform::temporaryFolder()
        long long fileNumber = 0;    ///< process number in the temporary names; 0: the process id
        /// Bytes at which a record is split. A test seam: MIRELDO_RECORD_SIZE_LIMIT (bytes) in
        /// the environment lowers the default for a whole program.
        std::uint64_t sizeLimit = kRecordSizeLimit;
        int bufferCount = kCaptureBufferCount; ///< fewer simulates failed allocations
        bool withPlayer = true;                ///< start the recorder's player thread
    };

    explicit CaptureSession(RecorderView& view);
    CaptureSession(RecorderView& view, Environment environment);
    /// Waits for the background saves of finished records, stops the player, closes the device,
    /// closes and deletes the temporary files; a record that holds audio and was never saved is
    /// left on disk instead (see keepRecord()).
    ~CaptureSession() override;

    /// Installs the saving and on-the-fly compression code (not owned); null: none.
    void setFinalisation(RecordFinalisation* finalisation);

    // Commands of the window.
    /// "R": opens a session when none is open, then records from the position.
    void record();
    /// "S": stops recording (the device stays open) or the player; status "Recording paused".
    void stop();
    /// New Record: asks to save a modified record, closes the device and deletes the record.
    /// Also used before exit and by the automatic saves.
    void newRecord();
    /// ">": plays the record from the position (from the start when at the end).
    void play();
    void home();
    void end();
    /// The position slider: the thumb being dragged, released, or any other move.
    void sliderTracking(std::uint32_t value);
    void sliderReleased(std::uint32_t value);
    void sliderMoved(std::uint32_t value);
    /// "Set" beside the long-silence seconds: the threshold in bytes recomputed for `seconds`
    /// in the capture format.
    void setLongBlankSeconds(std::int32_t seconds);
    /// Closing the window: false (stay) while recording or when the user kept the record.
    /// Before it says yes it waits for the background saves of finished records.
    bool requestClose();
    /// Ends the record without deleting it, for a record that could not be saved: recording
    /// stops, the header gets the sizes, the temporary WAV is closed (its lock released) and
    /// left where it is for the next start's recovery, the device is closed and the session
    /// is as after New Record. Tells the view (recordKept) and returns the path; empty when
    /// there was no record.
    QString keepRecord();
    /// Keeps a record finished at a split that could not be saved: the header gets its sizes,
    /// the file is closed (its lock released) and left for recovery, and it is told as
    /// keepRecord() tells. Returns the path.
    QString keepFinished(FinishedRecord record);
    /// A finished record whose background save failed was left at `path` for recovery: told
    /// to the view and remembered with the kept records.
    void finishedRecordKept(const QString& path);

    // Notifications (normally arriving as messages).
    /// MM_WIM_DATA: `device` handed back `header`.
    void bufferDone(const void* device, platform::audio::WaveHeader* header);
    /// RECORDER_POSITION_MSG.
    void playerPosition(std::uint32_t frame, bool atEnd);
    /// MM_WIM_LOST: `device` could not keep `lostMs` milliseconds of audio in all (the
    /// session fell behind). Told to the user once per Record.
    void audioLost(const void* device, std::int64_t lostMs);

    // State.
    bool recording() const { return recording_; }
    bool deviceOpen() const { return device_ != nullptr; }
    bool fileOpen() const { return file_.isOpen(); }
    bool playing() const;
    bool saved() const { return saved_; }
    /// Why recording last ended early (device, write error, low disk space); sticky for the
    /// life of the session object.
    RecordingFault fault() const { return fault_; }
    /// Records closed by keepRecord() or kept after a failed split save, in order.
    const QStringList& keptRecords() const { return kept_; }
    const WAVEFORMATEX& format() const { return format_; }
    std::uint32_t headOffset() const { return headOffset_; }
    std::uint64_t dataStart() const;
    /// Bytes of audio after the data start; 0 without a file.
    std::uint64_t dataLength() const;
    std::uint32_t dataFrames() const;
    std::uint32_t position() const { return position_; }
    std::uint64_t fileLength() const { return file_.isOpen() ? file_.length() : 0; }
    const SilenceState& silence() const { return silence_; }
    /// The recording's health as last told to the view.
    const RecorderHealth& health() const { return health_; }
    /// The status shown last; nullopt before the first.
    std::optional<RecorderStatus> status() const { return status_; }
    const QString& temporaryWavPath() const { return wavPath_; }
    const QString& temporaryCompressedPath() const { return compressedPath_; }
    const CaptureBufferPool::Buffers& buffers() const { return pool_.buffers(); }
    platform::audio::WaveIn* device() const { return device_.get(); }
    RecorderView& view() { return view_; }

    // For the saving and editing code.
    void setStatus(RecorderStatus code);
    void setSaved(bool saved) { saved_ = saved; }
    void setPosition(std::uint32_t frame) { position_ = frame; }
    void setHeadOffset(std::uint32_t frames) { headOffset_ = frames; }
    /// The temporary WAV (its pointer, length, truncation).
    RecordFile& file() { return file_; }
    /// Rewrites the header with the sizes of the file as it is now (whole frames). False, with
    /// errno set, when the header could not be written.
    bool writeHeaderSizes();
    /// Cuts the silence after the last sound: the file back to the silence marker (never
    /// into the header or the cut head), the compressed file to its marker.
    void cutTrailingSilence();
    /// Length and position displays.
    void refreshDisplays();
    void updateButtons();

  private:
    bool openSession(const CaptureOptions& options);
    bool createRecordFile(const QString& folder, RecordFile& file, QString& wavPath,
                          QString& compressedPath);
    void startCompressionIfDue(const CaptureOptions& options);
    void splitRecord();
    void closeDevice();
    void queueBuffer(platform::audio::WaveHeader& header);
    void stopPlayer();
    int halt();
    void deviceFailed();
    void writeFailed(int error);
    /// Writes captured audio to the record and the on-the-fly compression; 0, or the errno of
    /// a failed write (the file then ends in whole frames and the compression is dropped).
    int writeAudio(const unsigned char* data, std::uint32_t bytes);
    int writeOnset(const SilenceSettings& rules);
    void updateHealth(std::optional<std::uint64_t> freeBytes);
    void reportWriteError(int error);
    void dropPartialFrame();
    void applyLongSilence(LongSilenceAction action);
    void showPosition();
    RecordFinalisation& finalisation();
    std::uint64_t now() const;
    QString folderOfRecord() const;

    RecorderView& view_;
    Environment env_;
    RecordFinalisation noFinalisation_;
    RecordFinalisation* finalisation_ = nullptr;

    CaptureBufferPool pool_;
    platform::audio::WaveInPtr device_;
    RecordFile file_;
    QString wavPath_;
    QString compressedPath_;
    WAVEFORMATEX format_;
    bool recording_ = false;
    bool saved_ = false;
    bool dragging_ = false;
    std::uint32_t headOffset_ = 0;
    std::uint32_t position_ = 0;
    std::uint64_t lastWaveform_ = 0;
    bool waveformShown_ = false;
    bool lossShown_ = false;  // the loss of audio was told since the last Record
    long long nextIndex_ = 1; // index of the next record's temporary names
    RecordingFault fault_ = RecordingFault::None;
    QStringList kept_;
    SilenceState silence_;
    OnsetBuffer onset_; // skipped audio kept for "Keep before sound"; the burst being held
    RecorderHealth health_;
    std::optional<RecorderStatus> status_;

    std::unique_ptr<RecordPlayer> player_; // null without a player thread
};

} // namespace mireldo::recorder
