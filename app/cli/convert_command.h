#pragma once

// mireldo-cli convert [--type mp3|wav|ogg|wma] [--rate keep|16000|...|48000]
// [--channels keep|1|2] [--bitrate KBPS] [--range H:MM:SS.T-H:MM:SS.T] [--merge] [--overwrite]
// --to DEST FILE...: the converter's job without its window and without the pacing. One line
// per source on stdout, "STATUS<TAB>OUTPUT"; a progress line on stderr when it is a terminal.
// Exit status 0 when every source converted or was skipped, 1 when any failed, 2 for usage
// errors, 130 when interrupted (the source being converted is cancelled).

#include "cli.h"

namespace mireldo::cli {

/// The convert command; `args` are the words after "convert".
int runConvert(const QStringList& args, Console console);

} // namespace mireldo::cli
