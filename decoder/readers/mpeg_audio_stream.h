#pragma once

#include "decoder_stream.h"
#include "file_window.h"
#include "mpeg_audio_decoder.h"
#include "mpeg_header.h"

#include <memory>
#include <span>
#include <vector>

namespace sondrel {

/// Reader of MPEG audio (layers I-III of MPEG-1, MPEG-2 and MPEG-2.5): plain streams, RIFF-wrapped
/// streams and the MPEG payload of a KLX file. Open finds the frames, builds a seek index of up to
/// 1024 entries and counts the length; between BeginDecode and EndDecode a read buffer and a
/// decoder exist, and Decode cuts the decoder's output into the ranges asked for.
///
/// The file is read with positional reads, never mapped: a file that shrinks while the stream is
/// open (copied over, rewritten in place) ends the stream early, as it does for the other readers.
///
/// A seek steps over the frames before the target without decoding them, so the decoder starts
/// there without the state earlier frames leave. Layer I and II output is exact from the frame
/// after the one holding the target. Layer III needs its bit reservoir, which reaches back up to
/// 511 bytes of main data (MPEG-1) or 255 (MPEG-2 and 2.5); with r frames to cover that reach
/// (2 at the usual rates), MPEG-1 output is exact from the (r + 1)th frame after the target's
/// frame, MPEG-2 and 2.5 output (one granule a frame) from the (r + 2)th. A Decode right after
/// BeginDecode seeks in the same way, wherever it starts. An encoder's tag frame (Xing, Info,
/// VBRI) yields a frame of silence, and no later frame takes main data from it.
/// One thread at a time.
class MpegAudioStream : public DecoderStream {
  public:
    MpegAudioStream();
    ~MpegAudioStream() override;

    int32_t Close() override;
    int32_t Decode(uint32_t firstFrame, uint32_t frameCount, void* buffer,
                   uint32_t* framesOut) override;
    int32_t Open(const char* path, int32_t shareMode) override;
    int32_t BeginDecode() override;
    int32_t EndDecode() override;
    int32_t ExtractIndex(uint32_t* countOut, SeekIndexEntry* entriesOut) override;

    /// The number of frames the decoder decoded since the stream was opened (for tests).
    uint64_t decodedFrameCount() const { return decodedFrames_; }

  private:
    int32_t fail(int32_t code);
    /// Bytes [offset, offset + wanted) of the payload; past its end the rest reads as zeros.
    std::span<const uint8_t> window(uint32_t offset, uint32_t wanted);
    /// Finds the next frame whose header parses, from readOffset on; false when none is left.
    /// A header that fails to parse is passed by one byte. noSync tells a missing sync apart.
    bool nextFrame(uint32_t& offset, MpegFrameInfo& info, bool& noSync);
    /// Decodes the frame at offset into out (cleared first; a rejected frame stays silent).
    void decodeFrame(uint32_t offset, const MpegFrameInfo& info, std::span<uint8_t> out);
    bool seek(uint32_t target);
    /// Counts the frames from offset (the first frame) to the end of the payload and fills the
    /// seek index, in one pass; false when no frame is found.
    bool scanLength(uint32_t offset, uint32_t channels);
    uint32_t framesOf(const MpegFrameInfo& info) const;
    void initDecoderAtFirstEntry();

    FileWindow window_;        // the payload: [payloadOffset, payloadOffset + payloadEnd)
    uint32_t payloadEnd_ = 0;  // payload bytes at open (an ID3v1 tag at the end excluded)
    uint16_t parseWindow_ = 0; // input length for header parsing, at least 156
    uint32_t position_ = 0;    // next frame Decode delivers
    uint32_t readOffset_ = 0;  // where the search for the next MPEG frame starts
    std::vector<uint8_t> pending_;
    uint32_t pendingOffset_ = 0;
    uint32_t pendingFrames_ = 0;
    std::unique_ptr<MpegAudioDecoder> decoder_;
    std::vector<uint8_t> tail_; // zero-padded copy of a window that runs past the payload
    bool seekFirst_ = false;    // the next Decode seeks, wherever it starts (set by BeginDecode)
    uint64_t decodedFrames_ = 0;
};

/// Finds the first MPEG frame of the file at path and writes its sample rate.
int32_t getMp3SampleRate(const char* path, uint32_t* rateOut);

/// Where the frame search of a payload starts: after a RIFF wrapper's headers and after an
/// ID3v2 tag at that point. head holds the payload's first bytes (72 and more are enough),
/// payloadSize is the size of the whole payload, which the result never passes.
uint32_t mpegSearchStart(std::span<const uint8_t> head, uint64_t payloadSize);
/// The same for a payload held whole in memory.
inline uint32_t mpegSearchStart(std::span<const uint8_t> payload) {
    return mpegSearchStart(payload, payload.size());
}

} // namespace sondrel
