#include "plugin_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace beplugin {

BE_ERR readConfig(const BeConfig* config, bool allow8Bit, uint32_t minRate, uint32_t maxRate,
                  AudioFormat& format) {
    if (config == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    if (config->config != BE_CONFIG_LAME || config->structSize != BE_CONFIG_SIZE) {
        return BE_ERR_INVALID_FORMAT;
    }
    if (config->sampleRate < minRate || config->sampleRate > maxRate) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    if (config->mode < BE_MP3_MODE_STEREO || config->mode > BE_MP3_MODE_MONO) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    int bits = 16;
    if (config->bitsPerSample == 8 && allow8Bit) {
        bits = 8;
    } else if (config->bitsPerSample != 0 && config->bitsPerSample != 16) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    format.rate = config->sampleRate;
    format.channels = config->mode == BE_MP3_MODE_MONO ? 1 : 2;
    format.bits = bits;
    format.kbps = config->bitrate;
    return BE_ERR_SUCCESSFUL;
}

BE_ERR checkChunkArgs(uint32_t count, const void* samples, const uint8_t* output,
                      const uint32_t* written, int bytesPerValue) {
    if (output == nullptr || written == nullptr || (count > 0 && samples == nullptr)) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    if (static_cast<uint64_t>(count) * static_cast<uint64_t>(bytesPerValue) > kOutputBufferBytes) {
        return BE_ERR_BUFFER_TOO_SMALL;
    }
    return BE_ERR_SUCCESSFUL;
}

FileIdentity FileIdentity::ofDescriptor(uint32_t fdValue) {
    FileIdentity id;
    const int fd = static_cast<int>(fdValue);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return id;
    }
    id.known = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.fd = fd;
    const off_t pos = ::lseek(fd, 0, SEEK_CUR);
    id.base = pos > 0 ? static_cast<uint64_t>(pos) : 0;
    return id;
}

BE_ERR Finisher::applyTo(int fd) const {
    std::vector<uint8_t> head(std::max(signature.size(), mask.size()));
    const ssize_t got = ::pread(fd, head.data(), head.size(), static_cast<off_t>(identity.base));
    if (got < 0 || static_cast<size_t>(got) < mask.size()) {
        return BE_ERR_INVALID_HANDLE;
    }
    const size_t compare = std::min(signature.size(), static_cast<size_t>(got));
    size_t compared = 0;
    for (size_t i = 0; i < compare; ++i) {
        if (i < mask.size() && mask[i] != 0) {
            continue;
        }
        if (head[i] != signature[i]) {
            return BE_ERR_INVALID_HANDLE;
        }
        ++compared;
    }
    if (compared < std::min<size_t>(compare, 4) || (compare == 0 && !mask.empty())) {
        return BE_ERR_INVALID_HANDLE;
    }
    size_t i = 0;
    while (i < mask.size()) {
        if (mask[i] == 0) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < mask.size() && mask[end] != 0) {
            ++end;
        }
        const off_t at = static_cast<off_t>(identity.base + i);
        if (::pwrite(fd, image.data() + i, end - i, at) != static_cast<ssize_t>(end - i)) {
            return BE_ERR_INVALID_HANDLE;
        }
        i = end;
    }
    return BE_ERR_SUCCESSFUL;
}

BE_ERR Finisher::applyToPath(const char* path) const {
    if (path == nullptr || *path == '\0') {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    const int fd = ::open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return BE_ERR_INVALID_HANDLE;
    }
    struct stat st {};
    BE_ERR rc = BE_ERR_SUCCESSFUL;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        (identity.known && !identity.matches(st))) {
        rc = BE_ERR_INVALID_HANDLE;
    } else {
        rc = applyTo(fd);
    }
    ::close(fd);
    return rc;
}

void Finisher::applyToCallerFile() const {
    if (!identity.known || empty()) {
        return;
    }
    const std::string link = "/proc/self/fd/" + std::to_string(identity.fd);
    (void)applyToPath(link.c_str());
}

bool OutputFile::write(const uint8_t* data, size_t n) {
    for (size_t done = 0; done < n;) {
        if (pos_ < handedOut_) {
            const uint64_t end = std::min<uint64_t>(handedOut_, pos_ + (n - done));
            const size_t part = static_cast<size_t>(end - pos_);
            if (!patch(pos_, data + done, part)) {
                return false;
            }
            pos_ += part;
            done += part;
            continue;
        }
        const uint64_t fileEnd = size();
        if (pos_ > fileEnd) {
            pending_.resize(pending_.size() + static_cast<size_t>(pos_ - fileEnd), 0);
        }
        const size_t offset = static_cast<size_t>(pos_ - handedOut_) + readFrom_;
        const size_t overlap = std::min(n - done, pending_.size() - offset);
        if (overlap > 0) {
            std::memcpy(pending_.data() + offset, data + done, overlap);
        }
        pending_.insert(pending_.end(), data + done + overlap, data + n);
        pos_ += n - done;
        done = n;
    }
    return true;
}

size_t OutputFile::handOut(uint8_t* out, size_t capacity) {
    const size_t n = std::min(capacity, pendingBytes());
    if (n == 0) {
        return 0;
    }
    std::memcpy(out, pending_.data() + readFrom_, n);
    if (finisher_.signature.size() < kSignatureBytes) {
        const size_t need = std::min(n, kSignatureBytes - finisher_.signature.size());
        finisher_.signature.insert(finisher_.signature.end(), out, out + need);
    }
    readFrom_ += n;
    handedOut_ += n;
    if (readFrom_ == pending_.size()) {
        pending_.clear();
        readFrom_ = 0;
    } else if (readFrom_ > (1u << 20)) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(readFrom_));
        readFrom_ = 0;
    }
    return n;
}

bool OutputFile::patch(uint64_t at, const uint8_t* data, size_t n) {
    if (at + n > kMaxPatchedBytes) {
        return false;
    }
    const size_t end = static_cast<size_t>(at + n);
    if (finisher_.image.size() < end) {
        finisher_.image.resize(end, 0);
        finisher_.mask.resize(end, 0);
    }
    std::memcpy(finisher_.image.data() + at, data, n);
    std::fill(finisher_.mask.begin() + static_cast<ptrdiff_t>(at),
              finisher_.mask.begin() + static_cast<ptrdiff_t>(end), 1);
    return true;
}

BE_ERR StreamOutput::finishFlush(uint8_t* output, uint32_t* written, bool completeFile) {
    *written = handOut(output);
    if (out_.pendingBytes() != 0) {
        return BE_ERR_BUFFER_TOO_SMALL;
    }
    if (completeFile) {
        out_.finisher().applyToCallerFile();
    }
    flushed_ = true;
    everFlushed_ = true;
    return BE_ERR_SUCCESSFUL;
}

} // namespace beplugin
