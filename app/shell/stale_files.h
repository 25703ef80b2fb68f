#pragma once

// Start-up clean-up of the recording folder. A run of the program (the window or the command
// line) keeps each record being captured in "mireldo_temp_<pid>_<n>.wav" and its on-the-fly
// compression in "mireldo_temp_<pid>_<n>.mp3" there (earlier versions used
// "mireldo_temp_<pid>.wav" and ".mp3"). Files left by a run that ended abnormally, and
// records a run could not save, are dealt with before the main window opens:
//   - a temporary WAV is in use while a process holds the advisory lock (flock) that every
//     recording process keeps on it; a locked WAV and its compressed companion are left
//     alone. The clean-up holds the same lock while it deals with a file, so a recorder never
//     starts on a file the clean-up is about to delete. As a fallback (file systems without
//     locks, earlier versions that did not lock), files whose process id is a running
//     Mireldo process (the window or mireldo-cli) are left alone too;
//   - a WAV holding audio beyond its 44-byte header is a record that run lost: its header
//     sizes are repaired from the file length and it is moved into the record folder (the
//     home folder when none is set) as "YYYY-MM-DD HHhMMmSSs (recovered).wav", named from its
//     modification time, which it keeps;
//   - a WAV with nothing beyond its header, and every compressed companion, is deleted;
//   - anything else (a header that is not ours, something that is not a regular file) is
//     left where it is. Nothing that may hold a recording is ever deleted.
//
// Threads: any thread, but only one clean-up at a time per temporary folder (start-up runs it
// once, before the program starts any other thread of its own).

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace mireldo {

/// What the first bytes of a temporary WAV say about it.
struct TemporaryWavInfo {
    enum Kind {
        Empty,       ///< no complete frame beyond the header
        Record,      ///< our header with audio after it
        Unrecognised ///< audio may be there, but the header is not the recorder's
    };
    Kind kind = Unrecognised;
    std::uint16_t blockAlign = 0; ///< bytes per frame (Record only)
};

/// Classifies a temporary WAV from its first bytes (`header`, up to 44) and its length.
TemporaryWavInfo inspectTemporaryWav(std::span<const std::uint8_t> header,
                                     std::uint64_t fileLength);

/// The process id in "mireldo_temp_<pid>_<n><extension>" or "mireldo_temp_<pid><extension>";
/// nullopt when `name` has another form. `extension` includes the dot (".wav").
std::optional<std::int64_t> temporaryFileNumber(QStringView name, QStringView extension);

/// `folder` and `name` joined with one '/' ("%s%s" when the folder already ends with it).
QString joinFolder(const QString& folder, const QString& name);

/// "YYYY-MM-DD HHhMMmSSs (recovered).wav" for the first attempt, "... (recovered N).wav"
/// for attempt N >= 2 (used when the earlier names are taken). `time` in local time.
QString recoveredRecordName(const QDateTime& time, int attempt);

/// True when `pid` is a running process of this program: the same executable as the calling
/// process, or one named "mireldo" or "mireldo-cli". The calling process itself answers false:
/// at start-up it owns no temporary files yet, so a file with its number was left by a dead
/// process whose id has been reused.
bool isRunningMireldoProcess(std::int64_t pid);

struct StaleFileOptions {
    QString temporaryFolder;
    /// The folder earlier versions recorded in, looked at after temporaryFolder (empty: none).
    /// It is removed when it is left empty, so it is looked at until it has been dealt with.
    QString legacyFolder;
    /// Where recovered records go; empty means homeFolder.
    QString recordFolder;
    QString homeFolder;
    /// Answers whether a file's number belongs to a running Mireldo process.
    std::function<bool(std::int64_t)> isRunningProcess = isRunningMireldoProcess;
    /// Copy and delete instead of renaming, as across file systems (tests set it).
    bool forceCopy = false;
};

struct StaleFileReport {
    QStringList recovered;    ///< new paths of the recovered records
    QStringList deleted;      ///< temporary files removed
    QStringList kept;         ///< left alone: of running processes, or not recognised
    QStringList notRecovered; ///< records that could not be moved; still in the folder
};

/// Runs the clean-up described above over `options.temporaryFolder`, then the legacy folder.
StaleFileReport removeStaleTemporaryFiles(const StaleFileOptions& options);

} // namespace mireldo
