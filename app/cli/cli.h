#pragma once

// mireldo-cli: the command-line companion. One table of subcommands; each takes the
// arguments after its name and returns the process's exit status.
//
// Exit status: 0 success, 1 a file or device failed, 2 wrong usage, 130 interrupted.

#include <QStringList>

#include <cstdio>

namespace mireldo::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

/// Where a command writes: its output and its diagnostics.
struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};

/// Runs the command line (argv[0] is the program). Needs a QCoreApplication.
int runCli(const QStringList& arguments, Console console = {});

} // namespace mireldo::cli
