#include "convert_command.h"

#include "converter_job.h"
#include "encoder_table.h"
#include "interrupt_watch.h"
#include "native_path.h"
#include "string_table.h"

#include <QCoreApplication>

#include <unistd.h>

namespace mireldo::cli {

namespace {

using converter::ConvertResult;

int usage(Console console, const char* why) {
    std::fprintf(console.err, "mireldo-cli convert: %s\n", why);
    return kExitUsage;
}

// Position of `value` in `choices` (compared without letter case); -1 when absent.
int indexOf(const QString& value, std::initializer_list<const char*> choices) {
    int i = 0;
    for (const char* c : choices) {
        if (value.compare(QLatin1String(c), Qt::CaseInsensitive) == 0) {
            return i;
        }
        ++i;
    }
    return -1;
}

// Reports to the terminal; cancels when SIGINT or SIGTERM arrived.
class CliView : public converter::JobView {
  public:
    CliView(Console console, const std::vector<converter::JobSource>& sources)
        : console_(console), sources_(sources), progress_(::isatty(::fileno(console.err)) == 1),
          watch_([] {}) {}

    bool cancelRequested() override {
        QCoreApplication::processEvents();
        return watch_.interrupted();
    }
    void sourceStarted(int index) override { index_ = index; }
    void setSourcePercent(int percent) override {
        if (progress_) {
            std::fprintf(console_.err, "\r[%d/%zu] %3d%% %s", index_ + 1, sources_.size(), percent,
                         converter::fileNameOf(sources_[static_cast<std::size_t>(index_)].path)
                             .toLocal8Bit()
                             .constData());
            std::fflush(console_.err);
        }
    }
    void sourceFinished(int, ConvertResult result, const QString& output) override {
        if (progress_) {
            std::fprintf(console_.err, "\r\033[K");
        }
        std::fprintf(console_.out, "%s\t%s\n",
                     loadString(converter::statusTextId(result)).toUtf8().constData(),
                     platform::encodePath(output).constData());
        std::fflush(console_.out);
        failed_ =
            failed_ || (result != ConvertResult::Converted && result != ConvertResult::Skipped);
    }
    bool failed() const { return failed_; }

  private:
    Console console_;
    const std::vector<converter::JobSource>& sources_;
    bool progress_;
    InterruptWatch watch_;
    int index_ = 0;
    bool failed_ = false;
};

} // namespace

int runConvert(const QStringList& args, Console console) {
    converter::JobOptions options;
    options.skipExisting = true;
    options.singleIntoFolder = true;
    options.choices.bitrateIndex = 5;
    converter::TimeRange range;
    bool haveDestination = false;
    std::vector<converter::JobSource> sources;

    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool takesValue = a == QLatin1String("--type") || a == QLatin1String("--rate") ||
                                a == QLatin1String("--channels") ||
                                a == QLatin1String("--bitrate") || a == QLatin1String("--range") ||
                                a == QLatin1String("--to");
        if (takesValue && i + 1 >= args.size()) {
            return usage(console, "an option lacks its value");
        }
        if (a == QLatin1String("--type")) {
            options.choices.typeIndex = indexOf(args[++i], {"mp3", "wav", "ogg", "wma"});
            if (options.choices.typeIndex < 0) {
                return usage(console, "--type takes mp3, wav, ogg or wma");
            }
        } else if (a == QLatin1String("--rate")) {
            options.choices.rateIndex =
                indexOf(args[++i], {"keep", "16000", "22050", "24000", "32000", "44100", "48000"});
            if (options.choices.rateIndex < 0) {
                return usage(console,
                             "--rate takes keep, 16000, 22050, 24000, 32000, 44100 or 48000");
            }
        } else if (a == QLatin1String("--channels")) {
            options.choices.channelIndex = indexOf(args[++i], {"keep", "1", "2"});
            if (options.choices.channelIndex < 0) {
                return usage(console, "--channels takes keep, 1 or 2");
            }
        } else if (a == QLatin1String("--bitrate")) {
            bool ok = false;
            const uint kbps = args[++i].toUInt(&ok);
            options.choices.bitrateIndex = -1;
            for (std::size_t k = 0; ok && k < converter::kBitrateChoices.size(); ++k) {
                if (converter::kBitrateChoices[k] == kbps) {
                    options.choices.bitrateIndex = static_cast<int>(k);
                }
            }
            if (options.choices.bitrateIndex < 0) {
                return usage(console, "--bitrate takes 320, 256, 224, 192, 160, 128, 112, 96, 80, "
                                      "64, 56, 48, 40, 32, 16 or 8");
            }
        } else if (a == QLatin1String("--range")) {
            const auto fields = converter::parseRangeText(args[++i]);
            if (!fields || converter::rangeText(*fields) != args[i]) {
                return usage(console, "--range takes H:MM:SS.T-H:MM:SS.T");
            }
            const auto& f = *fields;
            range = {converter::secondsOf(f[0], f[1], f[2], f[3]),
                     converter::secondsOf(f[4], f[5], f[6], f[7])};
            if (range.end < range.start) {
                return usage(console, "the range ends before it starts");
            }
        } else if (a == QLatin1String("--merge")) {
            options.merge = true;
        } else if (a == QLatin1String("--overwrite")) {
            options.skipExisting = false;
        } else if (a == QLatin1String("--to")) {
            options.choices.destination = platform::absolutePath(args[++i]);
            if (args[i].endsWith(QLatin1Char('/')) &&
                !options.choices.destination.endsWith(QLatin1Char('/'))) {
                options.choices.destination += QLatin1Char('/');
            }
            haveDestination = !args[i].trimmed().isEmpty();
        } else if (a.startsWith(QLatin1String("--"))) {
            return usage(console, "unknown option");
        } else {
            sources.push_back({platform::absolutePath(a), {}});
        }
    }
    if (!haveDestination) {
        return usage(console, "--to DEST is required");
    }
    if (sources.empty()) {
        return usage(console, "no source file was given");
    }
    for (auto& s : sources) {
        s.range = range;
    }

    encoders::EncoderTable table;
    table.load();
    switch (converter::checkJob(table, sources, options)) {
    case converter::JobRefusal::EncoderNotLoaded:
        std::fprintf(console.err, "mireldo-cli convert: %s\n",
                     loadString(178).toUtf8().constData());
        return kExitFailed;
    case converter::JobRefusal::NoSources:
    case converter::JobRefusal::NoDestination:
        return usage(console, "no source or destination");
    case converter::JobRefusal::None:
        break;
    }
    CliView view(console, sources);
    const converter::JobOutcome outcome = converter::runJob(table, sources, options, view);
    if (outcome.cancelled) {
        return kExitInterrupted;
    }
    return view.failed() ? kExitFailed : kExitOk;
}

} // namespace mireldo::cli
