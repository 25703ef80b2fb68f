// wave_enc: writes the samples as a canonical PCM WAV file (44-byte header, then the data).
// The header's two sizes are written as for an empty file first and completed at every flush
// and by the finishing call.

#include "be_encoder.h"
#include "plugin_support.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>

namespace {

using beplugin::AudioFormat;
using beplugin::FileIdentity;
using beplugin::StreamOutput;
using beplugin::Finisher;

constexpr uint32_t kHeaderBytes = 44;

void putU16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

void putU32(std::vector<uint8_t>& v, uint32_t x)
{
    putU16(v, x & 0xFFFF);
    putU16(v, x >> 16);
}

void putTag(std::vector<uint8_t>& v, const char* tag)
{
    v.insert(v.end(), tag, tag + 4);
}

class WaveStream : public StreamOutput {
public:
    WaveStream(const AudioFormat& format, FileIdentity identity)
        : StreamOutput(identity), format_(format) {}

    static BE_ERR open(const BeConfig& config, FileIdentity identity,
                       std::unique_ptr<WaveStream>& stream)
    {
        AudioFormat format;
        const BE_ERR rc = beplugin::readConfig(&config, true, 1000, 384000, format);
        if (rc != BE_ERR_SUCCESSFUL) {
            return rc;
        }
        stream = std::make_unique<WaveStream>(format, identity);
        stream->writeHeader();
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR encode(uint32_t count, const void* samples, uint8_t* output, uint32_t* written)
    {
        const int bytesPerValue = format_.bits / 8;
        const BE_ERR rc =
            beplugin::checkChunkArgs(count, samples, output, written, bytesPerValue);
        if (rc != BE_ERR_SUCCESSFUL) {
            return rc;
        }
        const uint64_t bytes = static_cast<uint64_t>(count) * static_cast<uint64_t>(bytesPerValue);
        // The RIFF size field must still hold header and data.
        if (dataBytes_ + bytes > std::numeric_limits<uint32_t>::max() - (kHeaderBytes - 8)) {
            return BE_ERR_BUFFER_TOO_SMALL;
        }
        out_.write(static_cast<const uint8_t*>(samples), static_cast<size_t>(bytes));
        dataBytes_ += bytes;
        flushed_ = false;
        *written = handOut(output);
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR flush(uint8_t* output, uint32_t* written)
    {
        const uint64_t end = out_.tell();
        std::vector<uint8_t> size;
        putU32(size, static_cast<uint32_t>(kHeaderBytes - 8 + dataBytes_));
        out_.seek(4);
        out_.write(size);
        size.clear();
        putU32(size, static_cast<uint32_t>(dataBytes_));
        out_.seek(40);
        out_.write(size);
        out_.seek(end);
        return finishFlush(output, written, true);
    }

private:
    void writeHeader()
    {
        const uint32_t blockAlign = static_cast<uint32_t>(format_.channels * format_.bits / 8);
        std::vector<uint8_t> h;
        putTag(h, "RIFF");
        putU32(h, kHeaderBytes - 8);
        putTag(h, "WAVE");
        putTag(h, "fmt ");
        putU32(h, 16);
        putU16(h, 1);
        putU16(h, static_cast<uint32_t>(format_.channels));
        putU32(h, format_.rate);
        putU32(h, format_.rate * blockAlign);
        putU16(h, blockAlign);
        putU16(h, static_cast<uint32_t>(format_.bits));
        putTag(h, "data");
        putU32(h, 0);
        out_.write(h);
    }

    AudioFormat format_;
    uint64_t dataBytes_ = 0;
};

} // namespace

BE_DEFINE_EXPORTS(WaveStream, 1, 0)
