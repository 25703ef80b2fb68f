#include "list_file.h"

#include "byte_reader.h"
#include "playlist_item.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cstring>

namespace mireldo::playlist {

namespace {

void putU32(char* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<char>((v >> (8 * i)) & 0xFFu);
    }
}

void putU16(char* at, std::uint16_t v) {
    at[0] = static_cast<char>(v & 0xFFu);
    at[1] = static_cast<char>(v >> 8);
}

} // namespace

QString resolveListPath(const QString& folder, const QString& path) {
    if (path.startsWith(QLatin1Char('/'))) {
        return path;
    }
    return folder + QLatin1Char('/') + path;
}

QString listFolderOf(const QString& listPath) {
    const qsizetype slash = listPath.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : listPath.left(slash);
}

bool parseListFile(std::span<const std::uint8_t> bytes, const QString& folder,
                   const ListEntrySink& sink) {
    sondrel::ByteReader reader(bytes);
    const std::uint32_t magic = reader.u32();
    const std::uint32_t version = reader.u32();
    const std::uint16_t count = reader.u16();
    const std::uint16_t recordSize = reader.u16();
    if (!reader.ok() || magic != kListFileMagic || version > kListFileVersion ||
        reader.remaining() < std::size_t{count} * recordSize) {
        return false;
    }
    // The record buffer: a record's first 264 bytes; bytes a short record lacks read as 0, so
    // a path always ends within the buffer and a missing flags field means kind 0.
    std::array<std::uint8_t, kListRecordSize> record{};
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::span<const std::uint8_t> raw = reader.view(recordSize);
        if (!reader.ok()) {
            break;
        }
        if (version == 0) {
            continue;
        }
        record.fill(0);
        std::copy_n(raw.begin(), std::min<std::size_t>(raw.size(), record.size()), record.begin());
        const auto* begin = record.data();
        const auto* end = std::find(begin, begin + kListPathField, std::uint8_t{0});
        if (end == begin || end == begin + kListPathField) {
            continue; // empty, or no terminator where an item can hold one
        }
        const QByteArray pathBytes(reinterpret_cast<const char*>(begin), end - begin);
        ListEntry entry;
        entry.path = resolveListPath(folder, QFile::decodeName(pathBytes));
        if (QFile::encodeName(entry.path).size() > kMaxPathBytes) {
            continue;
        }
        if (version == 3) {
            entry.kind = static_cast<std::uint8_t>(((record[kListFlagsOffset] >> 1) & 7u) %
                                                   kKindCount);
        }
        sink(std::move(entry));
    }
    return true;
}

QByteArray buildListFile(const std::vector<ListEntry>& entries, std::uint32_t saveTime) {
    const std::size_t count = std::min<std::size_t>(entries.size(), 0xFFFF);
    QByteArray out(static_cast<qsizetype>(kListHeaderSize + count * kListRecordSize), '\0');
    char* data = out.data();
    putU32(data, kListFileMagic);
    putU32(data + 4, kListFileVersion);
    putU16(data + 8, static_cast<std::uint16_t>(count));
    putU16(data + 10, kListRecordSize);
    for (std::size_t i = 0; i < count; ++i) {
        char* record = data + kListHeaderSize + i * kListRecordSize;
        // The time goes first: a path of 256 bytes or more runs over it.
        putU32(record + kListTimeOffset, saveTime);
        const QByteArray path = QFile::encodeName(entries[i].path);
        const auto length = std::min<std::size_t>(static_cast<std::size_t>(path.size()),
                                                  static_cast<std::size_t>(kMaxPathBytes));
        std::memcpy(record, path.constData(), length);
        record[length] = '\0';
        putU32(record + kListFlagsOffset,
               static_cast<std::uint32_t>(entries[i].kind % kKindCount) << 1);
    }
    return out;
}

bool readListFile(const QString& path, const ListEntrySink& sink) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const qint64 size = file.size();
    if (size < static_cast<qint64>(kListHeaderSize)) {
        return false;
    }
    // Mapped, not read: a header may claim up to 4 GiB of records, and nothing is allocated
    // for what the file holds.
    const uchar* mapped = file.map(0, size);
    if (mapped == nullptr) {
        const QByteArray all = file.readAll();
        return parseListFile(std::span(reinterpret_cast<const std::uint8_t*>(all.constData()),
                                       static_cast<std::size_t>(all.size())),
                             listFolderOf(path), sink);
    }
    const bool ok = parseListFile(std::span(mapped, static_cast<std::size_t>(size)),
                                  listFolderOf(path), sink);
    file.unmap(const_cast<uchar*>(mapped));
    return ok;
}

bool writeListFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace mireldo::playlist
