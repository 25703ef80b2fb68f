#include "list_file.h"

#include "byte_reader.h"
#include "list_file_lock.h"
#include "native_path.h"
#include "playlist_item.h"
#include "replacing_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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
    common::ByteReader reader(bytes);
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
        entry.path = resolveListPath(folder, platform::decodePath(pathBytes));
        if (platform::encodePath(entry.path).size() > kMaxPathBytes) {
            continue;
        }
        if (version == 3) {
            entry.kind =
                static_cast<std::uint8_t>(((record[kListFlagsOffset] >> 1) & 7u) % kKindCount);
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
        const QByteArray path = platform::encodePath(entries[i].path);
        const auto length = std::min<std::size_t>(static_cast<std::size_t>(path.size()),
                                                  static_cast<std::size_t>(kMaxPathBytes));
        std::memcpy(record, path.constData(), length);
        record[length] = '\0';
        putU32(record + kListFlagsOffset, static_cast<std::uint32_t>(entries[i].kind % kKindCount)
                                              << 1);
    }
    return out;
}

namespace {

struct Unmapper {
    std::size_t size;
    void operator()(void* at) const { ::munmap(at, size); }
};

ListFileRead unreadable(int err) {
    return ListFileRead{ListFileState::Unreadable, err};
}

bool copyBytes(int from, int to) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return ::fsync(to) == 0;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                return false;
            }
            done += w;
        }
    }
}

} // namespace

ListFileRead readListFile(const QString& path, const ListEntrySink& sink) {
    // Non-blocking, so a FIFO under the name cannot hold the reader; only regular files are
    // read.
    const platform::UniqueFd fd(::open(platform::encodePath(path).constData(),
                                       O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) {
        return errno == ENOENT ? ListFileRead{} : unreadable(errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return unreadable(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        return unreadable(EISDIR);
    }
    if (!S_ISREG(st.st_mode)) {
        return unreadable(EINVAL);
    }
    if (st.st_size == 0) {
        return ListFileRead{}; // an empty file holds nothing worth keeping
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    // Mapped, not read: a header may claim up to 4 GiB of records, and nothing is allocated
    // for what the file holds.
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (mapped == MAP_FAILED) {
        return unreadable(errno);
    }
    const std::unique_ptr<void, Unmapper> mapping(mapped, Unmapper{size});
    const bool ok = parseListFile(std::span(static_cast<const std::uint8_t*>(mapped), size),
                                  listFolderOf(path), sink);
    return ListFileRead{ok ? ListFileState::Read : ListFileState::Refused, 0};
}

bool writeListFile(const QString& path, const QByteArray& bytes, ListFileLock* lock) {
    ReplacingFile file(path);
    if (!file.open() || !file.write(bytes.constData(), static_cast<std::size_t>(bytes.size()))) {
        return false;
    }
    if (lock != nullptr && lock->held() && !lock->lockNew(file.fd())) {
        return false;
    }
    if (!file.commit()) {
        return false;
    }
    if (lock != nullptr && lock->held()) {
        lock->moveTo(file.takeFd());
    }
    return true;
}

QString backUpListFile(const QString& path, QString* error) {
    const QByteArray from = platform::encodePath(path);
    for (int n = 0; n < 1000; ++n) {
        const QString backup =
            n == 0 ? path + QStringLiteral(".bak") : path + QStringLiteral(".bak.%1").arg(n);
        const QByteArray to = platform::encodePath(backup);
        if (::link(from.constData(), to.constData()) == 0) {
            return backup;
        }
        if (errno == EEXIST) {
            continue;
        }
        // No hard links here (or not to this file): a copy, created only where nothing is.
        const platform::UniqueFd in(::open(from.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (!in.valid()) {
            break;
        }
        platform::UniqueFd out(
            ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (!out.valid()) {
            if (errno == EEXIST) {
                continue;
            }
            break;
        }
        const int flags = ::fcntl(in.get(), F_GETFL);
        if (flags >= 0 && ::fcntl(in.get(), F_SETFL, flags & ~O_NONBLOCK) == 0 &&
            copyBytes(in.get(), out.get())) {
            return backup;
        }
        const int saved = errno;
        out.reset();
        ::unlink(to.constData());
        errno = saved;
        break;
    }
    if (error != nullptr) {
        *error = platform::systemError(errno);
    }
    return {};
}

} // namespace mireldo::playlist
