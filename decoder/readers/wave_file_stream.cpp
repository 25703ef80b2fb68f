#include "wave_file_stream.h"

#include "byte_reader.h"

#include <array>
#include <cstring>

namespace sondrel {

using mireldo::common::ByteReader;
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// The sub-format of an extensible format chunk that means integer PCM, as stored in the file.
constexpr std::array<uint8_t, 16> kSubFormatPcm = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// Sample rates outside this range are no audio anything here can play.
constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 768000;
// Bytes of a format chunk this reader looks at: the basic fields and the extensible ones.
constexpr uint32_t kFormatBytes = 40;
constexpr uint32_t kNoSize = 0xFFFFFFFF;
// Chunks looked at before the data chunk: real files have a handful; a file of nothing but empty
// chunks is not walked to its end.
constexpr int kMaxChunks = 4096;

} // namespace

int32_t WaveFileStream::Close() {
    return BaseClose();
}

int32_t WaveFileStream::readChunks(uint16_t& channels, uint32_t& rate, uint16_t& bits) {
    std::array<uint8_t, 12> riff{};
    if (file_.readAt(payloadOffset_, riff.data(), riff.size()) != riff.size() ||
        std::memcmp(riff.data(), "RIFF", 4) != 0 || std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
        return SONDREL_ERR_UNSUPPORTED;
    }
    bool haveFormat = false;
    uint16_t tag = 0;
    uint64_t at = 12; // relative to payloadOffset
    const uint64_t end = fileLength_ > payloadOffset_ ? fileLength_ - payloadOffset_ : 0;
    for (int walked = 0; at + 8 <= end && walked < kMaxChunks; ++walked) {
        std::array<uint8_t, 8> chunk{};
        if (file_.readAt(payloadOffset_ + at, chunk.data(), chunk.size()) != chunk.size()) {
            break;
        }
        ByteReader head(chunk);
        head.seek(4);
        const uint32_t size = head.u32();
        if (std::memcmp(chunk.data(), "fmt ", 4) == 0) {
            std::array<uint8_t, kFormatBytes> fmt{};
            const size_t wanted = std::min<size_t>(size, fmt.size());
            if (size < 16 || file_.readAt(payloadOffset_ + at + 8, fmt.data(), wanted) != wanted) {
                return SONDREL_ERR_UNSUPPORTED;
            }
            ByteReader r(std::span<const uint8_t>(fmt.data(), wanted));
            tag = r.u16();
            channels = r.u16();
            rate = r.u32();
            r.skip(4); // average bytes per second: recomputed
            r.skip(2); // block align: recomputed
            bits = r.u16();
            if (tag == kFormatExtensible && wanted == kFormatBytes &&
                std::memcmp(fmt.data() + 24, kSubFormatPcm.data(), kSubFormatPcm.size()) == 0) {
                tag = kFormatPcm;
            }
            haveFormat = true;
        } else if (std::memcmp(chunk.data(), "data", 4) == 0) {
            if (!haveFormat) {
                return SONDREL_ERR_UNSUPPORTED;
            }
            dataOffset_ = static_cast<uint32_t>(at + 8);
            const uint64_t present = end - (at + 8);
            dataBytes_ = (size == 0 || size == kNoSize || size > present) ? UINT64_MAX : size;
            break;
        }
        // Chunks are padded to an even size.
        at += 8 + uint64_t{size} + (size & 1u);
    }
    if (!haveFormat) {
        return SONDREL_ERR_UNSUPPORTED;
    }
    if (dataOffset_ == 0) {
        // A format without data: nothing to play.
        dataOffset_ = static_cast<uint32_t>(std::min<uint64_t>(at, end));
        dataBytes_ = 0;
    }
    const uint64_t average = uint64_t{rate} * channels * (bits / 8u);
    if (tag != kFormatPcm || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) ||
        rate < kMinRate || rate > kMaxRate || average > UINT32_MAX) {
        return SONDREL_ERR_UNSUPPORTED;
    }
    return SONDREL_OK;
}

int32_t WaveFileStream::Open(const char* path, int32_t shareMode) {
    if (const int32_t code = BaseOpen(path, shareMode); code != SONDREL_OK) {
        BaseClose();
        return code;
    }
    growing_ = shareMode == 2;
    dataOffset_ = 0;
    dataBytes_ = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
    if (const int32_t code = readChunks(channels, rate, bits); code != SONDREL_OK) {
        BaseClose();
        return code;
    }

    const uint32_t blockAlign = channels * bits / 8u;
    const uint64_t dataStart = uint64_t{payloadOffset_} + dataOffset_;
    const uint64_t present = dataStart >= fileLength_ ? 0 : fileLength_ - dataStart;
    const uint64_t frames = std::min(present, dataBytes_) / blockAlign;
    lengthFrames_ = frames >= UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(frames);
    if (lengthFrames_ == 0) {
        BaseClose();
        return SONDREL_ERR_EMPTY;
    }

    format_.wFormatTag = 1;
    format_.nChannels = channels;
    format_.nSamplesPerSec = rate;
    format_.nBlockAlign = static_cast<uint16_t>(blockAlign);
    format_.nAvgBytesPerSec = blockAlign * rate;
    format_.wBitsPerSample = bits;
    format_.cbSize = 18;

    FixCallRecordEnd();
    return SONDREL_OK;
}

int32_t WaveFileStream::Decode(uint32_t firstFrame, uint32_t frameCount, void* buffer,
                               uint32_t* framesOut) {
    if (framesOut == nullptr) {
        return SONDREL_ERR_OPEN;
    }
    *framesOut = 0;
    if (buffer == nullptr || !file_.isOpen()) {
        return SONDREL_ERR_OPEN;
    }
    // Positions are computed in 64 bits because a frame index times the block size may pass
    // 4 GiB. The data chunk bounds the stream, except for a record still being written (share
    // mode 2), whose reader serves every whole frame present at the time of the call, and a data
    // chunk without a usable size, which runs to the end of the file.
    const uint64_t blockSize = format_.nBlockAlign;
    const uint64_t from = firstFrame * blockSize;
    uint64_t wanted = frameCount * blockSize;
    if (!growing_ && dataBytes_ != UINT64_MAX) {
        const uint64_t limit = dataBytes_ - dataBytes_ % blockSize;
        wanted = from >= limit ? 0 : std::min(wanted, limit - from);
    }
    if (wanted == 0) {
        return SONDREL_OK;
    }
    const uint64_t offset = uint64_t{payloadOffset_} + dataOffset_ + from;
    const size_t got = file_.readAt(offset, buffer, static_cast<size_t>(wanted));
    *framesOut = static_cast<uint32_t>(got / blockSize);
    return SONDREL_OK;
}

} // namespace sondrel
