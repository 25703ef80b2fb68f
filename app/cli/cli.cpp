#include "cli.h"

#include "audio/alsa_devices.h"
#include "audio/alsa_mixer.h"
#include "audio/pulse_endpoints.h"
#include "audio/wave_in.h"
#include "audio_mode.h"
#include "audio/wave_out.h"
#include "convert_command.h"
#include "mail_command.h"
#include "mireldo_version.h"
#include "play_command.h"
#include "playlist_command.h"
#include "record_command.h"
#include "tag_command.h"

#include <array>

namespace mireldo::cli {

namespace {

struct Command {
    const char* name;
    const char* usage;
    int (*run)(const QStringList& args, Console console);
};

// The capture devices of ALSA mode, each followed by its mixer's recording sources
// ("[x]" selected), numbered as --input takes them.
void printAlsaInputs(Console console) {
    const auto devices = platform::audio::alsaCaptureDevices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const auto& d = devices[i];
        std::fprintf(console.out, "%zu: %s (%s)\n", i, d.pcm.c_str(),
                     d.name.toLocal8Bit().constData());
        const auto mixer = platform::audio::AlsaMixer::open(d.mixer);
        if (!mixer) {
            continue;
        }
        const auto selected = mixer->readSelection();
        for (int row = 0; row < mixer->rowCount(); ++row) {
            const bool on = selected && static_cast<std::size_t>(row) < selected->size() &&
                            (*selected)[static_cast<std::size_t>(row)];
            const QString name =
                mixer->rowName(row).value_or(QStringLiteral("Error getting name."));
            std::fprintf(console.out, "    [%c] %s\n", on ? 'x' : ' ',
                         name.toLocal8Bit().constData());
        }
    }
}

// The sound server's sources, numbered as --input takes them.
void printPulseInputs(Console console) {
    const auto server = platform::audio::queryPulseServer();
    if (!server) {
        std::fprintf(console.err, "mireldo-cli: the sound server does not answer\n");
        return;
    }
    for (std::size_t i = 0; i < server->sources.size(); ++i) {
        const auto& s = server->sources[i];
        std::fprintf(console.out, "%zu: %s (%s) volume %d%%%s\n", i,
                     s.name.toLocal8Bit().constData(), s.description.toLocal8Bit().constData(),
                     s.volumePercent(), s.muted ? " [muted]" : "");
    }
}

int runDevices(const QStringList& args, Console console) {
    if (!args.isEmpty()) {
        std::fprintf(console.err, "mireldo-cli: devices takes no arguments\n");
        return kExitUsage;
    }
    const QStringList outputs = platform::audio::waveOutDeviceNames();
    std::fprintf(console.out, "Output devices (--device N):\n");
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        std::fprintf(console.out, "  %lld  %s\n", static_cast<long long>(i),
                     outputs[i].toLocal8Bit().constData());
    }
    std::fprintf(console.out, "Input devices (--input N):\n");
    switch (platform::audio::audioBackend()) {
    case platform::audio::AudioBackend::Pulse:
        printPulseInputs(console);
        break;
    case platform::audio::AudioBackend::Alsa:
        printAlsaInputs(console);
        break;
    case platform::audio::AudioBackend::Virtual: {
        const QStringList inputs = platform::audio::waveInDeviceNames();
        for (qsizetype i = 0; i < inputs.size(); ++i) {
            std::fprintf(console.out, "%lld: %s\n", static_cast<long long>(i),
                         inputs[i].toLocal8Bit().constData());
        }
        break;
    }
    }
    return kExitOk;
}

// Later commands (record, playlist, convert, tag) join this table.
constexpr std::array kCommands{
    Command{"play", "play FILE... [--device N] [--loop]", runPlay},
    Command{"devices", "devices", runDevices},
    Command{"playlist", "playlist [--list FILE] show | add PATH... | remove N...", runPlaylist},
    Command{"tag",
            "tag FILE [--title T] [--artist A] [--album B] [--year Y] [--comment C]\n"
            "                   [--track N] [--genre G]",
            runTag},
    Command{
        "record",
        "record [--input default|N|SOURCE] [--format ROW] [--noise-level 0-4] [--drop-silence]\n"
        "                   [--action 0-4] [--long-silence SECONDS] [--discard-shorter SECONDS]\n"
        "                   [--encode mp3|wma|ogg|wav] [--quality 0-15] [--folder DIR]\n"
        "                   [--duration SECONDS] [--pre-roll SECONDS] [--hold MILLISECONDS]\n"
        "                   [--measure-noise]",
        runRecord},
    Command{
        "convert",
        "convert [--type mp3|wav|ogg|wma] [--rate keep|16000|22050|24000|32000|44100|48000]\n"
        "                   [--channels keep|1|2] [--bitrate KBPS] [--range H:MM:SS.T-H:MM:SS.T]\n"
        "                   [--merge] [--overwrite] --to DEST FILE...",
        runConvert},
    Command{"mail",
            "mail (--account NAME | --smtp URL) --to ADDR[;ADDR] [--from ADDR] [--subject S]\n"
            "                   [--body TEXT] FILE...",
            runMail},
};

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage: mireldo-cli --help | --version\n");
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
    if (name == QStringLiteral("--version")) {
        std::fprintf(console.out, "mireldo-cli %s\n", MIRELDO_VERSION);
        return kExitOk;
    }
    for (const Command& c : kCommands) {
        if (name == QLatin1String(c.name)) {
            if (name != QStringLiteral("playlist")) {
                // The devices of the audio mode the window would use.
                decideAndStoreAudioMode();
            }
            return c.run(arguments.mid(2), console);
        }
    }
    std::fprintf(console.err, "mireldo-cli: unknown command '%s'\n",
                 name.toLocal8Bit().constData());
    printUsage(console.err);
    return kExitUsage;
}

} // namespace mireldo::cli
