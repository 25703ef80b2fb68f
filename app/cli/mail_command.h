#pragma once

// mireldo-cli mail (--account NAME | --smtp URL) --to ADDR[;ADDR] [--from ADDR] [--subject S]
// [--body TEXT] FILE...: sends the files as attachments through the mail runtime, with a
// stored account or an SMTP address given on the spot (smtp://[user@]host[:port] or smtps://).
// The password never comes from the command line: the runtime reads the user's ~/.netrc.
// Exit status 0 sent, 1 failed (with the message for the runtime's code), 2 usage errors.

#include "cli.h"

namespace mireldo::cli {

/// The mail command; `args` are the words after "mail".
int runMail(const QStringList& args, Console console);

} // namespace mireldo::cli
