#include "record_command.h"

#include "capture_format.h"
#include "capture_session.h"
#include "noise_calibration.h"
#include "recorder_health.h"

#include "audio/pulse_endpoints.h"
#include "audio/wave_out.h"
#include "interrupt_watch.h"
#include "profile_store.h"
#include "record_saving.h"
#include "recorder_settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unistd.h>

namespace mireldo::cli {

namespace {

using recorder::RecorderAnswer;
using recorder::RecorderStatus;

std::optional<int> intIn(const QString& text, int lowest, int highest) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < lowest || v > highest) {
        return std::nullopt;
    }
    return v;
}

// The recorder's window, as a terminal shows it: the status line, and messages as
// diagnostics. Questions are answered with Cancel, which keeps the record.
class ConsoleView final : public recorder::RecorderView {
  public:
    ConsoleView(const RecordOptions& options, Console console)
        : options_(options), console_(console), live_(::isatty(::fileno(console.err)) == 1) {}

    bool readControls() override { return true; }
    recorder::CaptureOptions options() const override {
        recorder::CaptureOptions o;
        o.inputDevice = options_.inputDevice;
        o.endpointMode = platform::audio::audioBackend() == platform::audio::AudioBackend::Pulse;
        o.endpointSelected = true;
        o.endpointName = options_.inputName;
        o.formatRow = options_.formatRow;
        o.encodeMethod = options_.encodeMethod;
        o.longBlankSeconds = options_.longSilenceSeconds;
        o.silence.dropBlanks = options_.dropSilence;
        o.silence.actionAtBlank = options_.action;
        o.silence.noiseLevel = options_.noiseLevel;
        o.silence.preRollTenths = options_.preRollTenths;
        o.silence.holdMilliseconds = options_.holdMilliseconds;
        return o;
    }
    void setStatusText(RecorderStatus code, const QString& text) override {
        shown_ = code;
        status_ = text;
        showLine();
    }
    std::optional<RecorderStatus> shownStatus() const override { return shown_; }
    RecorderAnswer ask(const QString& text) override {
        endLine();
        std::fprintf(console_.err, "mireldo-cli: %s (kept)\n", text.toLocal8Bit().constData());
        return RecorderAnswer::Cancel;
    }
    void showMessage(const QString& text, bool) override {
        endLine();
        std::fprintf(console_.err, "mireldo-cli: %s\n", text.toLocal8Bit().constData());
    }
    void showRecordingFailed() override { showMessage(QStringLiteral("Recording failed"), true); }
    void recordKept(const QString& path) override {
        endLine();
        std::fprintf(console_.err,
                     "mireldo-cli: the record could not be saved; it is kept in %s (the next "
                     "start of mireldo recovers it)\n",
                     path.toLocal8Bit().constData());
    }
    void showSaveProgress(int percent) override {
        saving_ = percent;
        showLine();
    }
    void showLength(std::uint32_t dataBytes, const WAVEFORMATEX& format) override {
        if (format.nAvgBytesPerSec != 0) {
            seconds_ = static_cast<double>(dataBytes) / format.nAvgBytesPerSec;
        }
        showLine();
    }
    void showPosition(std::uint32_t, const WAVEFORMATEX&, bool) override {}
    void updateButtons(const recorder::RecorderButtons&) override {}
    void setWaveformFullScale(int) override {}
    void showHealth(const recorder::RecorderHealth& health) override {
        health_ = recorder::healthText(health);
        showLine();
    }
    void showWaveform(const unsigned char* data, std::uint32_t bytes,
                      const WAVEFORMATEX& format) override {
        int peak = 0;
        if (format.wBitsPerSample == 16) {
            for (std::uint32_t i = 0; i + 1 < bytes; i += 2) {
                const auto v = static_cast<std::int16_t>(data[i] | data[i + 1] << 8);
                peak = std::max(peak, std::abs(int{v}));
            }
            level_ = peak * 100 / 32768;
        } else {
            for (std::uint32_t i = 0; i < bytes; ++i) {
                peak = std::max(peak, std::abs(int{data[i]} - 128));
            }
            level_ = peak * 100 / 128;
        }
    }

    /// Ends the live line so that other output starts on a line of its own.
    void endLine() {
        if (lineShown_) {
            std::fprintf(console_.err, "\n");
            lineShown_ = false;
        }
    }

  private:
    void showLine() {
        if (!live_) {
            return;
        }
        const auto whole = static_cast<long long>(seconds_);
        std::fprintf(console_.err, "\r%-28s %lld:%02lld.%d  level %3d%%",
                     status_.toLocal8Bit().constData(), whole / 60, whole % 60,
                     static_cast<int>((seconds_ - static_cast<double>(whole)) * 10), level_);
        // A record finished at a split being compressed meanwhile.
        if (saving_ >= 0) {
            std::fprintf(console_.err, "  saving %3d%%", saving_);
        } else {
            std::fputs("              ", console_.err);
        }
        // Time left on the disk, overruns, a lost device; padded so a shorter text covers a
        // longer one.
        std::fprintf(console_.err, "  %-36s", health_.toLocal8Bit().constData());
        std::fflush(console_.err);
        lineShown_ = true;
    }

    const RecordOptions& options_;
    Console console_;
    bool live_;
    bool lineShown_ = false;
    std::optional<RecorderStatus> shown_;
    QString status_;
    double seconds_ = 0;
    int level_ = 0;
    int saving_ = -1;
    QString health_;
};

// Saving without dialogs: the folder was checked before recording, so no name is asked for;
// every saved path goes to the output.
class ConsoleHost final : public recorder::FinalisationHost {
  public:
    ConsoleHost(const RecordOptions& options, Console console, ConsoleView& view)
        : options_(options), console_(console), view_(view) {}

    recorder::SaveSettings saveSettings() const override {
        recorder::SaveSettings s;
        s.recordFolder = options_.folder;
        s.discardShortRecord = options_.discardShort;
        s.shortRecordSeconds = options_.discardShorterSeconds;
        s.recordQuality = options_.quality;
        return s;
    }
    std::optional<QString> askSaveAs(const QString&, const QString&, const QString&) override {
        view_.showMessage(QStringLiteral("the record folder is gone; nothing was saved"), true);
        return std::nullopt;
    }
    bool confirm(const QString&) override { return false; }
    void setWaitCursor(bool) override {}
    std::unique_ptr<encoders::CompressProgress> makeProgress() override { return nullptr; }
    void recordSaved(const QString& path) override {
        view_.endLine();
        std::fprintf(console_.out, "%s\n", path.toLocal8Bit().constData());
        std::fflush(console_.out);
        ++savedCount;
    }

    int savedCount = 0;

  private:
    const RecordOptions& options_;
    Console console_;
    ConsoleView& view_;
};

// In the sound server's mode the input becomes a source name (empty: the default source);
// elsewhere a source name means nothing. Empty on success, else what is wrong.
QString resolveInput(RecordOptions& o) {
    if (platform::audio::audioBackend() != platform::audio::AudioBackend::Pulse) {
        return o.inputName.isEmpty()
                   ? QString()
                   : QStringLiteral("--input %1: a source name needs the sound server's mode")
                         .arg(o.inputName);
    }
    if (!o.inputName.isEmpty() || o.inputDevice < 0) {
        return {};
    }
    const auto server = platform::audio::queryPulseServer();
    if (!server) {
        return QStringLiteral("the sound server does not answer");
    }
    const auto n = static_cast<std::size_t>(o.inputDevice);
    if (n >= server->sources.size()) {
        return QStringLiteral("--input %1: the sound server has %2 sources (see mireldo-cli "
                              "devices)")
            .arg(o.inputDevice)
            .arg(server->sources.size());
    }
    o.inputName = server->sources[n].name;
    return {};
}

// --measure-noise: listens to the input, prints what it heard and the level it proposes.
int measureNoise(const RecordOptions& options, Console console) {
    ConsoleView view(options, console);
    recorder::NoiseCalibration calibration;
    std::optional<recorder::NoiseMeasurement> result;
    if (!calibration.start(view.options(), [&](const recorder::NoiseMeasurement& m) {
            result = m;
            QCoreApplication::exit(0);
        })) {
        std::fprintf(console.err, "mireldo-cli: record: the input could not be opened\n");
        return kExitFailed;
    }
    bool interrupted = false;
    InterruptWatch watch([&] {
        interrupted = true;
        QCoreApplication::exit(0);
    });
    // Three seconds of audio; an input that never delivers is given up after a while.
    QTimer::singleShot(30000, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    calibration.cancel();
    if (interrupted) {
        return kExitInterrupted;
    }
    if (!result || !result->ok) {
        std::fprintf(console.err, "mireldo-cli: record: the input could not be measured\n");
        return kExitFailed;
    }
    std::fprintf(console.out, "noise %lld: --noise-level %d\n",
                 static_cast<long long>(result->deviation), result->level);
    std::fflush(console.out);
    return kExitOk;
}

} // namespace

QString parseRecordArguments(const QStringList& args, RecordOptions& o) {
    bool longSilenceGiven = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& flag = args[i];
        if (flag == QStringLiteral("--drop-silence")) {
            o.dropSilence = true;
            continue;
        }
        if (flag == QStringLiteral("--measure-noise")) {
            o.measureNoise = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            return QStringLiteral("unknown option or missing value: ") + flag;
        }
        const QString value = args[++i];
        const auto bad = [&] { return QStringLiteral("bad value for %1: %2").arg(flag, value); };
        if (flag == QStringLiteral("--input")) {
            o.inputDevice = -1;
            o.inputName.clear();
            if (value == QStringLiteral("default")) {
                // the default device or source
            } else if (const auto n = intIn(value, 0, 1000)) {
                o.inputDevice = *n;
            } else if (!value.isEmpty() && !value.startsWith(u'-') && !value.at(0).isDigit()) {
                o.inputName = value; // a source of the sound server, checked when recording
            } else {
                return bad();
            }
        } else if (flag == QStringLiteral("--format")) {
            const auto n = intIn(value, 0, recorder::CaptureFormatTable::kRows - 1);
            if (!n) {
                return bad();
            }
            o.formatRow = *n;
        } else if (flag == QStringLiteral("--noise-level") || flag == QStringLiteral("--action")) {
            const auto n = intIn(value, 0, 4);
            if (!n) {
                return bad();
            }
            (flag == QStringLiteral("--action") ? o.action : o.noiseLevel) = *n;
        } else if (flag == QStringLiteral("--long-silence")) {
            const auto n = intIn(value, 1, 86400);
            if (!n) {
                return bad();
            }
            o.longSilenceSeconds = *n;
            longSilenceGiven = true;
        } else if (flag == QStringLiteral("--discard-shorter")) {
            const auto n = intIn(value, 0, 86400);
            if (!n) {
                return bad();
            }
            o.discardShort = *n > 0;
            o.discardShorterSeconds = *n;
        } else if (flag == QStringLiteral("--encode")) {
            const QStringList names{QStringLiteral("mp3"), QStringLiteral("wma"),
                                    QStringLiteral("ogg"), QStringLiteral("wav")};
            const auto at = names.indexOf(value.toLower());
            if (at < 0) {
                return bad();
            }
            o.encodeMethod = static_cast<int>(at);
        } else if (flag == QStringLiteral("--quality")) {
            const auto n = intIn(value, 0, 15);
            if (!n) {
                return bad();
            }
            o.quality = *n;
        } else if (flag == QStringLiteral("--pre-roll")) {
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (!ok || !(seconds >= 0) || seconds > recorder::kMaxPreRollTenths / 10.0) {
                return bad();
            }
            o.preRollTenths = static_cast<int>(std::lround(seconds * 10.0));
        } else if (flag == QStringLiteral("--hold")) {
            const auto n = intIn(value, 0, recorder::kMaxHoldMilliseconds);
            if (!n) {
                return bad();
            }
            o.holdMilliseconds = *n;
        } else if (flag == QStringLiteral("--folder")) {
            o.folder = value;
        } else if (flag == QStringLiteral("--duration")) {
            bool ok = false;
            const double d = value.toDouble(&ok);
            if (!ok || !(d > 0) || d > 1e7) {
                return bad();
            }
            o.durationSeconds = d;
        } else {
            return QStringLiteral("unknown option: ") + flag;
        }
    }
    // A silence longer than a whole record can never be seen: the record is saved and a new
    // one started when it reaches the size limit.
    if (longSilenceGiven && !longSilenceReachable(o.longSilenceSeconds, o.formatRow)) {
        const WAVEFORMATEX f = recorder::captureFormatForRow(o.formatRow);
        return QStringLiteral("--long-silence %1: longer than a whole record in format %2 "
                              "(at most %3 seconds)")
            .arg(o.longSilenceSeconds)
            .arg(o.formatRow)
            .arg((recorder::kRecordSizeLimit - recorder::kWavHeaderBytes) / f.nAvgBytesPerSec);
    }
    return {};
}

bool longSilenceReachable(int seconds, int formatRow) {
    const WAVEFORMATEX f = recorder::captureFormatForRow(formatRow);
    return recorder::silenceThresholdBytes(seconds, f.wBitsPerSample, f.nChannels,
                                           f.nSamplesPerSec) <
           recorder::kRecordSizeLimit - recorder::kWavHeaderBytes;
}

int recordExitStatus(const recorder::CaptureSession& session, bool interrupted) {
    if (session.fault() != recorder::RecordingFault::None || !session.keptRecords().isEmpty()) {
        return kExitFailed;
    }
    return interrupted ? kExitInterrupted : kExitOk;
}

int runRecord(const QStringList& args, Console console) {
    RecordOptions options;
    {
        const platform::ProfileStore store;
        const RecorderSettings s = readRecorderSettings(store, std::nullopt);
        options.noiseLevel = s.noiseLevel;
        options.dropSilence = s.dropSilence;
        options.action = s.actionAtBlank;
        options.longSilenceSeconds = s.longBlankSeconds;
        options.discardShort = s.discardShortRecord;
        options.discardShorterSeconds = s.shortRecordSeconds;
        options.encodeMethod = s.encodeMethod;
        options.quality = s.recordQuality;
        options.folder = s.recordFolder;
        options.preRollTenths = s.preRollTenths;
        options.holdMilliseconds = s.holdMilliseconds;
        options.formatRow = readRecorderHistory(store, false).outputFormat;
    }
    if (const QString error = parseRecordArguments(args, options); !error.isEmpty()) {
        std::fprintf(console.err, "mireldo-cli: record: %s\n", error.toLocal8Bit().constData());
        return kExitUsage;
    }
    if (const QString error = resolveInput(options); !error.isEmpty()) {
        std::fprintf(console.err, "mireldo-cli: record: %s\n", error.toLocal8Bit().constData());
        return kExitUsage;
    }
    if (options.measureNoise) {
        return measureNoise(options, console);
    }
    options.folder = normaliseRecordFolder(options.folder);
    if (options.folder.isEmpty() || !QFileInfo(options.folder).isDir()) {
        std::fprintf(console.err, "mireldo-cli: record: no record folder%s%s; pass --folder DIR\n",
                     options.folder.isEmpty() ? "" : " ", options.folder.toLocal8Bit().constData());
        return kExitUsage;
    }
    options.folder = QFileInfo(options.folder).absoluteFilePath();

    // The plug-ins stay loaded for the rest of the process, as in the main window: unloading
    // the WMA plug-in would take FFmpeg's libraries with it, which do not free what they
    // allocate when loaded.
    static encoders::EncoderTable* const plugins = [] {
        auto* loaded = new encoders::EncoderTable;
        loaded->load();
        return loaded;
    }();
    const encoders::EncoderTable& table = *plugins;
    ConsoleView view(options, console);
    ConsoleHost host(options, console, view);
    recorder::RecordSaving saving(table, host); // outlives the session
    recorder::CaptureSession::Environment env;
    env.withPlayer = false;
    recorder::CaptureSession session(view, env);
    session.setFinalisation(&saving);

    session.record();
    if (!session.recording()) {
        view.endLine();
        return kExitFailed;
    }

    bool interrupted = false;
    QElapsedTimer clock;
    clock.start();
    QTimer check;
    check.setInterval(50);
    QObject::connect(&check, &QTimer::timeout, [&] {
        const bool timeUp = options.durationSeconds &&
                            static_cast<double>(clock.elapsed()) >= *options.durationSeconds * 1000;
        if (timeUp || !session.recording()) {
            QCoreApplication::exit(0);
        }
    });
    InterruptWatch watch([&] {
        interrupted = true;
        QCoreApplication::exit(0);
    });
    check.start();
    QCoreApplication::exec();
    check.stop();

    if (session.recording()) {
        session.stop();
    }
    // Records finished at splits are saved (or kept) first, so the paths come out in the
    // order the records were made.
    saving.waitForSaves();
    if (session.dataLength() != 0 && !session.saved()) {
        saving.save(session, true);
        if (!session.saved()) {
            // Never deleted: the temporary WAV stays for recovery and its path is told.
            session.keepRecord();
        }
    }
    view.endLine();
    if (const std::uint64_t overruns = session.health().overruns; overruns != 0) {
        std::fprintf(console.err,
                     "mireldo-cli: the input overran %llu times: audio the device could not hand "
                     "over in time is missing from the records\n",
                     static_cast<unsigned long long>(overruns));
    }
    return recordExitStatus(session, interrupted);
}

} // namespace mireldo::cli
