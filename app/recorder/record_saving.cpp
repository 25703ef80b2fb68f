#include "record_saving.h"

#include "background_saves.h"
#include "fd_io.h"
#include "file_copy.h"
#include "string_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mireldo::recorder {

namespace {

constexpr int kStrSaveFailed = 382;
constexpr int kStrCutTail = 484;
constexpr int kStrCutHead = 485;
/// Wait before the temporary WAV is copied, so the last buffers have reached the file.
constexpr int kCopyDelayMs = 300;

encoders::PcmShape shapeOf(const WAVEFORMATEX& format) {
    encoders::PcmShape shape;
    shape.rate = format.nSamplesPerSec;
    shape.channels = format.nChannels;
    shape.bits = format.wBitsPerSample;
    return shape;
}

bool endsWithWav(const QString& path) {
    return path.right(3).compare(QStringLiteral("wav"), Qt::CaseInsensitive) == 0;
}

} // namespace

void FinalisationHost::sleepMs(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

QString automaticRecordName(const QDateTime& time) {
    const QDate d = time.date();
    const QTime t = time.time();
    return QString::asprintf("%04d-%02d-%02d %02dh%02dm%02ds", d.year(), d.month(), d.day(),
                             t.hour(), t.minute(), t.second());
}

QString freeRecordPath(const QString& folder, const QString& name, const QString& extension) {
    const QString base = folder + QLatin1Char('/') + name;
    QString path = base + QLatin1Char('.') + extension;
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = base + QStringLiteral(" (%1).").arg(n) + extension;
    }
    return path;
}

QString withSlotExtension(const QString& chosen, const QString& extension) {
    if (QFileInfo(chosen).suffix().compare(extension, Qt::CaseInsensitive) == 0) {
        return chosen;
    }
    return chosen + QLatin1Char('.') + extension;
}

bool discardsRecord(std::uint64_t dataBytes, const WAVEFORMATEX& format,
                    const SaveSettings& settings) {
    if (dataBytes == 0) {
        return true;
    }
    if (!settings.discardShortRecord || format.nBlockAlign == 0 || format.nSamplesPerSec == 0) {
        return false;
    }
    const std::uint64_t seconds = dataBytes / format.nBlockAlign / format.nSamplesPerSec;
    return settings.shortRecordSeconds > 0 &&
           seconds < static_cast<std::uint64_t>(settings.shortRecordSeconds);
}

QString cutQuestion(int stringId, std::uint32_t frame, std::uint32_t rate) {
    const std::uint64_t tenths = rate == 0 ? 0 : std::uint64_t{frame} * 10 / rate;
    QString text = loadString(stringId);
    const QString minutes = QStringLiteral("%1").arg(tenths / 600, 3, 10, QLatin1Char('0'));
    const QString seconds = QStringLiteral("%1").arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'));
    const QString tenth = QString::number(tenths % 10);
    text.replace(QStringLiteral("%03d"), minutes);
    text.replace(QStringLiteral("%02d"), seconds);
    text.replace(QStringLiteral("%d"), tenth);
    return text;
}

bool writeWavInto(const QString& wavPath, std::uint64_t dataStart, const WAVEFORMATEX& format,
                  platform::PendingFile& out) {
    const QByteArray inName = QFile::encodeName(wavPath);
    platform::UniqueFd in(::open(inName.constData(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!in.valid() || ::fstat(in.get(), &st) != 0 ||
        ::lseek(in.get(), static_cast<off_t>(dataStart), SEEK_SET) < 0 || !out.restart()) {
        return false;
    }
    const auto length = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t data = length > dataStart ? length - dataStart : 0;
    data -= data % std::max<std::uint32_t>(format.nBlockAlign, 1);
    data = std::min<std::uint64_t>(data, 0xFFFFFFFFu - kWavHeaderBytes);
    const auto header = makeWavHeader(format, static_cast<std::uint32_t>(data + 36),
                                      static_cast<std::uint32_t>(data));
    if (!common::writeAll(out.fd(), header.data(), header.size())) {
        return false;
    }
    // The frames follow the header: copy_file_range (or read/write) straight from the record.
    const common::CopyOutcome copied = common::copyData(in.get(), out.fd(), data);
    return copied.ok && copied.bytes == data;
}

bool writeWavDirectly(const QString& wavPath, std::uint64_t dataStart, const WAVEFORMATEX& format,
                      const QString& destination) {
    auto out = platform::PendingFile::create(destination);
    return out && writeWavInto(wavPath, dataStart, format, out.value()) &&
           out.value().commit(destination, true).ok();
}

namespace {

// `path` with " (n)" before its extension.
QString numberedPath(const QString& path, int n) {
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype at = dot > slash + 1 ? dot : path.size();
    return path.left(at) + QStringLiteral(" (%1)").arg(n) + path.mid(at);
}

// Puts the finished `file` at the target's path; when the target may not be replaced and a
// file appeared there meanwhile, under the first free numbered name. Empty on failure.
QString putInPlace(platform::PendingFile& file, const SaveTarget& target) {
    constexpr int kNameAttempts = 100;
    for (int n = 1; n <= kNameAttempts; ++n) {
        const QString path = n == 1 ? target.path : numberedPath(target.path, n);
        auto placed = file.commit(path, target.replace);
        if (placed) {
            return placed.value();
        }
        if (target.replace || placed.error().code != EEXIST) {
            return {};
        }
    }
    file.discard();
    return {};
}

} // namespace

SaveResult saveRecordFile(const encoders::EncoderTable& table, const RecordFiles& record,
                          const SaveTarget& target, FinalisationHost& host) {
    SaveResult result;
    auto created = platform::PendingFile::create(target.path);
    if (!created) {
        return result;
    }
    platform::PendingFile& out = created.value();
    bool written = false;
    if (endsWithWav(target.path) && record.dataStart == kWavHeaderBytes) {
        host.sleepMs(kCopyDelayMs);
        written = encoders::copyInto(record.wavPath, out);
    } else {
        written = encoders::onTheFlyMatches(record.compressed, target.slot, target.kbps) &&
                  encoders::copyInto(record.compressed->path(), out);
        if (!written && !table.isLoaded(target.slot)) {
            // Only the WAV slot is chosen while unloaded: without its plug-in the file is
            // written here.
            written = writeWavInto(record.wavPath, record.dataStart, record.format, out);
        } else if (!written) {
            encoders::CompressSource source;
            source.wavPath = record.wavPath;
            source.dataStart = record.dataStart;
            source.format = shapeOf(record.format);
            const std::unique_ptr<encoders::CompressProgress> progress = host.makeProgress();
            const encoders::CompressOutcome outcome = encoders::compressInto(
                table, target.slot, target.kbps, source, out, progress.get());
            written = outcome.ok;
            result.cancelled = outcome.cancelled;
        }
    }
    if (!written) {
        return result; // the pending file goes; the target was never touched
    }
    result.path = putInPlace(out, target);
    result.ok = !result.path.isEmpty();
    return result;
}

// ---------------------------------------------------------------------------------------

RecordSaving::RecordSaving(const encoders::EncoderTable& table, FinalisationHost& host)
    : table_(table), host_(host),
      compressor_(std::make_unique<encoders::OnTheFlyCompressor>(table)),
      saves_(std::make_unique<BackgroundSaves>(
          table, [this](const SaveReport& report) { backgroundReport(report); })) {}

RecordSaving::~RecordSaving() {
    // Every record handed over is saved or kept before the worker ends.
    saves_.reset();
}

void RecordSaving::startCompression(CaptureSession& session, const QString& compressedPath) {
    compressor_->start(session.view().options().encodeMethod, host_.saveSettings().recordQuality,
                       shapeOf(session.format()), compressedPath);
}

void RecordSaving::feedCompression(const unsigned char* data, std::uint32_t bytes) {
    compressor_->feed(data, bytes);
}

void RecordSaving::finishCompression(bool discard) {
    compressor_->finish(discard);
}

void RecordSaving::truncateCompressed(std::uint64_t length) {
    if (length < compressor_->length()) {
        compressor_->finish(true);
    }
}

SaveResult RecordSaving::writeRecord(CaptureSession& session, const SaveTarget& target) {
    // A copied WAV carries the header as it is on disk: one that cannot be brought up to date
    // would describe the wrong length, so the save stops there.
    if (endsWithWav(target.path) && session.headOffset() == 0 && !session.writeHeaderSizes()) {
        return {};
    }
    RecordFiles record;
    record.wavPath = session.temporaryWavPath();
    record.dataStart = session.dataStart();
    record.format = session.format();
    record.compressed = compressor_.get();
    return saveRecordFile(table_, record, target, host_);
}

std::optional<SaveTarget> RecordSaving::chooseTarget(const SaveSettings& settings, int slot,
                                                     bool automatic) {
    const QString extension = QString::fromLatin1(table_.slot(slot).extension);
    const QString displayName = QString::fromLatin1(table_.slot(slot).displayName);
    QString folder = settings.recordFolder;
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) {
        folder.chop(1);
    }
    const QString name = automaticRecordName(host_.now());
    const bool folderExists = !folder.isEmpty() && QFileInfo(folder).isDir();
    SaveTarget target;
    target.slot = slot;
    target.kbps = encoders::bitrateFor(table_.slot(slot), settings.recordQuality);
    if (folderExists && (!settings.askForRenaming || automatic)) {
        target.path = freeRecordPath(folder, name, extension);
        return target;
    }
    const QString initial = folderExists ? folder + QLatin1Char('/') + name : name;
    const QString filter = QStringLiteral("%1 (*.%2)|*.%2||").arg(displayName, extension);
    const std::optional<QString> chosen = host_.askSaveAs(initial, extension, filter);
    if (!chosen || chosen->isEmpty()) {
        return std::nullopt;
    }
    target.path = withSlotExtension(*chosen, extension);
    target.replace = true; // the dialog asked before replacing
    return target;
}

void RecordSaving::save(CaptureSession& session, bool automatic) {
    if (!session.view().readControls()) {
        return;
    }
    // Records finished at splits reach the playlist first, in the order they were made.
    saves_->waitForAll();
    const CaptureOptions options = session.view().options();
    const SaveSettings settings = host_.saveSettings();
    finishCompression(false);
    if (options.silence.dropBlanks) {
        session.cutTrailingSilence();
    }
    const WAVEFORMATEX& format = session.format();
    const bool discard = discardsRecord(session.dataLength(), format, settings);
    const int slot = encoders::outputSlot(table_, options.encodeMethod, shapeOf(format));
    const std::optional<SaveTarget> chosen = chooseTarget(settings, slot, automatic);
    if (!chosen) {
        return;
    }
    const SaveTarget& target = *chosen;

    if (!discard) {
        session.setStatus(RecorderStatus::Saving);
        host_.setWaitCursor(true);
        const SaveResult result = writeRecord(session, target);
        if (!result.ok) {
            // Nothing was written under the record's name: a file the user chose to replace
            // is still there.
            host_.setWaitCursor(false);
            session.setStatus(RecorderStatus::Ready);
            if (!result.cancelled) {
                session.view().showMessage(loadString(kStrSaveFailed), true);
            }
            return;
        }
        session.setStatus(RecorderStatus::Ready);
        host_.setWaitCursor(false);
        host_.recordSaved(result.path);
    }
    session.setSaved(true);
}

void RecordSaving::saveFinished(CaptureSession& session, FinishedRecord record) {
    reportTo_ = &session;
    // The compression so far is the finished record's; the next record starts its own.
    std::unique_ptr<encoders::OnTheFlyCompressor> compressed = std::move(compressor_);
    compressor_ = std::make_unique<encoders::OnTheFlyCompressor>(table_);
    compressed->finish(false);
    if (!compressed->active()) {
        compressed.reset(); // none, or its flush failed: the save compresses from the WAV
    }

    if (!session.view().readControls()) {
        session.keepFinished(std::move(record));
        return;
    }
    const CaptureOptions options = session.view().options();
    const SaveSettings settings = host_.saveSettings();
    if (options.silence.dropBlanks && record.silence.marker < record.file.length()) {
        // The trailing-silence cut. The compression holds the silence too, and a shortened
        // file would contradict the header its plug-in completes, so it is not used.
        compressed.reset();
        if (!record.file.truncate(std::max(record.silence.marker, record.dataStart)) ||
            !record.file.writeSizes(record.format)) {
            session.view().showMessage(loadString(kStrSaveFailed), true);
            session.keepFinished(std::move(record));
            return;
        }
    }
    if (discardsRecord(record.dataLength(), record.format, settings)) {
        record.file.remove(); // neither written nor reported, as a discarded save
        return;
    }
    const int slot = encoders::outputSlot(table_, options.encodeMethod, shapeOf(record.format));
    std::optional<SaveTarget> target = chooseTarget(settings, slot, true);
    if (!target) {
        session.keepFinished(std::move(record));
        return;
    }
    SaveJob job;
    job.record = std::move(record);
    job.compressed = std::move(compressed);
    job.target = std::move(*target);
    saves_->add(std::move(job));
}

bool RecordSaving::savesPending() const {
    return saves_->pending();
}

void RecordSaving::waitForSaves() {
    saves_->waitForAll();
}

void RecordSaving::backgroundReport(const SaveReport& report) {
    if (reportTo_ == nullptr) {
        return;
    }
    RecorderView& view = reportTo_->view();
    if (report.kind == SaveReport::Kind::Progress) {
        view.showSaveProgress(report.percent);
        return;
    }
    view.showSaveProgress(-1);
    if (report.ok) {
        host_.recordSaved(report.savedPath);
        return;
    }
    // Nothing was written under the record's name; the record waits for the recovery.
    view.showMessage(loadString(kStrSaveFailed), true);
    if (!report.keptPath.isEmpty()) {
        reportTo_->finishedRecordKept(report.keptPath);
    }
}

void RecordSaving::cutHead(CaptureSession& session) {
    const std::uint32_t position = session.position();
    if (!host_.confirm(cutQuestion(kStrCutHead, position, session.format().nSamplesPerSec)) ||
        position == 0) {
        return;
    }
    finishCompression(true);
    session.setHeadOffset(session.headOffset() + position);
    session.setPosition(0);
    session.refreshDisplays();
    session.updateButtons();
}

void RecordSaving::cutTail(CaptureSession& session) {
    const std::uint32_t position = session.position();
    const WAVEFORMATEX& format = session.format();
    if (!host_.confirm(cutQuestion(kStrCutTail, position, format.nSamplesPerSec))) {
        return;
    }
    const std::uint64_t keep = std::uint64_t{position} * format.nBlockAlign;
    if (session.dataLength() == keep || !session.fileOpen()) {
        return;
    }
    finishCompression(true);
    if (session.file().truncate(session.dataStart() + keep)) {
        session.writeHeaderSizes();
    } else {
        session.view().showMessage(loadString(kStrSaveFailed), true);
    }
    session.setPosition(std::min(position, session.dataFrames()));
    session.refreshDisplays();
    session.updateButtons();
}

} // namespace mireldo::recorder
