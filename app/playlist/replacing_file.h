#pragma once

// Writing a file that replaces another only once it is complete: the bytes go to a new file in
// the target's folder, which is synced and renamed over the target on commit(). A failure or a
// crash at any point leaves the old target whole (and at worst a stray temporary file that
// never carries the target's name). Paths are converted with platform::encodePath().
//
// Threads: one thread at a time per object.
// Ownership: the object owns the temporary file until commit(); destroying it uncommitted
// removes the temporary file.

#include "unique_fd.h"

#include <QString>

#include <cstddef>

namespace mireldo::playlist {

class ReplacingFile {
  public:
    /// A writer for `target`; nothing is created before open().
    explicit ReplacingFile(QString target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    /// Creates the temporary file beside the target (mode 0666 less the umask). False on
    /// failure (error() tells why).
    bool open();
    /// Appends `size` bytes. False on failure.
    bool write(const void* data, std::size_t size);
    /// The temporary file's descriptor (valid after open(), until commit()).
    int fd() const { return fd_.get(); }
    /// Syncs the temporary file and renames it over the target. After a successful commit the
    /// descriptor still refers to the file, now under the target's name (see takeFd()).
    bool commit();
    /// The descriptor of the committed file, for a caller that keeps it (a lock holder).
    platform::UniqueFd takeFd() { return std::move(fd_); }

    /// The system's reason for the last failure.
    const QString& error() const { return error_; }

  private:
    bool fail(int err);

    QString target_;
    QString temporary_;
    platform::UniqueFd fd_;
    bool committed_ = false;
    QString error_;
};

} // namespace mireldo::playlist
