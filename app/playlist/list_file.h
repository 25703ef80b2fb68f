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

/// Reads the list file at `path` (see parseListFile; the folder is that of `path`). False when
/// it cannot be opened or its header is refused.
bool readListFile(const QString& path, const ListEntrySink& sink);

/// Replaces the file at `path` with `bytes`: written to a temporary file in the same folder and
/// renamed over it when complete, so a failure leaves the old file whole. False on failure.
bool writeListFile(const QString& path, const QByteArray& bytes);

/// An absolute path for `path` read from a list file in `folder`: unchanged when it starts with
/// '/', else folder + "/" + path.
QString resolveListPath(const QString& folder, const QString& path);

/// The folder of a list-file path: everything before its last '/' (empty when there is none).
QString listFolderOf(const QString& listPath);

} // namespace mireldo::playlist
