#pragma once

// The list file (Mireldo.lst) that keeps the playlist between runs. Little-endian:
//   header, 12 bytes: magic 0x4C495354 ("TSIL" in file order), version (u32), record count
//   (u16), record size (u16);
//   records of `record size` bytes: the path NUL-terminated at offset 0 (at most 260 bytes with
//   its NUL); version 3 adds the save time at 256 (u32, written before the path, so a long
//   path overwrites it; never read) and flags at 260 (u32: bits 1-3 the kind).
// Versions 0 to 3 are read (version 0 records are skipped); version 3 with 264-byte records is
// written. A record size above 264 is read record by record and the extra bytes are skipped.
//
// Paths are kept as the bytes the system uses (platform::encodePath/decodePath), so a name
// that is not valid UTF-8 survives the file unchanged.
//
// Threads: any thread; nothing here keeps state.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace mireldo::playlist {

inline constexpr std::uint32_t kListFileMagic = 0x4C495354u;
inline constexpr std::uint32_t kListFileVersion = 3;
inline constexpr std::uint16_t kListRecordSize = 264;
inline constexpr std::size_t kListHeaderSize = 12;
/// Bytes of a record that hold the path and its terminator.
inline constexpr std::size_t kListPathField = 260;
inline constexpr std::size_t kListTimeOffset = 256;
inline constexpr std::size_t kListFlagsOffset = 260;
/// Kinds run from 0 to 5.
inline constexpr std::uint8_t kKindCount = 6;

/// One entry of a list file.
struct ListEntry {
    QString path;
    std::uint8_t kind = 0;
};

/// Receives each entry as it is read, in file order.
using ListEntrySink = std::function<void(ListEntry entry)>;

/// Reads the entries of list-file `bytes`, resolving relative paths against `folder`. Nothing
/// is delivered when the header is refused (short, wrong magic, version above 3, or fewer
/// bytes than count x record size after it); records whose path is empty, unterminated within
/// 260 bytes, or too long once resolved are skipped. False when the header was refused.
bool parseListFile(std::span<const std::uint8_t> bytes, const QString& folder,
                   const ListEntrySink& sink);

/// The bytes of a version-3 list file of `entries`, with `saveTime` (seconds since 1970) in
/// every record. Each path must fit (kMaxPathBytes); a longer one is cut at a byte boundary.
QByteArray buildListFile(const std::vector<ListEntry>& entries, std::uint32_t saveTime);

/// What reading a list file found.
enum class ListFileState {
    Read,       ///< a list file; its entries were delivered
    Missing,    ///< no file under the name, or an empty one (nothing to keep)
    Refused,    ///< a file, but not a list file we can read (wrong magic, newer, truncated)
    Unreadable, ///< something under the name that could not be read (rights, a folder, a FIFO)
};

/// The outcome of readListFile(); true only when the file was read.
struct ListFileRead {
    ListFileState state = ListFileState::Missing;
    int error = 0; ///< errno for Unreadable
    explicit operator bool() const { return state == ListFileState::Read; }
};

class ListFileLock;

/// Reads the list file at `path` (see parseListFile; the folder is that of `path`). Opens
/// without blocking and reads regular files only.
ListFileRead readListFile(const QString& path, const ListEntrySink& sink);

/// Replaces the file at `path` with `bytes`: written to a temporary file in the same folder and
/// renamed over it when complete, so a failure leaves the old file whole. With `lock`, the new
/// file is locked before the rename and the lock moves to it. False on failure.
bool writeListFile(const QString& path, const QByteArray& bytes, ListFileLock* lock = nullptr);

/// Keeps the file at `path` as "<path>.bak", or "<path>.bak.N" (N from 1) when that exists;
/// never replaces a file. The file stays under its own name too (a hard link, or a copy where
/// links are not possible), so a later save replaces it only after the backup exists. The
/// backup's path, or empty on failure (`*error` tells why).
QString backUpListFile(const QString& path, QString* error);

/// An absolute path for `path` read from a list file in `folder`: unchanged when it starts with
/// '/', else folder + "/" + path.
QString resolveListPath(const QString& folder, const QString& path);

/// The folder of a list-file path: everything before its last '/' (empty when there is none).
QString listFolderOf(const QString& listPath);

} // namespace mireldo::playlist
