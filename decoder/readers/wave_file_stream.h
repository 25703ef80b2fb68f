#pragma once

#include "decoder_stream.h"

namespace sondrel {

/// Reader of uncompressed 8/16-bit mono or stereo PCM WAV files (and WAV payloads of KLX files).
/// The header is read at fixed offsets (44 bytes); the PCM runs from there to the end of the file,
/// whatever the data chunk declares. Every Decode seeks; there is no position to keep.
class WaveFileStream : public DecoderStream {
public:
    int32_t Close() override;
    int32_t Decode(uint32_t firstFrame, uint32_t frameCount, void* buffer,
                   uint32_t* framesOut) override;
    int32_t Open(const char* path, int32_t shareMode) override;

private:
    uint32_t dataOffset_ = 0; // first PCM byte, relative to payloadOffset
};

} // namespace sondrel
