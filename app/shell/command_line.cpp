#include "command_line.h"

#include "mireldo_version.h"
#include "native_path.h"

#include <array>

namespace mireldo {

namespace {

// Qt's own options (QGuiApplication and QApplication read and remove them), with one or two
// leading dashes. Those in the first list take the next argument as their value.
constexpr std::array kQtOptionsWithValue{
    "platform",    "platformpluginpath", "platformtheme", "plugin",     "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "style",         "stylesheet", "session",
    "display",     "geometry",
};
constexpr std::array kQtFlags{"reverse", "widgetcount", "nograb", "dograb", "sync"};

// The option's name without its dashes (and without "=VALUE"); empty for a non-option.
QString optionName(const QString& arg) {
    if (!arg.startsWith(QLatin1Char('-')) || arg.size() < 2) {
        return {};
    }
    QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    return equals < 0 ? name : name.left(equals);
}

template <std::size_t N>
bool isOneOf(const QString& name, const std::array<const char*, N>& names) {
    for (const char* n : names) {
        if (name == QLatin1String(n)) {
            return true;
        }
    }
    return false;
}

} // namespace

QString commandLineUsage() {
    return QStringLiteral("usage: mireldo [--] [FILE...]\n"
                          "       mireldo --help | --version\n");
}

int answerWithoutWindow(const CommandLine& line, std::FILE* out, std::FILE* err) {
    switch (line.action) {
    case CommandLine::Action::Run:
        return -1;
    case CommandLine::Action::Help:
        std::fputs(commandLineUsage().toLocal8Bit().constData(), out);
        std::fputs("Records sound with silence detection and keeps a playlist. Each FILE is added\n"
                   "to the playlist; when Mireldo already runs, the files go to its window.\n",
                   out);
        return 0;
    case CommandLine::Action::Version:
        std::fprintf(out, "mireldo %s\n", MIRELDO_VERSION);
        return 0;
    case CommandLine::Action::UsageError:
        std::fprintf(err, "mireldo: %s\n", line.error.toLocal8Bit().constData());
        std::fputs(commandLineUsage().toLocal8Bit().constData(), err);
        return 2;
    }
    return 2;
}

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine result;
    bool options = true;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (!options || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            result.files.append(platform::absolutePath(arg));
            continue;
        }
        if (arg == QLatin1String("--")) {
            options = false;
            continue;
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            return CommandLine{CommandLine::Action::Help, {}, {}};
        }
        if (arg == QLatin1String("--version")) {
            return CommandLine{CommandLine::Action::Version, {}, {}};
        }
        const QString name = optionName(arg);
        if (isOneOf(name, kQtOptionsWithValue)) {
            // "-style fusion" takes the next argument; "-style=fusion" carries its own.
            if (!arg.contains(QLatin1Char('=')) && ++i >= arguments.size()) {
                return CommandLine{CommandLine::Action::UsageError,
                                   {},
                                   QStringLiteral("option '%1' needs a value").arg(arg)};
            }
            continue;
        }
        if (isOneOf(name, kQtFlags) || name.startsWith(QLatin1String("qmljsdebugger"))) {
            continue;
        }
        return CommandLine{
            CommandLine::Action::UsageError, {}, QStringLiteral("unknown option '%1'").arg(arg)};
    }
    return result;
}

} // namespace mireldo
