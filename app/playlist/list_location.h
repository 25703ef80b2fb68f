#pragma once

// Where the application's list file lives: with the user's other per-user data,
// $XDG_DATA_HOME/Tarnwick/Mireldo/Mireldo.lst (normally ~/.local/share/...). Earlier versions
// kept it beside the executable; such a list is moved to the new place once.
//
// Threads: any thread; reads the environment.

#include <QString>

namespace mireldo::playlist {

/// The user's data folder: $XDG_DATA_HOME when it is an absolute path, else
/// $HOME/.local/share.
QString userDataHome();

/// The folder of the list file: <userDataHome()>/Tarnwick/Mireldo.
QString listFileFolder();

/// The list file's path. With `prepare` (a writer of the list) the folder is created when
/// missing (mode 0700 for what is made) and a Mireldo.lst beside the executable is moved into
/// it when none is there yet; a list already there is never replaced. Without `prepare`
/// nothing is created or moved: while the new place holds no list, an old list beside the
/// executable is the answer (so a reader still finds it).
QString defaultListFilePath(bool prepare = true);

} // namespace mireldo::playlist
