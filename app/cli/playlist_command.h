#pragma once

// mireldo-cli playlist [--list FILE] show | add PATH... | remove N...: the application's
// playlist through the same model, list file and loader. `show` waits until every item has
// been loaded and prints each one as the list draws it: number and title, then the info line
// and extension, or the state text.

#include "cli.h"

namespace mireldo::cli {

/// The playlist command; `args` are the words after "playlist".
int runPlaylist(const QStringList& args, Console console);

} // namespace mireldo::cli
