#include "stale_files.h"

#include "byte_reader.h"
#include "fd_io.h"
#include "unique_fd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mireldo {

namespace {

using platform::UniqueFd;

constexpr std::uint64_t kHeaderSize = 44;
constexpr char16_t kTempPrefix[] = u"mireldo_temp_";

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

void putLe32(std::array<std::uint8_t, 4>& out, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// Makes the RIFF and data sizes of the header agree with the file: whole frames only (a frame
// cut short by the crash cannot be played and is dropped), sizes from the file length.
// Returns the data length written, or nullopt when the file could not be changed.
std::optional<std::uint64_t> repairHeader(int fd, std::uint64_t fileLength,
                                          std::uint16_t blockAlign) {
    constexpr std::uint64_t kMaxData = std::numeric_limits<std::uint32_t>::max() - 36;
    std::uint64_t data = fileLength - kHeaderSize;
    data -= data % blockAlign;
    if (data > kMaxData) {
        // Never reached by a capture (it stops at 2 GiB); describe as much as fits.
        data = kMaxData - kMaxData % blockAlign;
    } else if (kHeaderSize + data != fileLength) {
        if (::ftruncate(fd, static_cast<off_t>(kHeaderSize + data)) != 0) {
            return std::nullopt;
        }
    }
    std::array<std::uint8_t, 4> riffSize{};
    std::array<std::uint8_t, 4> dataSize{};
    putLe32(riffSize, static_cast<std::uint32_t>(data + 36));
    putLe32(dataSize, static_cast<std::uint32_t>(data));
    if (!common::pwriteAll(fd, riffSize.data(), riffSize.size(), 4) ||
        !common::pwriteAll(fd, dataSize.data(), dataSize.size(), 40) || ::fsync(fd) != 0) {
        return std::nullopt;
    }
    return data;
}

// Copies the open file `in` into a new private file beside `folder`'s other files and returns
// that file's path; empty on failure (nothing is left behind).
QString copyToFolder(int in, const QString& folder) {
    const QString part = joinFolder(
        folder, QStringLiteral(".mireldo-recovering-%1.part").arg(static_cast<qint64>(::getpid())));
    const QByteArray partPath = nativePath(part);
    UniqueFd out(
        ::open(partPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid()) {
        return {};
    }
    std::array<std::uint8_t, 65536> buffer{};
    off_t offset = 0;
    for (;;) {
        const ssize_t n =
            common::preadAll(in, buffer.data(), buffer.size(), static_cast<std::uint64_t>(offset));
        if (n < 0) {
            ::unlink(partPath.constData());
            return {};
        }
        if (n == 0) {
            break;
        }
        if (!common::pwriteAll(out.get(), buffer.data(), static_cast<std::size_t>(n),
                               static_cast<std::uint64_t>(offset))) {
            ::unlink(partPath.constData());
            return {};
        }
        offset += n;
    }
    if (::fsync(out.get()) != 0) {
        ::unlink(partPath.constData());
        return {};
    }
    return part;
}

// Renames `from` to `to` unless `to` exists. errno tells why it failed.
bool renameNoReplace(const QString& from, const QString& to) {
    return ::renameat2(AT_FDCWD, nativePath(from).constData(), AT_FDCWD, nativePath(to).constData(),
                       RENAME_NOREPLACE) == 0;
}

// Moves the repaired record `source` (open as `fd`) into `folder` under the first free
// recovered name. Returns the new path, empty when it stayed where it was.
QString moveRecord(const QString& source, int fd, const QString& folder,
                   const struct timespec& modified, bool forceCopy) {
    const QDateTime time = QDateTime::fromSecsSinceEpoch(modified.tv_sec);
    constexpr int kMaxAttempts = 100;

    bool copy = forceCopy;
    if (!copy) {
        for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
            const QString target = joinFolder(folder, recoveredRecordName(time, attempt));
            if (renameNoReplace(source, target)) {
                return target;
            }
            if (errno == EEXIST) {
                continue;
            }
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS) {
                copy = true; // another file system, or no exclusive rename there
                break;
            }
            return {};
        }
        if (!copy) {
            return {};
        }
    }

    const QString part = copyToFolder(fd, folder);
    if (part.isEmpty()) {
        return {};
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, modified};
    ::utimensat(AT_FDCWD, nativePath(part).constData(), times, AT_SYMLINK_NOFOLLOW);
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        const QString target = joinFolder(folder, recoveredRecordName(time, attempt));
        if (renameNoReplace(part, target)) {
            // The copy is complete and in place: only now may the original go.
            ::unlink(nativePath(source).constData());
            return target;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    ::unlink(nativePath(part).constData());
    return {};
}

// The folder recovered records go to, created when missing; empty when neither the record
// folder nor the home folder can hold them.
QString recoveryFolder(const StaleFileOptions& options) {
    QStringList candidates;
    if (!options.recordFolder.isEmpty()) {
        candidates << options.recordFolder;
    }
    candidates << (options.homeFolder.isEmpty() ? QDir::homePath() : options.homeFolder);
    for (const QString& folder : candidates) {
        if (QDir().mkpath(folder) && QFileInfo(folder).isWritable()) {
            return folder;
        }
    }
    return {};
}

// How the lock of a temporary WAV stands.
enum class LockState { Taken, Busy, Unsupported };

// Takes the recorders' lock on `fd` without waiting.
LockState takeLock(int fd) {
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        return LockState::Taken;
    }
    return errno == EWOULDBLOCK ? LockState::Busy : LockState::Unsupported;
}

// True when a process records into the WAV at `path`: it holds the lock. A file that cannot
// be opened or locked counts as in use.
bool wavInUse(const QString& path) {
    UniqueFd fd(
        ::open(nativePath(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        return errno != ENOENT;
    }
    return takeLock(fd.get()) == LockState::Busy;
}

void handleWav(const QString& path, const StaleFileOptions& options, bool runningOwner,
               StaleFileReport& report) {
    const QByteArray native = nativePath(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) {
        return; // gone meanwhile
    }
    if (!S_ISREG(st.st_mode)) {
        report.kept << path;
        return;
    }
    UniqueFd fd(::open(native.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        report.kept << path;
        return;
    }
    // Held until the file has been dealt with: a recorder that has just made this file finds
    // it locked (or gone) and takes another name instead of recording into a deleted file.
    if (takeLock(fd.get()) == LockState::Busy || runningOwner) {
        report.kept << path;
        return;
    }
    const auto length = static_cast<std::uint64_t>(st.st_size);
    if (length <= kHeaderSize) {
        if (::unlink(native.constData()) == 0) {
            report.deleted << path;
        }
        return;
    }
    std::array<std::uint8_t, kHeaderSize> header{};
    if (!common::preadExact(fd.get(), header.data(), header.size(), 0)) {
        report.kept << path;
        return;
    }
    const TemporaryWavInfo info =
        inspectTemporaryWav(header, static_cast<std::uint64_t>(st.st_size));
    if (info.kind == TemporaryWavInfo::Empty) {
        fd.reset();
        if (::unlink(native.constData()) == 0) {
            report.deleted << path;
        }
        return;
    }
    if (info.kind != TemporaryWavInfo::Record) {
        report.kept << path;
        return;
    }

    const struct timespec modified = st.st_mtim;
    if (!repairHeader(fd.get(), static_cast<std::uint64_t>(st.st_size), info.blockAlign)) {
        report.notRecovered << path;
        return;
    }
    const QString folder = recoveryFolder(options);
    const QString target = folder.isEmpty()
                               ? QString()
                               : moveRecord(path, fd.get(), folder, modified, options.forceCopy);
    if (target.isEmpty()) {
        report.notRecovered << path;
        return;
    }
    // Repairing the header touched the file: give the record back the time it was made.
    const struct timespec times[2] = {{0, UTIME_OMIT}, modified};
    ::utimensat(AT_FDCWD, nativePath(target).constData(), times, AT_SYMLINK_NOFOLLOW);
    report.recovered << target;
}

void handleCompressed(const QString& path, bool runningOwner, StaleFileReport& report) {
    const QByteArray native = nativePath(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) {
        return;
    }
    // The compression of a record being captured goes with its WAV, which is locked.
    QString wav = path;
    wav.replace(wav.size() - 4, 4, QStringLiteral(".wav"));
    if (S_ISDIR(st.st_mode) || runningOwner || wavInUse(wav)) {
        report.kept << path;
        return;
    }
    if (::unlink(native.constData()) == 0) {
        report.deleted << path;
    }
}

} // namespace

TemporaryWavInfo inspectTemporaryWav(std::span<const std::uint8_t> header,
                                     std::uint64_t fileLength) {
    TemporaryWavInfo info;
    if (fileLength <= kHeaderSize) {
        info.kind = TemporaryWavInfo::Empty;
        return info;
    }
    common::ByteReader r(header);
    std::array<char, 4> riff{}, wave{}, fmt{}, data{};
    r.bytes(riff.data(), 4);
    r.u32(); // RIFF size: what the repair rewrites
    r.bytes(wave.data(), 4);
    r.bytes(fmt.data(), 4);
    const std::uint32_t fmtSize = r.u32();
    const std::uint16_t formatTag = r.u16();
    const std::uint16_t channels = r.u16();
    const std::uint32_t rate = r.u32();
    r.u32(); // average bytes per second
    const std::uint16_t blockAlign = r.u16();
    const std::uint16_t bits = r.u16();
    r.bytes(data.data(), 4);
    r.u32(); // data size: what the repair rewrites
    if (!r.ok()) {
        return info;
    }
    const auto is = [](const std::array<char, 4>& a, const char* tag) {
        return std::equal(a.begin(), a.end(), tag);
    };
    const bool ours = is(riff, "RIFF") && is(wave, "WAVE") && is(fmt, "fmt ") && is(data, "data") &&
                      fmtSize == 16 && formatTag == 1 && (channels == 1 || channels == 2) &&
                      (bits == 8 || bits == 16) && rate > 0 && blockAlign == channels * bits / 8;
    if (!ours) {
        return info;
    }
    if (fileLength - kHeaderSize < blockAlign) {
        info.kind = TemporaryWavInfo::Empty;
        return info;
    }
    info.kind = TemporaryWavInfo::Record;
    info.blockAlign = blockAlign;
    return info;
}

namespace {

// The value of `digits` (1 to 18 decimal digits); nullopt otherwise.
std::optional<std::int64_t> decimal(QStringView digits) {
    if (digits.isEmpty() || digits.size() > 18) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

std::optional<std::int64_t> temporaryFileNumber(QStringView name, QStringView extension) {
    const QStringView prefix(kTempPrefix);
    if (!name.startsWith(prefix) || !name.endsWith(extension) ||
        name.size() <= prefix.size() + extension.size()) {
        return std::nullopt;
    }
    const QStringView middle =
        name.mid(prefix.size(), name.size() - prefix.size() - extension.size());
    const qsizetype underscore = middle.indexOf(u'_');
    if (underscore < 0) {
        return decimal(middle);
    }
    if (!decimal(middle.mid(underscore + 1))) {
        return std::nullopt;
    }
    return decimal(middle.left(underscore));
}

QString joinFolder(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString recoveredRecordName(const QDateTime& time, int attempt) {
    const QDate d = time.date();
    const QTime t = time.time();
    const QString stamp = QString::asprintf("%04d-%02d-%02d %02dh%02dm%02ds", d.year(), d.month(),
                                            d.day(), t.hour(), t.minute(), t.second());
    if (attempt <= 1) {
        return stamp + QStringLiteral(" (recovered).wav");
    }
    return stamp + QStringLiteral(" (recovered %1).wav").arg(attempt);
}

bool isRunningMireldoProcess(std::int64_t pid) {
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max() || pid == ::getpid()) {
        return false;
    }
    const QString proc = QStringLiteral("/proc/%1").arg(pid);
    // A process that has ended but not been waited for (a zombie) still has its entry; it
    // holds no files any more.
    QFile stat(proc + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray fields = stat.readAll();
    const qsizetype nameEnd = fields.lastIndexOf(')');
    if (nameEnd < 0 || nameEnd + 2 >= fields.size() || fields[nameEnd + 2] == 'Z' ||
        fields[nameEnd + 2] == 'X') {
        return false;
    }
    struct stat theirs {};
    struct stat ours {};
    if (::stat(nativePath(proc + QStringLiteral("/exe")).constData(), &theirs) == 0 &&
        ::stat("/proc/self/exe", &ours) == 0 && theirs.st_dev == ours.st_dev &&
        theirs.st_ino == ours.st_ino) {
        return true;
    }
    // Another installed copy of the program, or the command line's.
    QFile comm(proc + QStringLiteral("/comm"));
    if (comm.open(QIODevice::ReadOnly)) {
        const QByteArray name = comm.readAll().trimmed();
        return name == "mireldo" || name == "mireldo-cli";
    }
    return false;
}

namespace {

void cleanFolder(const QString& folder, const StaleFileOptions& options, StaleFileReport& report) {
    const QDir dir(folder);
    const auto filters = QDir::Files | QDir::Hidden | QDir::System;

    const auto belongsToRunning = [&](const QString& name, QStringView extension) {
        const auto number = temporaryFileNumber(name, extension);
        return number && options.isRunningProcess && options.isRunningProcess(*number);
    };

    for (const QString& name :
         dir.entryList({QStringLiteral("mireldo_temp_*.wav")}, filters, QDir::Name)) {
        handleWav(joinFolder(folder, name), options, belongsToRunning(name, u".wav"), report);
    }
    for (const QString& name :
         dir.entryList({QStringLiteral("mireldo_temp_*.mp3")}, filters, QDir::Name)) {
        handleCompressed(joinFolder(folder, name), belongsToRunning(name, u".mp3"), report);
    }
}

} // namespace

StaleFileReport removeStaleTemporaryFiles(const StaleFileOptions& options) {
    StaleFileReport report;
    if (!options.temporaryFolder.isEmpty()) {
        cleanFolder(options.temporaryFolder, options, report);
    }
    if (!options.legacyFolder.isEmpty() && options.legacyFolder != options.temporaryFolder) {
        cleanFolder(options.legacyFolder, options, report);
        // Gone once nothing is left in it; a folder still holding something stays.
        ::rmdir(nativePath(options.legacyFolder).constData());
    }
    return report;
}

} // namespace mireldo
