#include "capture_session.h"

#include "file_system.h"
#include "record_player.h"
#include "string_table.h"
#include "temporary_folder.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <new>

#include <unistd.h>

namespace mireldo::recorder {

using namespace platform::audio;

namespace {

constexpr int kStrCloseWhileRecording = 363;
constexpr int kStrSaveModifications = 364;
constexpr int kStrDeviceOpenFailed = 365;
constexpr int kStrFileCreateFailed = 366;
constexpr int kStrOutputOpenFailed = 381;
constexpr int kStrCannotPlay = 392;
constexpr int kStrLowDiskSpace = 480;
constexpr int kStrFormatNotSupported = 483;
constexpr int kStrAudioLost = 610;
constexpr int kStrStatusBase = 489;

constexpr std::uintptr_t kBufferFree = CaptureBufferPool::kFree;
constexpr std::uintptr_t kBufferQueued = CaptureBufferPool::kQueued;
constexpr std::uintptr_t kBufferStale = CaptureBufferPool::kStale;

// Notify interval of the recorder's player, in milliseconds.
constexpr std::uint32_t kPlayerNotifyMs = 80;

PcmFormat pcmOf(const WAVEFORMATEX& f) {
    return {f.nChannels, f.nSamplesPerSec, f.wBitsPerSample};
}

// Message 483 with the source's container bits, channels, rate and format tag.
QString formatNotSupported(const EndpointFormat& f) {
    QString text = loadString(kStrFormatNotSupported);
    const long long values[] = {f.bits, f.channels, f.sampleRate, f.tag};
    for (const long long value : values) {
        const qsizetype at = text.indexOf(QStringLiteral("%d"));
        if (at < 0) {
            break;
        }
        text.replace(at, 2, QString::number(value));
    }
    return text;
}

// The size limit the environment sets for tests (MIRELDO_RECORD_SIZE_LIMIT, in bytes): only
// ever lower than the real one, and at least one buffer past the header.
std::uint64_t sizeLimitFromEnvironment() {
    const char* text = std::getenv("MIRELDO_RECORD_SIZE_LIMIT");
    if (text == nullptr || *text == '\0') {
        return kRecordSizeLimit;
    }
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0') {
        return kRecordSizeLimit;
    }
    return std::clamp<std::uint64_t>(value, kWavHeaderBytes + kCaptureBufferBytes,
                                     kRecordSizeLimit);
}

} // namespace

void RecordFinalisation::saveFinished(CaptureSession& session, FinishedRecord record) {
    // Nothing here saves: the record stays for the next start's recovery.
    session.keepFinished(std::move(record));
}

CaptureSession::CaptureSession(RecorderView& view) : CaptureSession(view, Environment{}) {}

CaptureSession::CaptureSession(RecorderView& view, Environment environment)
    : view_(view), env_(std::move(environment)), pool_(env_.bufferCount),
      format_(defaultCaptureFormat()), onset_(kOnsetCapacityBytes) {
    if (!env_.openDevice) {
        env_.openDevice = [](int device, const PcmFormat& format, platform::ReceiverHandle owner,
                             DeviceError* error) {
            return openWaveIn(device, format, owner, error);
        };
    }
    if (!env_.openEndpoint) {
        env_.openEndpoint = [](const QString& name, const PcmFormat& format,
                               platform::ReceiverHandle owner, DeviceError* error,
                               EndpointFormat* unsupported) {
            return openPulseWaveIn(name, format, owner, error, unsupported);
        };
    }
    if (!env_.freeSpace) {
        env_.freeSpace = [](const QString& folder) -> std::optional<std::uint64_t> {
            auto space = platform::freeSpace(folder);
            return space ? std::optional<std::uint64_t>(space.value()) : std::nullopt;
        };
    }
    if (env_.fileNumber == 0) {
        env_.fileNumber = static_cast<long long>(::getpid());
    }
    if (env_.sizeLimit == kRecordSizeLimit) {
        env_.sizeLimit = sizeLimitFromEnvironment();
    }

    onMessage<WaveBufferDone>(platform::MM_WIM_DATA, [this](const WaveBufferDone& done) {
        bufferDone(done.device, done.header);
    });
    onMessage(RECORDER_POSITION_MSG, [this](std::uintptr_t w, std::intptr_t l) {
        playerPosition(static_cast<std::uint32_t>(w), l == 1);
    });
    onMessage(RECORDER_STOP_COMMAND, [this](std::uintptr_t, std::intptr_t) { stop(); });
    onMessage<platform::audio::WaveInputLost>(MM_WIM_LOST,
                                              [this](const platform::audio::WaveInputLost& lost) {
                                                  audioLost(lost.device, lost.lostMs);
                                              });

    if (env_.withPlayer) {
        player_ = std::make_unique<RecordPlayer>(handle(), RECORDER_POSITION_MSG, kPlayerNotifyMs);
        if (!player_->started()) {
            player_.reset();
        }
    }
}

CaptureSession::~CaptureSession() {
    // Records finished at splits are saved (or kept) before anything here goes.
    finalisation().waitForSaves();
    stopReceiving();
    player_.reset(); // stops playing and ends the player thread
    if (device_) {
        device_->reset();
        device_->stop();
        device_->close();
        device_.reset();
    }
    if (file_.isOpen() && dataLength() != 0 && !saved_) {
        // Audio nobody saved or gave up: it stays for the next start's recovery.
        writeHeaderSizes();
        file_.release();
    } else {
        file_.remove();
    }
    if (!compressedPath_.isEmpty()) {
        QFile::remove(compressedPath_);
    }
}

void CaptureSession::setFinalisation(RecordFinalisation* finalisation) {
    finalisation_ = finalisation;
}

RecordFinalisation& CaptureSession::finalisation() {
    return finalisation_ != nullptr ? *finalisation_ : noFinalisation_;
}

std::uint64_t CaptureSession::now() const {
    if (env_.ticks) {
        return env_.ticks();
    }
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

bool CaptureSession::playing() const {
    return player_ && player_->playing();
}

std::uint64_t CaptureSession::dataStart() const {
    return kWavHeaderBytes + std::uint64_t{headOffset_} * format_.nBlockAlign;
}

std::uint64_t CaptureSession::dataLength() const {
    if (!file_.isOpen()) {
        return 0;
    }
    const std::uint64_t start = dataStart();
    return file_.length() > start ? file_.length() - start : 0;
}

std::uint32_t CaptureSession::dataFrames() const {
    return static_cast<std::uint32_t>(dataLength() / format_.nBlockAlign);
}

QString CaptureSession::folderOfRecord() const {
    const qsizetype slash = wavPath_.lastIndexOf(u'/');
    return slash > 0 ? wavPath_.left(slash) : QStringLiteral("/");
}

// ---------------------------------------------------------------------------------------
// Record, Stop, New Record

void CaptureSession::record() {
    {
        const CaptureOptions before = view_.options();
        if (before.endpointMode && !before.endpointSelected) {
            return;
        }
    }
    if (!view_.readControls()) {
        return;
    }
    const CaptureOptions options = view_.options();
    if (!device_ && !openSession(options)) {
        return;
    }

    const std::uint64_t resumeBytes = std::uint64_t{position_} * format_.nBlockAlign;
    file_.seek(dataStart() + resumeBytes);
    if (dataLength() != resumeBytes) {
        // Recording over part of the record: what was compressed on the fly no longer matches.
        finalisation().finishCompression(true);
    }

    recording_ = true;
    lossShown_ = false;
    // What was skipped before this Record is not the time before the next sound.
    onset_.reset();
    health_.deviceLost = false;
    // Whether a buffer is with the device or on its way back.
    const bool outstanding = pool_.queueFree([this](WaveHeader& h) { queueBuffer(h); });
    const bool started = device_->start() == DeviceError::None;
    updateButtons();
    view_.setWaveformFullScale(format_.wBitsPerSample == 16 ? 32768 : 128);
    if (!started || !outstanding) {
        // Nothing would ever come back: recording could not go on.
        deviceFailed();
    }
}

bool CaptureSession::openSession(const CaptureOptions& options) {
    silence_.marker = 0;
    silence_.compressedMarker = 0;

    QString folder = env_.temporaryFolder;
    if (folder.isEmpty()) {
        auto made = platform::temporaryFolder();
        if (!made) {
            view_.showMessage(loadString(kStrFileCreateFailed), true);
            return false;
        }
        folder = made.value();
    }
    QString wavPath;
    QString compressedPath;
    if (!createRecordFile(folder, file_, wavPath, compressedPath)) {
        view_.showMessage(loadString(kStrFileCreateFailed), true);
        return false;
    }
    wavPath_ = wavPath;

    headOffset_ = 0;
    format_ = captureFormatForRow(options.formatRow);
    silence_.thresholdBytes =
        silenceThresholdBytes(options.longBlankSeconds, format_.wBitsPerSample, format_.nChannels,
                              format_.nSamplesPerSec);
    if (!file_.writeHeader(format_, 36, 0)) {
        file_.remove();
        wavPath_.clear();
        view_.showMessage(loadString(kStrFileCreateFailed), true);
        return false;
    }
    silence_.marker = file_.length();

    DeviceError error = DeviceError::None;
    EndpointFormat unsupported;
    device_ = options.endpointMode
                  ? env_.openEndpoint(options.endpointName, pcmOf(format_), handle(), &error,
                                      &unsupported)
                  : env_.openDevice(options.inputDevice, pcmOf(format_), handle(), &error);
    if (!device_) {
        file_.remove();
        wavPath_.clear();
        if (options.endpointMode && unsupported.channels != 0) {
            view_.showMessage(formatNotSupported(unsupported), true);
        }
        if (options.endpointMode) {
            view_.showRecordingFailed();
        } else {
            view_.showMessage(loadString(kStrDeviceOpenFailed), true);
        }
        return false;
    }

    compressedPath_ = compressedPath;
    startCompressionIfDue(options);
    return true;
}

bool CaptureSession::createRecordFile(const QString& folder, RecordFile& file, QString& wavPath,
                                      QString& compressedPath) {
    // Every record gets names of its own; a name in use (a record kept earlier, or a file
    // left by a dead process with the same id) is passed over, never emptied.
    constexpr int kNameAttempts = 1000;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const long long index = nextIndex_++;
        const QString candidate = temporaryRecordName(folder, env_.fileNumber, index, ".wav");
        if (file.create(candidate)) {
            wavPath = candidate;
            compressedPath = temporaryRecordName(folder, env_.fileNumber, index, ".mp3");
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

void CaptureSession::startCompressionIfDue(const CaptureOptions& options) {
    if (format_.wBitsPerSample == 16 &&
        (options.encodeMethod != 0 || format_.nSamplesPerSec >= 16000)) {
        finalisation().startCompression(*this, compressedPath_);
    }
}

void CaptureSession::queueBuffer(WaveHeader& header) {
    header.bufferLength = kCaptureBufferBytes;
    header.bytesRecorded = 0;
    header.flags = 0;
    header.user = kBufferQueued;
    if (!device_ || prepareHeader(header) != DeviceError::None ||
        device_->addBuffer(&header) != DeviceError::None) {
        // The device would not take it: it stays free rather than waiting for a return
        // that will never come.
        unprepareHeader(header);
        header.user = kBufferFree;
    }
}

void CaptureSession::stop() {
    const int headerError = halt();
    setStatus(RecorderStatus::Paused);
    if (headerError != 0) {
        reportWriteError(headerError);
    }
}

// Stop without the status: recording ends (the device stays open) or the player stops.
// Returns the errno of a failed header write, else 0.
int CaptureSession::halt() {
    int headerError = 0;
    if (recording_) {
        recording_ = false;
        if (!writeHeaderSizes()) {
            headerError = errno != 0 ? errno : EIO;
        }
        if (device_) {
            device_->stop();
            device_->reset();
        }
        pool_.markOutstandingStale();
        updateButtons();
    } else if (playing()) {
        stopPlayer();
        updateButtons();
    }
    return headerError;
}

void CaptureSession::stopPlayer() {
    if (player_) {
        player_->stop();
    }
}

void CaptureSession::newRecord() {
    if (dataLength() != 0 && !saved_) {
        switch (view_.ask(loadString(kStrSaveModifications))) {
        case RecorderAnswer::Cancel:
            return;
        case RecorderAnswer::Yes:
            finalisation().save(*this, false);
            if (!saved_) {
                return;
            }
            break;
        case RecorderAnswer::No:
            saved_ = true;
            break;
        }
    }
    // The player reads the file that is about to go.
    stopPlayer();
    if (device_) {
        closeDevice();
    }
    if (file_.isOpen()) {
        file_.remove();
        wavPath_.clear();
        position_ = 0;
    }
    refreshDisplays();
    updateButtons();
    setStatus(RecorderStatus::Ready);
    finalisation().finishCompression(true);
    // Nothing records any more: the health of the last recording is not told on.
    if (health_ != RecorderHealth{}) {
        health_ = RecorderHealth{};
        view_.showHealth(health_);
    }
}

void CaptureSession::closeDevice() {
    recording_ = false;
    device_->reset();
    device_->stop();
    device_->close();
    device_.reset();
}

QString CaptureSession::keepRecord() {
    if (!file_.isOpen()) {
        return {};
    }
    halt();
    stopPlayer();
    // Best effort: the recovery repairs the sizes of a header that could not be written.
    writeHeaderSizes();
    const QString path = wavPath_;
    file_.release();
    wavPath_.clear();
    position_ = 0;
    kept_ << path;
    finalisation().finishCompression(true);
    if (device_) {
        closeDevice();
    }
    refreshDisplays();
    updateButtons();
    setStatus(RecorderStatus::Ready);
    view_.recordKept(path);
    return path;
}

bool CaptureSession::requestClose() {
    if (recording_) {
        view_.showMessage(loadString(kStrCloseWhileRecording), false);
        return false;
    }
    newRecord();
    if (device_) {
        return false;
    }
    // Records finished at splits are still being saved: they are not left behind.
    finalisation().waitForSaves();
    return true;
}

QString CaptureSession::keepFinished(FinishedRecord record) {
    if (!record.file.isOpen()) {
        return {};
    }
    // Best effort: the recovery repairs the sizes of a header that could not be written.
    record.file.writeSizes(record.format);
    const QString path = record.file.path();
    record.file.release();
    finishedRecordKept(path);
    return path;
}

void CaptureSession::finishedRecordKept(const QString& path) {
    kept_ << path;
    view_.recordKept(path);
}

// ---------------------------------------------------------------------------------------
// Captured buffers

void CaptureSession::bufferDone(const void* device, WaveHeader* header) {
    if (header == nullptr) {
        return;
    }
    WaveHeader& h = *header;
    if (device_) {
        unprepareHeader(h);
    }
    if (!recording_) {
        h.user = kBufferFree;
        return;
    }

    const bool endOfInput = (h.flags & WHDR_ENDOFINPUT) != 0;
    const bool current = device_ && device == device_.get();
    const std::uint32_t bytes = std::min(h.bytesRecorded, kCaptureBufferBytes);
    bool quiet = false; // the buffer counts as silence (a burst shorter than the hold too)
    bool broken = false;
    int writeError = 0;
    if ((h.user & kBufferStale) == 0 && current) {
        if (bytes != 0) {
            const CaptureOptions options = view_.options();
            const SilenceSettings& rules = options.silence;
            const auto* data = reinterpret_cast<const unsigned char*>(h.data);
            view_.showLevels(data, bytes, format_);
            const bool silent = isSilent(data, bytes, format_.wBitsPerSample, rules.noiseLevel);
            const std::uint32_t hold = holdFrames(rules.holdMilliseconds, format_.nSamplesPerSec);
            const std::uint32_t sounding =
                silent || hold == 0
                    ? 0
                    : soundFrames(data, bytes, format_.wBitsPerSample, format_.nBlockAlign,
                                  format_.nSamplesPerSec, rules.noiseLevel);
            quiet = !onset_.judge(silent, sounding, hold);
            const bool skip =
                shouldSkipBuffer(rules, silence_, dataLength(), file_.length(), quiet);
            if (skip) {
                onset_.keep(data, bytes);
                if (dataLength() == 0) {
                    setStatus(RecorderStatus::WaitForSound);
                }
            } else {
                setStatus(RecorderStatus::Recording);
                saved_ = false;
                if (onset_.size() != 0) {
                    writeError = writeOnset(rules);
                }
                if (writeError == 0) {
                    writeError = writeAudio(data, bytes);
                }
                const std::uint64_t t = now();
                if (!waveformShown_ || t - lastWaveform_ > kWaveformIntervalMs) {
                    view_.showWaveform(data, bytes, format_);
                    lastWaveform_ = t;
                    waveformShown_ = true;
                }
            }
            if (!quiet) {
                silence_.marker = std::max(silence_.marker, file_.length());
                if (finalisation().compressionActive()) {
                    silence_.compressedMarker =
                        std::max(silence_.compressedMarker, finalisation().compressedLength());
                }
            }
        } else if (!endOfInput) {
            // A working device hands a buffer back empty only when it is stopped or reset,
            // and both happen after recording has been set to 0 (or mark the buffer stale).
            broken = true;
        }
        position_ = static_cast<std::uint32_t>(
            (file_.pointer() > dataStart() ? file_.pointer() - dataStart() : 0) /
            format_.nBlockAlign);
        refreshDisplays();
    }

    queueBuffer(h);
    if (!recording_) {
        return;
    }
    if (broken || (h.user == kBufferFree && !endOfInput)) {
        deviceFailed();
        return;
    }
    if (writeError != 0) {
        writeFailed(writeError);
        return;
    }

    // When the free space cannot be asked, the remaining checks still run: skipping the size
    // limit would let the record outgrow what its header can describe.
    const auto space = env_.freeSpace(folderOfRecord());
    updateHealth(space);
    if (space && *space < kLowDiskSpaceBytes) {
        stop();
        fault_ = RecordingFault::LowDiskSpace;
        view_.showMessage(
            loadString(kStrLowDiskSpace).replace(QStringLiteral("%s"), folderOfRecord()), false);
        return;
    }
    if (file_.length() >= env_.sizeLimit) {
        splitRecord();
        return;
    }
    if (quiet) {
        applyLongSilence(
            longSilenceAction(view_.options().silence.actionAtBlank, silence_, file_.length()));
        if (!recording_) {
            return;
        }
    }
    if (endOfInput) {
        // A finite input (a file played as the input) has nothing more to give.
        stop();
    }
}

int CaptureSession::writeAudio(const unsigned char* data, std::uint32_t bytes) {
    errno = 0;
    if (file_.write(data, bytes)) {
        finalisation().feedCompression(data, bytes);
        return 0;
    }
    const int error = errno != 0 ? errno : EIO;
    dropPartialFrame();
    // The compressed file would hold audio the record does not.
    finalisation().finishCompression(true);
    return error;
}

// Sound ends a skip: the record goes on from "Keep before sound" before the burst, with the
// burst that had to last the hold. The size limit still holds: what would pass it is left
// out from the oldest end.
int CaptureSession::writeOnset(const SilenceSettings& rules) {
    const std::uint32_t frame = std::max<std::uint32_t>(format_.nBlockAlign, 1);
    const std::size_t preRoll =
        std::size_t{preRollFrames(rules.preRollTenths, format_.nSamplesPerSec)} * frame;
    std::uint64_t room = env_.sizeLimit > file_.length() ? env_.sizeLimit - file_.length() : 0;
    room -= room % frame;
    int error = 0;
    onset_.take(preRoll, static_cast<std::size_t>(std::min<std::uint64_t>(room, SIZE_MAX)),
                [this, &error](const unsigned char* piece, std::size_t n) {
                    error = writeAudio(piece, static_cast<std::uint32_t>(n));
                    return error == 0;
                });
    return error;
}

void CaptureSession::updateHealth(std::optional<std::uint64_t> freeBytes) {
    RecorderHealth now = health_;
    now.secondsLeft.reset();
    if (freeBytes && format_.nAvgBytesPerSec != 0) {
        // Recording stops at kLowDiskSpaceBytes free: the time left is until then.
        const std::uint64_t usable =
            *freeBytes > kLowDiskSpaceBytes ? *freeBytes - kLowDiskSpaceBytes : 0;
        now.secondsLeft = usable / format_.nAvgBytesPerSec;
    }
    if (device_) {
        now.overruns = device_->overruns();
    }
    if (now != health_) {
        health_ = now;
        view_.showHealth(health_);
    }
}

void CaptureSession::audioLost(const void* device, std::int64_t lostMs) {
    if (!device_ || device != device_.get()) {
        return;
    }
    if (device_->overruns() != health_.overruns) {
        health_.overruns = device_->overruns();
        view_.showHealth(health_);
    }
    // Said once per Record: the count only grows while the session stays behind.
    if (!lossShown_) {
        lossShown_ = true;
        view_.showMessage(loadString(kStrAudioLost)
                              .arg(QString::number(static_cast<double>(lostMs) / 1000.0, 'f', 1)),
                          false);
    }
}

void CaptureSession::applyLongSilence(LongSilenceAction action) {
    switch (action) {
    case LongSilenceAction::None:
        return;
    case LongSilenceAction::SaveAndRenew:
        splitRecord();
        return;
    case LongSilenceAction::PostStop:
        platform::postMessage(handle(), RECORDER_STOP_COMMAND);
        return;
    case LongSilenceAction::SaveAndPause:
        stop();
        finalisation().save(*this, true);
        return;
    }
}

// The record ends after the buffer just written and the next buffer goes into a new record:
// the device runs on with its buffers queued, so nothing captured meanwhile is lost. The
// finished record is handed to the finalisation, which saves it in the background.
void CaptureSession::splitRecord() {
    RecordFile next;
    QString nextWav;
    QString nextCompressed;
    errno = 0;
    if (!createRecordFile(folderOfRecord(), next, nextWav, nextCompressed) ||
        !next.writeHeader(format_, 36, 0)) {
        // No room for the next record: recording ends here and this record stays in the
        // session, to be saved as after Stop.
        const int error = errno != 0 ? errno : EIO;
        next.remove();
        writeFailed(error);
        return;
    }
    const CaptureOptions options = view_.options();

    FinishedRecord done;
    const bool headerWritten = writeHeaderSizes();
    done.format = format_;
    done.dataStart = dataStart();
    done.silence = silence_;
    done.file = std::move(file_);

    file_ = std::move(next);
    file_.seek(kWavHeaderBytes);
    wavPath_ = nextWav;
    compressedPath_ = nextCompressed;
    headOffset_ = 0;
    position_ = 0;
    saved_ = false;
    silence_.marker = file_.length();
    silence_.compressedMarker = 0;

    if (!headerWritten) {
        // A header that does not describe the record would go into the saved file: the record
        // is kept for the recovery instead, and its compression is of no use.
        finalisation().finishCompression(true);
        keepFinished(std::move(done));
    } else {
        finalisation().saveFinished(*this, std::move(done));
    }
    startCompressionIfDue(options);
    refreshDisplays();
}

void CaptureSession::deviceFailed() {
    // The record so far is kept: recording stops as Stop does; the device stays open so the
    // format cannot change within the record.
    halt();
    setStatus(RecorderStatus::Paused);
    fault_ = RecordingFault::Device;
    health_.deviceLost = true;
    if (device_) {
        health_.overruns = device_->overruns();
    }
    view_.showHealth(health_);
    if (view_.options().endpointMode) {
        view_.showRecordingFailed();
    } else {
        view_.showMessage(loadString(kStrDeviceOpenFailed), true);
    }
}

void CaptureSession::writeFailed(int error) {
    halt();
    setStatus(RecorderStatus::Paused);
    reportWriteError(error);
}

void CaptureSession::reportWriteError(int error) {
    if (error == ENOSPC || error == EDQUOT) {
        fault_ = RecordingFault::LowDiskSpace;
        view_.showMessage(
            loadString(kStrLowDiskSpace).replace(QStringLiteral("%s"), folderOfRecord()), false);
    } else {
        fault_ = RecordingFault::Write;
        view_.showMessage(loadString(kStrFileCreateFailed), true);
    }
}

// After a write that stopped part-way: the file pointer goes back to the start of the frame it
// stopped in, and a partial frame at the end of the file is cut off, so whatever comes next
// (a header, a save, a resumed recording) sees whole frames only.
void CaptureSession::dropPartialFrame() {
    const std::uint64_t start = dataStart();
    const std::uint64_t at = file_.pointer();
    const std::uint64_t frame = std::max<std::uint64_t>(format_.nBlockAlign, 1);
    if (at <= start || (at - start) % frame == 0) {
        return;
    }
    const std::uint64_t aligned = at - (at - start) % frame;
    if (file_.length() == at) {
        file_.truncate(aligned);
    }
    file_.seek(aligned);
}

bool CaptureSession::writeHeaderSizes() {
    if (!file_.isOpen()) {
        return false;
    }
    // The data chunk runs from the header to the end of the file, frames before a cut head
    // included, so the file stays a valid WAV of everything it holds.
    errno = 0;
    return file_.writeSizes(format_);
}

void CaptureSession::cutTrailingSilence() {
    const bool cut = file_.isOpen() && silence_.marker < file_.length();
    if (cut) {
        file_.truncate(std::max(silence_.marker, dataStart()));
        writeHeaderSizes();
        position_ = std::min(position_, dataFrames());
        refreshDisplays();
    }
    RecordFinalisation& f = finalisation();
    if (!f.compressionActive()) {
        return;
    }
    if (!cut) {
        // The record ends in sound. The encoder holds back the end of the audio until it is
        // flushed (a save flushes before this cut), so the compressed file's silence length is
        // measured now: all of it is sound.
        silence_.compressedMarker = std::max(silence_.compressedMarker, f.compressedLength());
        return;
    }
    if (silence_.compressedMarker < f.compressedLength()) {
        f.truncateCompressed(silence_.compressedMarker);
    }
}

void CaptureSession::setLongBlankSeconds(std::int32_t seconds) {
    silence_.thresholdBytes = silenceThresholdBytes(seconds, format_.wBitsPerSample,
                                                    format_.nChannels, format_.nSamplesPerSec);
}

// ---------------------------------------------------------------------------------------
// Displays and buttons

void CaptureSession::setStatus(RecorderStatus code) {
    // Asked of the view, not remembered here: the playlist writes its own texts into the same
    // status line, after which the recorder's status must show again even if its code is
    // the same as before.
    if (view_.shownStatus() == code) {
        return;
    }
    status_ = code;
    view_.setStatusText(code, loadString(kStrStatusBase + static_cast<int>(code)));
}

void CaptureSession::refreshDisplays() {
    view_.showLength(static_cast<std::uint32_t>(dataLength()), format_);
    showPosition();
}

void CaptureSession::showPosition() {
    view_.showPosition(position_, format_, !dragging_);
}

void CaptureSession::updateButtons() {
    const bool isPlaying = playing();
    const bool hasData = dataLength() != 0;
    RecorderButtons b;
    b.record = !recording_ && !isPlaying;
    b.homeEnd = !recording_ && hasData;
    b.playCutSave = !recording_ && !isPlaying && hasData;
    b.newRecord = !recording_ && !isPlaying;
    b.stop = recording_ || isPlaying;
    b.deviceLists = !device_;
    view_.updateButtons(b);
}

// ---------------------------------------------------------------------------------------
// Playing the record

void CaptureSession::play() {
    if (!player_ || !file_.isOpen() || recording_) {
        return;
    }
    if (!player_->open(wavPath_)) {
        return;
    }
    if (position_ == dataFrames()) {
        position_ = 0;
    }
    const CaptureOptions options = view_.options();
    const int result = player_->start(options.outputDevice - 1, format_, dataFrames() + headOffset_,
                                      position_ + headOffset_);
    if (result != 0) {
        view_.showMessage(loadString(result == 1 ? kStrOutputOpenFailed : kStrCannotPlay), false);
        return;
    }
    updateButtons();
}

void CaptureSession::home() {
    position_ = 0;
    if (playing()) {
        player_->seek(headOffset_ + position_);
    }
    showPosition();
}

void CaptureSession::end() {
    position_ = dataFrames();
    if (playing()) {
        player_->seek(headOffset_ + position_);
    }
    showPosition();
}

void CaptureSession::playerPosition(std::uint32_t frame, bool atEnd) {
    position_ = frame > headOffset_ ? frame - headOffset_ : 0;
    showPosition();
    if (atEnd) {
        stop();
    }
}

void CaptureSession::sliderTracking(std::uint32_t value) {
    if (recording_) {
        return;
    }
    dragging_ = true;
    position_ = value;
    showPosition();
}

void CaptureSession::sliderReleased(std::uint32_t value) {
    if (recording_) {
        return;
    }
    dragging_ = false;
    position_ = value;
    if (playing()) {
        player_->seek(headOffset_ + position_);
    }
    showPosition();
}

void CaptureSession::sliderMoved(std::uint32_t value) {
    if (recording_) {
        return;
    }
    position_ = value;
    if (playing()) {
        player_->seek(headOffset_ + position_);
    }
    showPosition();
}

} // namespace mireldo::recorder
