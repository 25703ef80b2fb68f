#pragma once

// The program's temporary folder: a folder private to the user inside the system's temporary
// folder, "mireldo-<uid>" in QDir::tempPath(). Only its owner may enter it, so no other user
// can read a record in it or plant a link where the program will write.
//
// Threads: any thread. Two threads (or processes) creating the folder at once both succeed.

#include "result.h"

#include <QString>

namespace mireldo::platform {

/// Makes sure <QDir::tempPath()>/mireldo-<uid> exists as our private folder and returns its
/// path (no trailing '/'). See privateFolderIn() for the checks.
Result<QString> temporaryFolder();

/// Makes sure <parent>/<name> is a folder of ours with mode 0700, creating it if missing,
/// and returns its path. Refused when it is a symbolic link or not a folder (ENOTDIR), has
/// another owner (EPERM), or lets the group or others in (EACCES). A folder of ours with
/// fewer owner rights than rwx is given them.
Result<QString> privateFolderIn(const QString& parent, const QString& name);

/// "mireldo-<uid>" for the current user.
QString temporaryFolderName();

} // namespace mireldo::platform
