#include "record_file.h"

#include "fd_io.h"
#include "wav_header.h"
#include "private_file.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace mireldo::recorder {

static_assert(kWavHeaderBytes == common::kWavHeaderBytes);

std::array<unsigned char, kWavHeaderBytes>
makeWavHeader(const WAVEFORMATEX& format, std::uint32_t riffSize, std::uint32_t dataSize) {
    common::WavFormat f;
    f.channels = format.nChannels;
    f.sampleRate = format.nSamplesPerSec;
    f.blockAlign = format.nBlockAlign;
    f.bitsPerSample = format.wBitsPerSample;
    const auto header = common::makeWavHeader(f, riffSize, dataSize);
    std::array<unsigned char, kWavHeaderBytes> out{};
    std::memcpy(out.data(), header.data(), out.size());
    return out;
}

QString temporaryRecordName(const QString& folder, long long process, long long index,
                            const char* extension) {
    const QString name = QStringLiteral("mireldo_temp_%1_%2%3")
                             .arg(process)
                             .arg(index)
                             .arg(QString::fromLatin1(extension));
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool RecordFile::create(const QString& path) {
    close();
    auto opened = platform::createPrivateFile(path, platform::ExistingFile::Fail);
    if (!opened) {
        errno = opened.error().code;
        return false;
    }
    platform::UniqueFd fd = std::move(opened).value();
    // Another run's start-up recovery may have found the new, empty file and be about to
    // delete it: it holds the lock while it decides. Only a file we lock while it is still
    // the one at `path` is ours to record into.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK || errno == EINTR) {
            errno = EEXIST;
            return false;
        }
        // A file system without locks: recovery then judges by the process id in the name.
    }
    struct stat mine {};
    struct stat named {};
    if (::fstat(fd.get(), &mine) != 0 || ::stat(QFile::encodeName(path).constData(), &named) != 0 ||
        mine.st_dev != named.st_dev || mine.st_ino != named.st_ino) {
        errno = EEXIST;
        return false;
    }
    fd_ = std::move(fd);
    path_ = path;
    pointer_ = 0;
    length_ = 0;
    return true;
}

bool RecordFile::write(const void* data, std::uint32_t count) {
    if (!fd_.valid()) {
        errno = EBADF;
        return false;
    }
    std::size_t written = 0;
    const bool ok = common::pwriteAll(fd_.get(), data, count, pointer_, &written);
    pointer_ += written;
    length_ = std::max(length_, pointer_);
    return ok;
}

bool RecordFile::writeHeader(const WAVEFORMATEX& format, std::uint32_t riffSize,
                             std::uint32_t dataSize) {
    if (!fd_.valid()) {
        errno = EBADF;
        return false;
    }
    const auto header = makeWavHeader(format, riffSize, dataSize);
    std::size_t written = 0;
    const bool ok = common::pwriteAll(fd_.get(), header.data(), header.size(), 0, &written);
    length_ = std::max<std::uint64_t>(length_, written);
    return ok;
}

bool RecordFile::truncate(std::uint64_t length) {
    if (!fd_.valid()) {
        errno = EBADF;
        return false;
    }
    if (::ftruncate(fd_.get(), static_cast<off_t>(length)) != 0) {
        return false;
    }
    length_ = length;
    return true;
}

bool RecordFile::writeSizes(const WAVEFORMATEX& format) {
    const std::uint64_t frame = std::max<std::uint64_t>(format.nBlockAlign, 1);
    const std::uint64_t length = std::max<std::uint64_t>(length_, kWavHeaderBytes);
    std::uint64_t data = std::min<std::uint64_t>(length - kWavHeaderBytes, 0xFFFFFFFFu - 36);
    data -= data % frame;
    return writeHeader(format, static_cast<std::uint32_t>(data + 36),
                       static_cast<std::uint32_t>(data));
}

RecordFile::RecordFile(RecordFile&& other) noexcept
    : fd_(std::move(other.fd_)), path_(std::move(other.path_)),
      pointer_(std::exchange(other.pointer_, 0)), length_(std::exchange(other.length_, 0)) {
    other.path_.clear();
}

RecordFile& RecordFile::operator=(RecordFile&& other) noexcept {
    if (this != &other) {
        fd_ = std::move(other.fd_);
        path_ = std::move(other.path_);
        other.path_.clear();
        pointer_ = std::exchange(other.pointer_, 0);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

void RecordFile::close() {
    fd_.reset();
}

void RecordFile::release() {
    close();
    path_.clear();
    pointer_ = 0;
    length_ = 0;
}

void RecordFile::remove() {
    close();
    if (!path_.isEmpty()) {
        QFile::remove(path_);
    }
    path_.clear();
    pointer_ = 0;
    length_ = 0;
}

} // namespace mireldo::recorder
