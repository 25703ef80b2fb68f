#include "wave_file_stream.h"

#include "byte_reader.h"

#include <array>

namespace sondrel {

int32_t WaveFileStream::Close() {
    return BaseClose();
}

int32_t WaveFileStream::Open(const char* path, int32_t shareMode) {
    if (const int32_t code = BaseOpen(path, shareMode); code != SONDREL_OK) {
        BaseClose();
        return code;
    }

    // RIFF header and first chunk header (20 bytes, not checked), the PCM format (16 bytes) and
    // the next chunk's header (8 bytes). A short file leaves zeros, which the checks refuse.
    std::array<uint8_t, 44> header{};
    size_t got = 0;
    if (file_.seek(payloadOffset_)) {
        got = file_.read(header.data(), header.size());
    }
    ByteReader r(std::span<const uint8_t>(header.data(), header.size()));
    r.seek(20);
    const uint16_t tag = r.u16();
    const uint16_t channels = r.u16();
    const uint32_t rate = r.u32();
    r.skip(4); // average bytes per second: recomputed below
    r.skip(2); // block align: recomputed below
    const uint16_t bits = r.u16();

    // A rate of 0 is refused too: nothing could be played and every time computation would divide
    // by it.
    if (tag != 1 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate == 0) {
        BaseClose();
        return SONDREL_ERR_UNSUPPORTED;
    }

    dataOffset_ = static_cast<uint32_t>(got);
    const uint32_t blockAlign = channels * bits / 8u;
    const uint64_t dataStart = uint64_t{payloadOffset_} + dataOffset_;
    lengthFrames_ = dataStart >= fileLength_
                        ? 0
                        : static_cast<uint32_t>((fileLength_ - dataStart) / blockAlign);
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
    // No cap at the length seen at open: a record still being written keeps growing, and its
    // reader serves every whole frame present at the time of the call. Positions are computed in
    // 64 bits because a frame index times the block size may pass 4 GiB.
    const uint64_t blockSize = format_.nBlockAlign;
    const uint64_t offset = uint64_t{payloadOffset_} + dataOffset_ + firstFrame * blockSize;
    if (frameCount == 0 || !file_.seek(offset)) {
        return SONDREL_OK;
    }
    const size_t got = file_.read(buffer, static_cast<size_t>(frameCount * blockSize));
    *framesOut = static_cast<uint32_t>(got / blockSize);
    return SONDREL_OK;
}

} // namespace sondrel
