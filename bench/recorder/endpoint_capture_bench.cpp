// Recording through the endpoint capture device at real time: the capture session records a
// sound-server source (48 kHz float stereo in endpoint_capture.sh) as 44,100 Hz 16-bit stereo
// with on-the-fly MP3, as the recorder window does. Prints the process's CPU time (user +
// system, all threads) over the recording as a share of one core, and checks that the frames
// written equal floor(source frames x 44,100 / source rate) within one frame.
//
//   endpoint_capture_bench SOURCE SECONDS SINK
//
// SINK is the null sink whose monitor SOURCE is: it is suspended at the end so that no more
// audio arrives, and every frame the device produced can reach the record before it is
// compared.

#include "capture_session.h"
#include "encoder_table.h"
#include "record_saving.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

using namespace mireldo;
using namespace mireldo::recorder;

namespace {

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class QuietView final : public RecorderView {
  public:
    explicit QuietView(QString source) : source_(std::move(source)) {}
    bool readControls() override { return true; }
    CaptureOptions options() const override {
        CaptureOptions o;
        o.formatRow = 3; // 44100 Hz, 16 bits, stereo
        o.endpointMode = true;
        o.endpointSelected = true;
        o.endpointName = source_;
        o.encodeMethod = 0; // MP3 on the fly
        return o;
    }
    void setStatusText(RecorderStatus, const QString&) override {}
    RecorderAnswer ask(const QString&) override { return RecorderAnswer::Cancel; }
    void showMessage(const QString& text, bool) override {
        std::fprintf(stderr, "endpoint_capture_bench: %s\n", text.toLocal8Bit().constData());
    }
    void showRecordingFailed() override { showMessage(QStringLiteral("recording failed"), true); }
    void showLength(std::uint32_t, const WAVEFORMATEX&) override {}
    void showPosition(std::uint32_t, const WAVEFORMATEX&, bool) override {}
    void updateButtons(const RecorderButtons&) override {}
    void setWaveformFullScale(int) override {}
    void showWaveform(const unsigned char*, std::uint32_t, const WAVEFORMATEX&) override {}

  private:
    QString source_;
};

class QuietHost final : public FinalisationHost {
  public:
    SaveSettings saveSettings() const override { return {}; }
    std::optional<QString> askSaveAs(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    bool confirm(const QString&) override { return false; }
    void setWaitCursor(bool) override {}
    std::unique_ptr<encoders::CompressProgress> makeProgress() override { return nullptr; }
    void recordSaved(const QString&) override {}
};

// Handles events for `ms` milliseconds.
void runFor(int ms) {
    QTimer::singleShot(ms, Qt::PreciseTimer, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: endpoint_capture_bench SOURCE SECONDS SINK\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const double seconds = std::atof(argv[2]);
    const std::string sink = argv[3];

    encoders::EncoderTable table;
    table.load();
    QuietView view(source);
    QuietHost host;
    RecordSaving saving(table, host);
    platform::audio::WaveInPtr device;
    CaptureSession::Environment env;
    env.withPlayer = false;
    env.openEndpoint = [&device](const QString& name, const platform::audio::PcmFormat& format,
                                 platform::ReceiverHandle owner, platform::audio::MmResult* error,
                                 platform::audio::EndpointFormat* unsupported) {
        device = platform::audio::openPulseWaveIn(name, format, owner, error, unsupported);
        return device;
    };
    CaptureSession session(view, env);
    session.setFinalisation(&saving);

    QElapsedTimer wall;
    const double cpuBefore = cpuSeconds();
    wall.start();
    session.record();
    if (!session.recording() || !saving.compressionActive()) {
        std::fprintf(stderr, "endpoint_capture_bench: recording with MP3 did not start\n");
        return 1;
    }
    runFor(static_cast<int>(seconds * 1000));
    const double cpu = cpuSeconds() - cpuBefore;
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;

    // No more audio: let what the device holds reach the record, then stop.
    const std::string suspend = "pactl suspend-sink " + sink + " 1";
    if (std::system(suspend.c_str()) != 0) {
        std::fprintf(stderr, "endpoint_capture_bench: %s failed\n", suspend.c_str());
        return 1;
    }
    runFor(1500);
    const auto counts = platform::audio::endpointCaptureCounts(*device);
    session.stop();
    const std::uint64_t written = session.dataFrames();
    const std::uint64_t expected = counts->consumed * 44100 / counts->sourceRate;
    const long long difference = static_cast<long long>(written) - static_cast<long long>(expected);

    std::printf("recorded %.1f s from %s (%u Hz) as 44100 Hz 16-bit stereo with MP3 on the fly\n",
                elapsed, source.toLocal8Bit().constData(), counts->sourceRate);
    std::printf("CPU: user + system %.2f s over %.2f s = %.2f %% of one core (target below 5 %%)\n",
                cpu, elapsed, cpu / elapsed * 100);
    std::printf("source frames received %llu, converted %llu, lost %llu\n",
                static_cast<unsigned long long>(counts->received),
                static_cast<unsigned long long>(counts->consumed),
                static_cast<unsigned long long>(counts->lost));
    std::printf("frames written %llu, floor(converted x 44100 / %u) = %llu, difference %lld "
                "(target: within 1)\n",
                static_cast<unsigned long long>(written), counts->sourceRate,
                static_cast<unsigned long long>(expected), difference);
    saving.finishCompression(true);
    session.setSaved(true);
    return (difference >= -1 && difference <= 1 && counts->lost == 0) ? 0 : 1;
}
