#include "ogg_vorbis_stream.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace sondrel {
namespace {

// ov_read takes an int length; large requests are served in pieces of at most this many bytes.
constexpr size_t kMaxReadBytes = 1u << 20;

} // namespace

OggVorbisStream::OggVorbisStream() = default;

OggVorbisStream::~OggVorbisStream() {
    Close();
}

uint64_t OggVorbisStream::limit() const {
    const uint64_t size = file_.size();
    return size > endMargin_ ? size - endMargin_ : 0;
}

size_t OggVorbisStream::readCallback(void* buffer, size_t size, size_t count, void* source) {
    auto* self = static_cast<OggVorbisStream*>(source);
    if (!self->file_.isOpen() || size == 0 || count == 0) {
        return 0;
    }
    const uint64_t limit = self->limit();
    const uint64_t pos = self->file_.tell();
    if (pos >= limit) {
        return 0;
    }
    const uint64_t room = limit - pos;
    const uint64_t wanted = count > room / size ? room : uint64_t{size} * count;
    const size_t items = static_cast<size_t>(wanted / size);
    if (items == 0) {
        return 0;
    }
    return self->file_.read(buffer, items * size) / size;
}

int OggVorbisStream::seekCallback(void* source, ogg_int64_t offset, int whence) {
    auto* self = static_cast<OggVorbisStream*>(source);
    if (!self->file_.isOpen()) {
        return -1;
    }
    const auto limit = static_cast<ogg_int64_t>(self->limit());
    ogg_int64_t target = 0;
    switch (whence) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = offset + static_cast<ogg_int64_t>(self->file_.tell());
        break;
    case SEEK_END:
        target = std::min(offset + static_cast<ogg_int64_t>(self->file_.size()), limit);
        break;
    default:
        return -1;
    }
    if (target < 0 || target > limit) {
        return -1;
    }
    return self->file_.seek(static_cast<uint64_t>(target)) ? 0 : -1;
}

int OggVorbisStream::closeCallback(void* source) {
    static_cast<OggVorbisStream*>(source)->file_.close();
    return 0;
}

long OggVorbisStream::tellCallback(void* source) {
    auto* self = static_cast<OggVorbisStream*>(source);
    return self->file_.isOpen() ? static_cast<long>(self->file_.tell()) : -1;
}

int32_t OggVorbisStream::Open(const char* path, int32_t /*shareMode*/) {
    Close();
    // Whatever keeps the file from opening is reported alike for this reader.
    if (file_.open(path) != SONDREL_OK) {
        file_.close();
        return SONDREL_ERR_OPEN;
    }
    fileLength_ = static_cast<uint32_t>(std::min<uint64_t>(file_.size(), UINT32_MAX));
    endMargin_ = 0;
    payloadOffset_ = 0;
    voidBytes_ = 0;
    file_.seek(0);

    const ov_callbacks callbacks{&readCallback, &seekCallback, &closeCallback, &tellCallback};
    if (ov_open_callbacks(this, &vorbisFile_, nullptr, 0, callbacks) < 0) {
        // On failure libvorbisfile leaves the file to the caller.
        file_.close();
        return SONDREL_ERR_UNSUPPORTED;
    }
    vorbisOpen_ = true;

    info_ = ov_info(&vorbisFile_, -1);
    if (info_ == nullptr) {
        Close();
        return SONDREL_ERR_UNSUPPORTED;
    }
    const ogg_int64_t total = ov_pcm_total(&vorbisFile_, -1);
    if (total < 0) {
        Close();
        return SONDREL_ERR_UNSUPPORTED;
    }
    lengthFrames_ = total > ogg_int64_t{UINT32_MAX} - 1 ? UINT32_MAX : static_cast<uint32_t>(total);
    if (lengthFrames_ == 0) {
        Close();
        return SONDREL_ERR_EMPTY;
    }
    position_ = 0;
    ov_pcm_seek(&vorbisFile_, 0);

    format_.wFormatTag = 1;
    format_.nChannels = static_cast<uint16_t>(std::clamp(info_->channels, 0, 0xFFFF));
    format_.nSamplesPerSec = static_cast<uint32_t>(std::max(info_->rate, 0L));
    format_.wBitsPerSample = 16;
    format_.nBlockAlign = static_cast<uint16_t>(format_.nChannels * 2u);
    // A stream that does not state a nominal bit rate (0 or -1) reports 0 bytes per second.
    format_.nAvgBytesPerSec =
        info_->bitrate_nominal > 0 ? static_cast<uint32_t>(info_->bitrate_nominal / 8) : 0;
    format_.cbSize = 18;

    if (info_->channels != 1 && info_->channels != 2) {
        Close();
        return SONDREL_ERR_UNSUPPORTED;
    }
    return SONDREL_OK;
}

int32_t OggVorbisStream::Decode(uint32_t firstFrame, uint32_t frameCount, void* buffer,
                                uint32_t* framesOut) {
    if (framesOut == nullptr) {
        return SONDREL_ERR_OPEN;
    }
    *framesOut = 0;
    if (buffer == nullptr || !vorbisOpen_ || format_.nBlockAlign == 0) {
        return SONDREL_ERR_OPEN;
    }
    if (firstFrame != position_) {
        ++seekCount_;
        if (ov_pcm_seek(&vorbisFile_, firstFrame) != 0) {
            return SONDREL_ERR_BEYOND_END;
        }
        position_ = firstFrame;
    }
    // The stream ends where its last granule position says, even when the last page decodes to
    // more: length, position and decode agree.
    if (firstFrame >= lengthFrames_) {
        return SONDREL_OK;
    }
    frameCount = std::min(frameCount, lengthFrames_ - firstFrame);

    const uint64_t wanted = uint64_t{frameCount} * format_.nBlockAlign;
    auto* out = static_cast<char*>(buffer);
    uint64_t got = 0;
    while (got < wanted) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(wanted - got, kMaxReadBytes));
        int link = 0;
        const long n = ov_read(&vorbisFile_, out + got, static_cast<int>(piece), 0, 2, 1, &link);
        if (n <= 0) {
            break; // end of the stream, or a hole or error: the call ends with what it has
        }
        // A chained file may switch to a link of another layout; its PCM does not fit the
        // format this stream reports, so the stream ends before it.
        const vorbis_info* linkInfo = ov_info(&vorbisFile_, link);
        if (linkInfo == nullptr || linkInfo->channels != info_->channels ||
            linkInfo->rate != info_->rate) {
            break;
        }
        got += static_cast<uint64_t>(n);
    }
    *framesOut = static_cast<uint32_t>(got / format_.nBlockAlign);
    position_ += *framesOut;
    return SONDREL_OK;
}

int32_t OggVorbisStream::Close() {
    if (vorbisOpen_) {
        ov_clear(&vorbisFile_); // closes the file through closeCallback
        vorbisOpen_ = false;
    }
    info_ = nullptr;
    position_ = 0;
    file_.close();
    return BaseClose();
}

} // namespace sondrel
