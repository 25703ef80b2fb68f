#include "play_command.h"

#include "audio_play_thread.h"
#include "interrupt_watch.h"
#include "message_receiver.h"

#include <QCoreApplication>

#include <unistd.h>

#include <optional>

namespace mireldo::cli {

namespace {

constexpr std::uint32_t kPositionMsg = platform::WM_USER + 100;
constexpr std::uint32_t kIntervalMs = 80;

struct PlayOptions {
    QStringList files;
    int device = platform::audio::WAVE_MAPPER;
    bool loop = false;
};

std::optional<PlayOptions> parse(const QStringList& args, Console console) {
    PlayOptions options;
    bool onlyFiles = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (onlyFiles || !a.startsWith(QLatin1Char('-')) || a == QStringLiteral("-")) {
            options.files.push_back(a);
        } else if (a == QStringLiteral("--")) {
            onlyFiles = true;
        } else if (a == QStringLiteral("--loop")) {
            options.loop = true;
        } else if (a == QStringLiteral("--device")) {
            bool ok = false;
            const int n = i + 1 < args.size() ? args[i + 1].toInt(&ok) : -1;
            if (!ok || n < 0) {
                std::fprintf(console.err,
                             "mireldo-cli: --device needs a device number (see mireldo-cli "
                             "devices)\n");
                return std::nullopt;
            }
            options.device = n;
            ++i;
        } else {
            std::fprintf(console.err, "mireldo-cli: unknown option '%s'\n",
                         a.toLocal8Bit().constData());
            return std::nullopt;
        }
    }
    if (options.files.isEmpty()) {
        std::fprintf(console.err, "usage: mireldo-cli play FILE... [--device N] [--loop]\n");
        return std::nullopt;
    }
    return options;
}

// Plays the list on the main thread's event loop; the engine reports positions to it.
class Player : public platform::MessageReceiver {
  public:
    Player(PlayOptions options, Console console)
        : options_(std::move(options)), console_(console),
          showProgress_(::isatty(::fileno(console.out)) != 0) {
        onMessage(kPositionMsg, [this](std::uintptr_t w, std::intptr_t l) {
            onPosition(static_cast<std::uint32_t>(w), l != 0);
        });
    }

    int run() {
        if (!engine_.CreateThread()) {
            std::fprintf(console_.err, "mireldo-cli: Can not play sound.\n");
            return kExitFailed;
        }
        engine_.SetNotify(handle(), kPositionMsg, kIntervalMs);
        InterruptWatch watch([this] { finish(kExitInterrupted); });
        if (startFrom(0)) {
            QCoreApplication::exec();
        }
        engine_.Quit(30);
        return status_;
    }

  private:
    // Opens and plays the first playable file from `index` on (wrapping when looping).
    // False when nothing is left to play; then the status is final.
    bool startFrom(qsizetype index) {
        bool playedThisPass = false;
        for (qsizetype tried = 0;; ++tried, ++index) {
            if (index >= options_.files.size()) {
                if (!options_.loop || (!playedThisPass && !playedAny_)) {
                    break;
                }
                index = 0;
            }
            if (tried >= options_.files.size() && !playedThisPass && !playedAny_) {
                break;
            }
            switch (open(index)) {
            case Outcome::Playing:
                playedAny_ = true;
                return true;
            case Outcome::DeviceFailed:
                stop();
                return false;
            case Outcome::Skipped:
                break;
            }
            if (tried > 2 * options_.files.size()) {
                break; // looping over files that all fail
            }
        }
        stop();
        return false;
    }

    enum class Outcome { Playing, Skipped, DeviceFailed };

    Outcome open(qsizetype index) {
        const QByteArray path = options_.files[index].toLocal8Bit();
        SondrelStream* stream = nullptr;
        const int32_t code = Sondrel_OpenStream(&stream, path.constData(), 1, 2);
        if (code != SONDREL_OK) {
            fail(path, decoderErrorText(code));
            return Outcome::Skipped;
        }
        WAVEFORMATEX* format = nullptr;
        std::uint32_t total = 0;
        if (Sondrel_GetStreamFormat(stream, &format) != SONDREL_OK || format == nullptr ||
            Sondrel_GetStreamLength(stream, &total) != SONDREL_OK) {
            Sondrel_CloseStream(stream);
            fail(path, "Can not play sound.");
            return Outcome::Skipped;
        }
        const int result = engine_.Play(options_.device, stream, *format, total, 0);
        if (result != 0) {
            Sondrel_CloseStream(stream);
            fail(path, result == 1 ? "Failed to open the audio device." : "Can not play sound.");
            return result == 1 ? Outcome::DeviceFailed : Outcome::Skipped;
        }
        // The engine has ended decoding of the previous stream; it can go now.
        closeStream();
        stream_ = stream;
        index_ = index;
        rate_ = format->nSamplesPerSec;
        total_ = total;
        name_ = options_.files[index];
        progress(0);
        return Outcome::Playing;
    }

    void onPosition(std::uint32_t position, bool end) {
        if (stream_ == nullptr) {
            return;
        }
        progress(position);
        if (!end) {
            return;
        }
        endLine();
        if (!startFrom(index_ + 1)) {
            QCoreApplication::exit(status_);
        }
    }

    void progress(std::uint32_t position) {
        if (!showProgress_) {
            return;
        }
        const QByteArray line = (formatTime(position, rate_) + QStringLiteral(" / ") +
                                 formatTime(total_, rate_) + QStringLiteral("  ") + name_)
                                    .toLocal8Bit();
        if (line == lastLine_) {
            return;
        }
        lastLine_ = line;
        std::fprintf(console_.out, "\r%s\033[K", line.constData());
        std::fflush(console_.out);
    }

    void endLine() {
        const QByteArray line = (formatTime(total_, rate_) + QStringLiteral(" / ") +
                                 formatTime(total_, rate_) + QStringLiteral("  ") + name_)
                                    .toLocal8Bit();
        if (showProgress_) {
            std::fprintf(console_.out, "\r%s\033[K\n", line.constData());
        } else {
            std::fprintf(console_.out, "%s\n", line.constData());
        }
        std::fflush(console_.out);
    }

    void fail(const QByteArray& path, const char* reason) {
        std::fprintf(console_.err, "mireldo-cli: %s: %s\n", path.constData(), reason);
        status_ = kExitFailed;
    }

    void finish(int status) {
        if (showProgress_ && stream_ != nullptr) {
            std::fprintf(console_.out, "\n");
        }
        stop();
        status_ = status;
        QCoreApplication::exit(status);
    }

    void stop() {
        engine_.Stop();
        closeStream();
    }

    void closeStream() {
        if (stream_ != nullptr) {
            Sondrel_CloseStream(stream_);
            stream_ = nullptr;
        }
    }

    PlayOptions options_;
    Console console_;
    const bool showProgress_;
    playback::CAudioPlayThread engine_;
    SondrelStream* stream_ = nullptr;
    qsizetype index_ = 0;
    std::uint32_t rate_ = 0;
    std::uint32_t total_ = 0;
    QString name_;
    QByteArray lastLine_;
    bool playedAny_ = false;
    int status_ = kExitOk;
};

} // namespace

QString formatTime(std::uint64_t frames, std::uint32_t rate) {
    const std::uint64_t seconds = rate == 0 ? 0 : frames / rate;
    const auto h = static_cast<qulonglong>(seconds / 3600);
    const auto m = static_cast<qulonglong>(seconds / 60 % 60);
    const auto s = static_cast<qulonglong>(seconds % 60);
    if (h > 0) {
        return QStringLiteral("%1:%2:%3")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(s, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

const char* decoderErrorText(int code) {
    switch (code) {
    case SONDREL_ERR_NOT_FOUND:
        return "file not found";
    case SONDREL_ERR_ACCESS:
        return "access denied";
    case SONDREL_ERR_OPEN:
        return "cannot open the file";
    case SONDREL_ERR_DAMAGED:
        return "damaged file";
    case SONDREL_ERR_UNSUPPORTED:
        return "unsupported file";
    case SONDREL_ERR_CALL_RECORD:
        return "call-record file refused";
    case SONDREL_ERR_WINDOWS_MEDIA:
        return "the WMA reader failed";
    case SONDREL_ERR_MAPPING:
    case SONDREL_ERR_VIEW:
        return "cannot map the file";
    case SONDREL_ERR_MEMORY:
        return "out of memory";
    case SONDREL_ERR_NO_SYNC:
        return "no MPEG audio frame found";
    case SONDREL_ERR_EMPTY:
        return "the file holds no audio";
    case SONDREL_ERR_RUNTIME_MISSING:
        return "the WMA runtime is missing";
    default:
        return "cannot open the file";
    }
}

int runPlay(const QStringList& args, Console console) {
    auto options = parse(args, console);
    if (!options) {
        return kExitUsage;
    }
    Player player(std::move(*options), console);
    return player.run();
}

} // namespace mireldo::cli
