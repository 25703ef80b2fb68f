#pragma once

// File-system queries (free space, the executable's folder, existence checks) and
// PendingFile, which writes a file under a temporary name and puts it in place when complete.
//
// Threads: any thread; nothing here keeps state. executableFolder() reads the application
// object's answer only while that object exists (made and destroyed on the main thread). A
// PendingFile is used by one thread at a time.

#include "result.h"
#include "unique_fd.h"

#include <QString>
#include <QStringList>

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

/// The folders plug-ins and runtimes are looked for in, in order: <libdir>/mireldo of the
/// installed tree the program runs from (when that folder exists), then the executable's own
/// folder (the build tree keeps everything there). pluginFoldersFor() with executableFolder().
QStringList pluginFolders();
/// pluginFolders() for a program in `executableFolder`.
QStringList pluginFoldersFor(const QString& executableFolder);

/// True when `path` names an existing file that is not a folder (links are followed).
bool fileExists(const QString& path);

/// True when `path` names an existing folder (links are followed).
bool folderExists(const QString& path);

/// A file written under a temporary name (".<name>.<random>.part") in the folder of its
/// destination and renamed to the destination only when complete, so that a failed or killed
/// write never leaves a half-written file under the destination's name and never takes away
/// the file that was there. Destroying it before commit() removes the temporary file.
/// Ownership: owns the descriptor and the temporary file until commit().
class PendingFile {
  public:
    PendingFile() = default;
    ~PendingFile() { discard(); }
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    /// Creates the temporary file for `destination` (mode 0644 less the umask, for writing).
    static Result<PendingFile> create(const QString& destination);

    bool valid() const { return fd_.valid(); }
    /// The descriptor to write to (write-only, positioned at 0).
    int fd() const { return fd_.get(); }
    /// The temporary file's path; what code that reopens the file by name must use.
    const QString& temporaryPath() const { return temporary_; }
    /// Empties the temporary file and moves back to its start (to write it again).
    bool restart();

    /// Flushes the file to disk, closes it and renames it to `target` (a path in the same
    /// folder as the destination it was created for). When `replace` is off an existing
    /// `target` is never replaced: the error is then EEXIST and the file stays pending, so
    /// another name can be tried. Any other failure removes the temporary file.
    Result<QString> commit(const QString& target, bool replace);
    /// Closes and removes the temporary file (nothing when there is none).
    void discard();

  private:
    UniqueFd fd_;
    QString temporary_;
};

} // namespace mireldo::platform
