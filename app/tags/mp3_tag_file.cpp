#include "mp3_tag_file.h"

#include "fd_io.h"
#include "file_system.h"
#include "id3v1.h"
#include "native_path.h"
#include "unique_fd.h"

#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace mireldo::tags {

namespace {

/// Files shorter than this are not tagged.
constexpr std::uint64_t kMinimumFileSize = 16;
/// Bytes handed to the kernel per copy call when moving the audio into the new file.
constexpr std::size_t kCopyChunk = std::size_t{8} << 20;

/// Writes and copies bytes into one descriptor, counting what was written for the fault hook.
class Writer {
  public:
    Writer(int fd, const WriteFaultHook& fault) : fd_(fd), fault_(fault) {}

    bool writeAt(const void* data, std::size_t size, std::uint64_t offset) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        while (size > 0) {
            if (!allowed()) {
                return false;
            }
            const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            p += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
            written_ += static_cast<std::uint64_t>(n);
        }
        return true;
    }

    /// Copies `count` bytes of `from` starting at `fromOffset` to `toOffset`.
    bool copy(int from, std::uint64_t fromOffset, std::uint64_t count, std::uint64_t toOffset) {
        auto in = static_cast<off_t>(fromOffset);
        auto out = static_cast<off_t>(toOffset);
        bool kernelCopy = true;
        std::vector<std::uint8_t> buffer;
        while (count > 0) {
            if (!allowed()) {
                return false;
            }
            const std::size_t want =
                count < kCopyChunk ? static_cast<std::size_t>(count) : kCopyChunk;
            ssize_t n = -1;
            if (kernelCopy) {
                n = ::copy_file_range(from, &in, fd_, &out, want, 0);
                if (n < 0 &&
                    (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                    kernelCopy = false;
                    continue;
                }
            } else {
                buffer.resize(want);
                const ssize_t got =
                    common::preadAll(from, buffer.data(), want, static_cast<std::uint64_t>(in));
                if (got <= 0 || !writeAt(buffer.data(), static_cast<std::size_t>(got),
                                         static_cast<std::uint64_t>(out))) {
                    return false;
                }
                written_ -= static_cast<std::uint64_t>(got); // writeAt counted them already
                n = got;
                in += got;
                out += got;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false; // an error, or the file got shorter under us
            }
            count -= static_cast<std::uint64_t>(n);
            written_ += static_cast<std::uint64_t>(n);
        }
        return true;
    }

  private:
    bool allowed() const {
        if (fault_ && !fault_(written_)) {
            errno = EIO;
            return false;
        }
        return true;
    }

    int fd_;
    const WriteFaultHook& fault_;
    std::uint64_t written_ = 0;
};

/// The real file behind `path` (links resolved); empty when it does not exist.
QString resolved(const QString& path) {
    const QFileInfo info(path);
    return info.isSymLink() ? info.canonicalFilePath() : path;
}

bool readExactly(int fd, std::vector<std::uint8_t>& out, std::size_t count, std::uint64_t at) {
    out.resize(count);
    return common::preadAll(fd, out.data(), count, at) == static_cast<ssize_t>(count);
}

/// Reads what interpretMp3Tag() needs from an open file of `size` bytes.
bool readTag(int fd, std::uint64_t size, Mp3Tag& tag) {
    std::vector<std::uint8_t> head;
    if (!readExactly(fd, head, kId3v2HeaderSize, 0)) {
        return false;
    }
    if (const auto header = parseId3v2Header(head, size)) {
        if (!readExactly(fd, head, kId3v2HeaderSize + header->bodySize, 0)) {
            return false;
        }
    }
    std::vector<std::uint8_t> last;
    if (size > kId3v1Size && !readExactly(fd, last, kId3v1Size, size - kId3v1Size)) {
        return false;
    }
    tag = interpretMp3Tag(head, last, size);
    return true;
}

void syncFolder(const QString& file) {
    const QString folder = QFileInfo(file).absolutePath();
    platform::UniqueFd dir(
        ::open(platform::encodePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());
    }
}

/// Writes header, body and the old file's bytes from `audioOffset` on into a new file beside
/// `target` and renames it over `target`.
TagStatus replaceFile(const QString& target, int oldFd, const struct stat& st,
                      const std::array<std::uint8_t, kId3v2HeaderSize>& header,
                      const std::vector<std::uint8_t>& body, std::uint64_t audioOffset,
                      const WriteFaultHook& fault) {
    auto pending = platform::PendingFile::create(target);
    if (!pending) {
        return TagStatus::WriteFailed;
    }
    platform::PendingFile file = std::move(pending.value());
    Writer writer(file.fd(), fault);
    const std::uint64_t oldSize = static_cast<std::uint64_t>(st.st_size);
    if (!writer.writeAt(header.data(), header.size(), 0) ||
        !writer.writeAt(body.data(), body.size(), kId3v2HeaderSize) ||
        !writer.copy(oldFd, audioOffset, oldSize - audioOffset, kId3v2HeaderSize + body.size())) {
        return TagStatus::WriteFailed; // the pending file removes itself
    }
    if (::fchmod(file.fd(), st.st_mode & 07777) != 0) {
        return TagStatus::WriteFailed;
    }
    // Keeping the owner needs privileges; a file of another user stays readable as before
    // through its mode, so a refusal here is not a failure.
    [[maybe_unused]] const int owned = ::fchown(file.fd(), st.st_uid, st.st_gid);
    if (!file.commit(target, true)) {
        return TagStatus::WriteFailed;
    }
    syncFolder(target);
    return TagStatus::Ok;
}

} // namespace

Mp3TagRead readMp3Tag(const QString& path) {
    Mp3TagRead result;
    platform::UniqueFd fd(::open(platform::encodePath(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return result;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size < kMinimumFileSize) {
        result.status = TagStatus::TooShort;
        return result;
    }
    if (readTag(fd.get(), size, result.tag)) {
        result.status = TagStatus::Ok;
    }
    return result;
}

TagStatus writeMp3Tag(const QString& path, const TagFields& edited, const WriteFaultHook& fault) {
    const QString target = resolved(path);
    if (target.isEmpty()) {
        return TagStatus::CannotOpen;
    }
    platform::UniqueFd fd(
        ::open(platform::encodePath(target).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return TagStatus::CannotOpen;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size < kMinimumFileSize) {
        return TagStatus::TooShort;
    }
    Mp3Tag tag;
    if (!readTag(fd.get(), size, tag)) {
        return TagStatus::CannotOpen;
    }
    if (!tag.writable) {
        return TagStatus::NotWritable;
    }
    const TagFields fields = fieldsToWrite(tag, edited);
    Writer writer(fd.get(), fault);

    if (tag.kind == TagKind::Id3v2) {
        const std::uint32_t oldSize = tag.id3v2.header.bodySize;
        std::vector<std::uint8_t> oldBody;
        if (!readExactly(fd.get(), oldBody, oldSize, kId3v2HeaderSize)) {
            return TagStatus::CannotOpen;
        }
        const auto body = buildId3v2Body(tag.id3v2, oldBody, fields);
        if (!body) {
            return TagStatus::NotWritable;
        }
        if (body->size() == oldSize) {
            if (*body == oldBody) {
                return TagStatus::Ok; // nothing changed
            }
            return writer.writeAt(body->data(), body->size(), kId3v2HeaderSize) &&
                           ::fdatasync(fd.get()) == 0
                       ? TagStatus::Ok
                       : TagStatus::WriteFailed;
        }
        const auto header =
            id3v2HeaderBytes(tag.id3v2.header, static_cast<std::uint32_t>(body->size()));
        return replaceFile(target, fd.get(), st, header, *body, kId3v2HeaderSize + oldSize, fault);
    }

    const std::uint64_t at = tag.kind == TagKind::Id3v1 ? size - kId3v1Size : size;
    const auto bytes = id3v1Bytes(fields);
    if (!writer.writeAt(bytes.data(), bytes.size(), at) || ::fdatasync(fd.get()) != 0) {
        if (at == size) {
            // Take back whatever part of a new tag reached the file.
            [[maybe_unused]] const int cut = ::ftruncate(fd.get(), static_cast<off_t>(size));
        }
        return TagStatus::WriteFailed;
    }
    return TagStatus::Ok;
}

} // namespace mireldo::tags
