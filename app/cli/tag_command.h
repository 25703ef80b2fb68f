#pragma once

// mireldo-cli tag FILE [--title T] [--artist A] [--album B] [--year Y] [--comment C]
// [--track N] [--genre G]: shows the seven tag fields of an MP3 or WMA file (chosen by the last
// three characters of the path) as the tag dialogs show them; with options, writes them through
// the same engine, the ID3 engine or the runtime's metadata editor (fields not given keep their
// values), and shows them again. Exit status 0, 1 when the file cannot be read or written, 2 for
// usage errors.

#include "cli.h"

namespace mireldo::cli {

/// The tag command; `args` are the words after "tag".
int runTag(const QStringList& args, Console console);

} // namespace mireldo::cli
