#pragma once

#include "decoder_stream.h"

namespace sondrel {

/// Reader of uncompressed 8/16-bit mono or stereo PCM WAV files (and WAV payloads of KLX files).
/// Open walks the RIFF chunks to the format and the data chunk, stepping over any other chunk
/// (LIST, fact, ...) before them; the format may be plain PCM or the extensible form with a PCM
/// sub-format. The stream is what the data chunk holds; a data chunk without a usable size (0,
/// 0xFFFFFFFF, or more than the file holds: a file whose final header was never written) runs to
/// the end of the file. Every Decode seeks; there is no position to keep.
class WaveFileStream : public DecoderStream {
  public:
    int32_t Close() override;
    int32_t Decode(uint32_t firstFrame, uint32_t frameCount, void* buffer,
                   uint32_t* framesOut) override;
    int32_t Open(const char* path, int32_t shareMode) override;

  private:
    /// Walks the chunks from payloadOffset; fills the format fields, dataOffset_ and dataBytes_.
    /// Returns 0, or 5 when the file is no PCM WAV this reader serves.
    int32_t readChunks(uint16_t& channels, uint32_t& rate, uint16_t& bits);

    uint32_t dataOffset_ = 0; // first PCM byte, relative to payloadOffset
    uint64_t dataBytes_ = 0;  // bytes of the data chunk; UINT64_MAX: to the end of the file
    bool growing_ = false;    // opened with share mode 2: others may still be writing the record
};

} // namespace sondrel
