// The virtual devices' WAV helpers; see virtual_wav.h.

#include "virtual_wav.h"

#include "byte_reader.h"
#include "fd_io.h"

#include <sys/stat.h>

#include <algorithm>

namespace mireldo::platform::audio::virtual_device {

std::array<std::uint8_t, kWavHeaderBytes> wavHeader(const PcmFormat& f, std::uint32_t dataBytes) {
    common::WavFormat format;
    format.channels = f.channels;
    format.sampleRate = f.sampleRate;
    format.blockAlign = static_cast<std::uint16_t>(f.blockAlign());
    format.bitsPerSample = f.bitsPerSample;
    return common::makeWavHeader(format, dataBytes);
}

bool readWavLayout(int fd, WavLayout& out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 12) {
        return false;
    }
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    std::uint8_t riff[12];
    if (!common::preadExact(fd, riff, sizeof riff, 0)) {
        return false;
    }
    common::ByteReader head(riff);
    if (!common::readRiffWaveHead(head)) {
        return false;
    }
    bool haveFormat = false;
    std::uint64_t offset = 12;
    while (offset + 8 <= fileSize) {
        std::uint8_t chunkHeader[8];
        if (!common::preadExact(fd, chunkHeader, 8, offset)) {
            return false;
        }
        common::ByteReader c(chunkHeader);
        const common::RiffChunk chunk = common::readRiffChunk(c).value_or(common::RiffChunk{});
        const std::uint32_t size = chunk.size;
        const bool isFormat = chunk.is("fmt ");
        const bool isData = chunk.is("data");
        const std::uint64_t body = offset + 8;
        if (isFormat) {
            std::uint8_t fmt[16];
            if (size < 16 || body + 16 > fileSize || !common::preadExact(fd, fmt, 16, body)) {
                return false;
            }
            common::ByteReader f(fmt);
            const auto parsed = common::readWavFormat(f);
            if (!parsed || parsed->formatTag != 1) {
                return false;
            }
            out.format.channels = parsed->channels;
            out.format.sampleRate = parsed->sampleRate;
            out.format.bitsPerSample = parsed->bitsPerSample;
            haveFormat = out.format.valid() && parsed->blockAlign == out.format.blockAlign();
            if (!haveFormat) {
                return false;
            }
        } else if (isData) {
            if (!haveFormat) {
                return false;
            }
            out.dataOffset = body;
            // A size running past the end (a capture cut short) counts up to the end.
            out.dataBytes = std::min<std::uint64_t>(size, fileSize - body);
            out.dataBytes -= out.dataBytes % out.format.blockAlign();
            return true;
        }
        offset = body + size + (size & 1u);
    }
    return false;
}

} // namespace mireldo::platform::audio::virtual_device
