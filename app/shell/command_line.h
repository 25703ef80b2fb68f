#pragma once

// The window program's command line: `mireldo [--] [FILE...]`, `--help`, `--version`, and the
// options Qt's application object takes for itself (-platform NAME, -style NAME, ...). It is
// read before the application object exists, so that --help, --version and wrong usage need no
// display.
//
// Threads: any thread; nothing here keeps state.

#include <QString>
#include <QStringList>

#include <cstdio>

namespace mireldo {

/// What the command line asks for.
struct CommandLine {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    /// The files to add to the playlist, absolute (the running window may have another current
    /// folder), in the order given. Only for Run.
    QStringList files;
    /// Why the usage is wrong (one line, without the program's name). Only for UsageError.
    QString error;
};

/// Reads `arguments` (argv decoded, the program's name first).
CommandLine parseCommandLine(const QStringList& arguments);

/// The usage text, ending with a newline.
QString commandLineUsage();

/// Answers Help (usage on `out`), Version (name and version on `out`) and UsageError (the
/// error and the usage on `err`) and gives the exit status: 0, 0 and 2. Run gives -1: the
/// window has to start.
int answerWithoutWindow(const CommandLine& line, std::FILE* out, std::FILE* err);

} // namespace mireldo
