#pragma once

// The program's recording folder: where the record being captured and its on-the-fly
// compression live until they are saved. It is on disk, not in the system's temporary folder
// (often a memory file system): a long record does not sit in memory, and a record kept for
// recovery survives a power cut. By default "$XDG_STATE_HOME/Tarnwick/Mireldo/recording"
// (normally ~/.local/state/Tarnwick/Mireldo/recording); MIRELDO_TEMP_DIR names another folder
// (tests use it). Only its owner may enter it, so no other user can read a record in it or
// plant a link where the program will write.
//
// Threads: any thread. Two threads (or processes) creating the folder at once both succeed.

#include "result.h"

#include <QString>

namespace mireldo::platform {

/// Makes sure the recording folder exists as our private folder and returns its path (no
/// trailing '/'): MIRELDO_TEMP_DIR when set, else <state home>/Tarnwick/Mireldo/recording.
/// Missing parent folders are made with mode 0700. See privateFolderIn() for the checks.
Result<QString> temporaryFolder();

/// $XDG_STATE_HOME when it holds an absolute path, else <home>/.local/state.
QString stateHomeFolder();

/// The folder earlier versions recorded in, "mireldo-<uid>" in QDir::tempPath(), when it
/// exists and passes the checks of privateFolderIn(); empty otherwise. Never creates it.
QString legacyTemporaryFolder();

/// Makes sure <parent>/<name> is a folder of ours with mode 0700, creating it if missing,
/// and returns its path. Refused when it is a symbolic link or not a folder (ENOTDIR), has
/// another owner (EPERM), or lets the group or others in (EACCES). A folder of ours with
/// fewer owner rights than rwx is given them.
Result<QString> privateFolderIn(const QString& parent, const QString& name);

/// "mireldo-<uid>" for the current user: the name of the folder earlier versions used.
QString temporaryFolderName();

} // namespace mireldo::platform
