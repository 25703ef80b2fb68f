#pragma once

// mireldo-cli play FILE... [--device N] [--loop]: plays files one after another through the
// player engine, showing "position / total" on one line. Ctrl+C stops playing cleanly.

#include "cli.h"

namespace mireldo::cli {

/// The play command; `args` are the words after "play".
int runPlay(const QStringList& args, Console console);

/// "m:ss" (or "h:mm:ss") for a number of frames at `rate`.
QString formatTime(std::uint64_t frames, std::uint32_t rate);

/// The reason for a decoder result code, for messages.
const char* decoderErrorText(int code);

} // namespace mireldo::cli
