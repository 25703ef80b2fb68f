#pragma once

// The one writer of a list file. Whoever changes the list (the window for as long as it runs,
// mireldo-cli while it adds or removes) holds an exclusive advisory lock (flock) on the file
// under its name. A save replaces the file by a rename; the saver locks the new file before
// the rename and lets go of the old one after it (moveTo()), so the name stays locked across
// saves. Readers take no lock: a list file is only ever replaced whole.
//
// Threads: one thread at a time per object (the model's window thread).
// Ownership: the object owns the locked descriptor; destroying it releases the lock.

#include "unique_fd.h"

#include <QString>

namespace mireldo::playlist {

class ListFileLock {
  public:
    enum class Result {
        Locked, ///< the lock is held
        Busy,   ///< another writer holds it
        Failed, ///< the file could not be opened or created (error() tells why)
    };

    ListFileLock() = default;
    ListFileLock(const ListFileLock&) = delete;
    ListFileLock& operator=(const ListFileLock&) = delete;

    /// Locks the file at `path`, creating it empty when missing. Tries again for up to
    /// `waitMs` while another writer holds it (a command line holds it only for a moment).
    Result acquire(const QString& path, int waitMs);
    /// Locks `fd` (the file a save is about to rename over the name). Called before the rename.
    bool lockNew(int fd);
    /// Holds `fd` (locked with lockNew(), now under the name) instead of the old descriptor,
    /// whose lock ends.
    void moveTo(platform::UniqueFd fd);
    /// Lets go of the lock.
    void release() { fd_.reset(); }

    bool held() const { return fd_.valid(); }
    /// The system's reason when acquire() failed.
    const QString& error() const { return error_; }

  private:
    platform::UniqueFd fd_;
    QString error_;
};

} // namespace mireldo::playlist
