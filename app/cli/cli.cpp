#include "cli.h"

#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "play_command.h"
#include "playlist_command.h"
#include "record_command.h"

#include <array>

namespace mireldo::cli {

namespace {

struct Command {
    const char* name;
    const char* usage;
    int (*run)(const QStringList& args, Console console);
};

int runDevices(const QStringList& args, Console console) {
    if (!args.isEmpty()) {
        std::fprintf(console.err, "mireldo-cli: devices takes no arguments\n");
        return kExitUsage;
    }
    const QStringList outputs = platform::audio::waveOutDeviceNames();
    const QStringList inputs = platform::audio::waveInDeviceNames();
    std::fprintf(console.out, "Output devices (--device N):\n");
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        std::fprintf(console.out, "  %lld  %s\n", static_cast<long long>(i),
                     outputs[i].toLocal8Bit().constData());
    }
    std::fprintf(console.out, "Input devices:\n");
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        std::fprintf(console.out, "  %lld  %s\n", static_cast<long long>(i),
                     inputs[i].toLocal8Bit().constData());
    }
    return kExitOk;
}

// Later commands (record, playlist, convert, tag) join this table.
constexpr std::array kCommands{
    Command{"play", "play FILE... [--device N] [--loop]", runPlay},
    Command{"devices", "devices", runDevices},
    Command{"playlist", "playlist [--list FILE] show | add PATH... | remove N...", runPlaylist},
    Command{"record",
            "record [--input default|N] [--format ROW] [--noise-level 0-4] [--drop-silence]\n"
            "                   [--action 0-4] [--long-silence SECONDS] [--discard-shorter SECONDS]\n"
            "                   [--encode mp3|wma|ogg|wav] [--quality 0-15] [--folder DIR]\n"
            "                   [--duration SECONDS]",
            runRecord},
};

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage:\n");
    for (const Command& c : kCommands) {
        std::fprintf(to, "  mireldo-cli %s\n", c.usage);
    }
}

} // namespace

int runCli(const QStringList& arguments, Console console) {
    if (arguments.size() < 2) {
        printUsage(console.err);
        return kExitUsage;
    }
    const QString name = arguments[1];
    if (name == QStringLiteral("--help") || name == QStringLiteral("-h")) {
        printUsage(console.out);
        return kExitOk;
    }
    for (const Command& c : kCommands) {
        if (name == QLatin1String(c.name)) {
            return c.run(arguments.mid(2), console);
        }
    }
    std::fprintf(console.err, "mireldo-cli: unknown command '%s'\n", name.toLocal8Bit().constData());
    printUsage(console.err);
    return kExitUsage;
}

} // namespace mireldo::cli
