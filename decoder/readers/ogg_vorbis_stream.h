#pragma once

#include "decoder_stream.h"

#include <vorbis/vorbisfile.h>

#include <cstdint>

namespace sondrel {

/// Reader of Ogg Vorbis files through libvorbisfile, which reads the file through this stream's
/// callbacks. It does not run the base open: the whole file goes to libvorbisfile (a KLX
/// container with an Ogg payload too, whose leading bytes it skips while looking for the first
/// page), and no container metadata is read. Output is always 16-bit signed little-endian.
///
/// The stream keeps a current frame position: a Decode that starts there continues without
/// seeking. Used by one thread at a time.
class OggVorbisStream : public DecoderStream {
  public:
    OggVorbisStream();
    ~OggVorbisStream() override;

    int32_t Close() override;
    int32_t Decode(uint32_t firstFrame, uint32_t frameCount, void* buffer,
                   uint32_t* framesOut) override;
    int32_t Open(const char* path, int32_t shareMode) override;

    /// Seeks made by Decode since the stream was opened (the one at open not counted).
    uint32_t seekCount() const { return seekCount_; }

  private:
    static size_t readCallback(void* buffer, size_t size, size_t count, void* source);
    static int seekCallback(void* source, ogg_int64_t offset, int whence);
    static int closeCallback(void* source);
    static long tellCallback(void* source);

    /// Bytes of the file the callbacks let libvorbisfile see.
    uint64_t limit() const;

    uint32_t endMargin_ = 0; // bytes at the end of the file hidden from libvorbisfile
    OggVorbis_File vorbisFile_{};
    bool vorbisOpen_ = false; // vorbisFile_ holds state that ov_clear must release
    vorbis_info* info_ = nullptr;
    uint32_t position_ = 0; // frame the next ov_read delivers
    uint32_t seekCount_ = 0;
};

} // namespace sondrel
