#pragma once

// File-system queries: free space, the executable's folder, existence checks.
//
// Threads: any thread; nothing here keeps state. executableFolder() reads the application
// object's answer only while that object exists (made and destroyed on the main thread).

#include "result.h"

#include <QString>

#include <cstdint>

namespace mireldo::platform {

/// Bytes an unprivileged user may still write on the file system holding `folder`
/// (statvfs: available blocks times fragment size).
Result<std::uint64_t> freeSpace(const QString& folder);

/// Folder of the running executable, without a trailing '/': the application object's answer
/// when there is one, else the folder of /proc/self/exe; empty when neither is known.
QString executableFolder();

/// Folder of /proc/self/exe, without a trailing '/'; empty when the link cannot be read.
QString executableFolderFromProc();

/// True when `path` names an existing file that is not a folder (links are followed).
bool fileExists(const QString& path);

/// True when `path` names an existing folder (links are followed).
bool folderExists(const QString& path);

} // namespace mireldo::platform
