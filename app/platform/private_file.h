#pragma once

// Files only their owner may read: records and their compressed copies in the temporary
// folder. The last component of the path is never followed if it is a symbolic link, so a
// link planted where a record will be written cannot redirect the write.
//
// Threads: any thread. The returned descriptor belongs to the caller (UniqueFd closes it).

#include "result.h"
#include "unique_fd.h"

#include <QString>

namespace mireldo::platform {

/// What createPrivateFile() does when the file already exists.
enum class ExistingFile {
    Fail,     ///< refuse with EEXIST (O_EXCL)
    Truncate, ///< reuse it, emptied once it has passed the checks
};

/// Opens `path` for reading and writing with mode 0600, creating it if missing. Refused when
/// the path is a symbolic link (ELOOP) or names something other than a regular file
/// (EINVAL), belongs to another user (EPERM), or exists and `existing` is Fail (EEXIST).
/// An existing file of ours opened with wider rights is narrowed to 0600.
Result<UniqueFd> createPrivateFile(const QString& path, ExistingFile existing);

} // namespace mireldo::platform
