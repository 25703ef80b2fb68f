// wave_enc: writes the samples as a canonical PCM WAV file (44-byte header, then the data).
// The header's two sizes are written as for an empty file first and completed at every flush
// and by the finishing call.

#include "be_encoder.h"
#include "plugin_support.h"
#include "wav_header.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>

namespace {

using beplugin::AudioFormat;
using beplugin::FileIdentity;
using beplugin::Finisher;
using beplugin::StreamOutput;

constexpr uint32_t kHeaderBytes = mireldo::common::kWavHeaderBytes;

class WaveStream : public StreamOutput {
  public:
    WaveStream(const AudioFormat& format, FileIdentity identity)
        : StreamOutput(identity), format_(format) {}

    static BE_ERR open(const BeConfig& config, FileIdentity identity,
                       std::unique_ptr<WaveStream>& stream) {
        AudioFormat format;
        const BE_ERR rc = beplugin::readConfig(&config, true, 1000, 384000, format);
        if (rc != BE_ERR_SUCCESSFUL) {
            return rc;
        }
        stream = std::make_unique<WaveStream>(format, identity);
        stream->writeHeader();
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR encode(uint32_t count, const void* samples, uint8_t* output, uint32_t* written) {
        const int bytesPerValue = format_.bits / 8;
        const BE_ERR rc = beplugin::checkChunkArgs(count, samples, output, written, bytesPerValue);
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

    BE_ERR flush(uint8_t* output, uint32_t* written) {
        const uint64_t end = out_.tell();
        const auto header = mireldo::common::makeWavHeader(
            waveFormat(), static_cast<uint32_t>(kHeaderBytes - 8 + dataBytes_),
            static_cast<uint32_t>(dataBytes_));
        out_.seek(mireldo::common::kWavRiffSizeOffset);
        out_.write(header.data() + mireldo::common::kWavRiffSizeOffset, 4);
        out_.seek(mireldo::common::kWavDataSizeOffset);
        out_.write(header.data() + mireldo::common::kWavDataSizeOffset, 4);
        out_.seek(end);
        return finishFlush(output, written, true);
    }

  private:
    mireldo::common::WavFormat waveFormat() const {
        mireldo::common::WavFormat f;
        f.channels = static_cast<uint16_t>(format_.channels);
        f.sampleRate = format_.rate;
        f.blockAlign = static_cast<uint16_t>(format_.channels * format_.bits / 8);
        f.bitsPerSample = static_cast<uint16_t>(format_.bits);
        return f;
    }

    void writeHeader() {
        const auto h = mireldo::common::makeWavHeader(waveFormat(), 0);
        out_.write(h.data(), h.size());
    }

    AudioFormat format_;
    uint64_t dataBytes_ = 0;
};

} // namespace

BE_DEFINE_EXPORTS(WaveStream, 1, 0)
