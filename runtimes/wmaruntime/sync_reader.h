#pragma once

#include "wmaruntime_api.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace wmaruntime {

/// The function tables of samples and readers (wmaruntime_exports.cpp).
extern const WmrSampleVtbl kSampleFunctions;
extern const WmrSyncReaderVtbl kReaderFunctions;

/// A decoded sample handed out by GetNextSample: PCM bytes in the output format.
class Sample : public WmrSample {
  public:
    explicit Sample(std::vector<uint8_t> bytes);
    std::vector<uint8_t> bytes;
};

/// The synchronous reader behind the C function table: an ASF demuxer and the decoder of one
/// selected audio stream (FFmpeg), converting every decoded frame to interleaved 8- or 16-bit
/// PCM. Used by one thread at a time.
///
/// Sample positions are counted in decoded frames from the start of the stream: the first frame
/// the decoder produces is frame 0, and "Duration" is what the file's header declares. After a
/// seek, the position of the decoder's first frame is recovered from its time stamp (relative to
/// the time stamp of frame 0, snapped to the codec's frame grid), so a range start lands on the
/// same frame that reading from the start would reach. When that cannot be established the
/// reader decodes from the start and discards up to the range start: slower, never wrong.
class SyncReader : public WmrSyncReader {
  public:
    SyncReader();
    ~SyncReader();
    SyncReader(const SyncReader&) = delete;
    SyncReader& operator=(const SyncReader&) = delete;

    int32_t open(const char* path);
    int32_t close();
    int32_t attribute(uint16_t streamNumber, const char* name, uint32_t* typeOut, uint8_t* value,
                      uint16_t* lengthInOut);
    int32_t outputCount(uint32_t* countOut) const;
    int32_t streamCount(uint32_t* countOut) const;
    int32_t stream(uint32_t index, uint16_t* streamNumberOut, WmrGuid* majorTypeOut) const;
    int32_t streamForOutput(uint32_t output, uint16_t* streamNumberOut) const;
    int32_t outputFormat(uint32_t output, uint32_t formatIndex, WmrMediaType* typeOut) const;
    int32_t selectStream(uint16_t streamNumber, bool selected);
    int32_t setReadCompressed(uint16_t streamNumber, bool compressed);
    int32_t setRange(uint64_t start, int64_t duration);
    int32_t nextSample(uint16_t streamNumber, WmrSample** sampleOut, uint64_t* timeOut,
                       uint64_t* durationOut);

  private:
    struct FormatCloser {
        void operator()(AVFormatContext* c) const;
    };
    struct CodecCloser {
        void operator()(AVCodecContext* c) const;
    };
    struct SwrCloser {
        void operator()(SwrContext* c) const;
    };
    struct FrameCloser {
        void operator()(AVFrame* f) const;
    };
    struct PacketCloser {
        void operator()(AVPacket* p) const;
    };

    /// The PCM an audio stream is delivered as.
    struct OutputPcm {
        uint16_t channels = 0;
        uint32_t rate = 0;
        uint16_t bits = 0; // 8 (unsigned) or 16 (signed)
    };

    int32_t openDemuxer();
    int32_t openDecoder();
    bool isOpen() const { return format_ != nullptr; }
    int indexOfStream(uint16_t streamNumber) const;
    uint16_t numberOfStream(int index) const;
    bool describeAudio(int index, OutputPcm& pcm) const;
    /// Reopens the file at its start with the selected stream's decoder; frame counting restarts.
    int32_t rewind();
    /// Decodes the next frame of the selected stream into frame_; false at the end or on failure.
    bool decodeFrame();
    /// Stream position of the frame just decoded, from its time stamp; -1 when it has none.
    int64_t positionFromTimestamp() const;
    /// Converts frame_ to output PCM and keeps frames [skip, skip + count) of it.
    bool convertFrame(int64_t skip, int64_t count, std::vector<uint8_t>& out);
    int64_t framesFromTime(uint64_t time100ns) const;
    /// Frames the reader delivers for audio stream index from its start; -1 when unknown.
    int64_t playableFrames(int index) const;
    /// Frames of the complete packets of stream index, read (not decoded) to the end of the file.
    int64_t scanPacketFrames(int index) const;
    /// True when the file holds fewer bytes than its header declares.
    bool cutShort() const;
    uint64_t timeFromFrames(int64_t frames) const;

    std::string path_;
    std::unique_ptr<AVFormatContext, FormatCloser> format_;
    std::unique_ptr<AVCodecContext, CodecCloser> codec_;
    std::unique_ptr<SwrContext, SwrCloser> swr_;
    std::unique_ptr<AVFrame, FrameCloser> frame_;
    std::unique_ptr<AVPacket, PacketCloser> packet_;

    int selected_ = -1;      // index of the selected stream, -1 when none
    OutputPcm pcm_;          // output format of the selected stream
    int64_t grid_ = 0;       // decoded frames come in multiples of this many sample frames
    bool inputDone_ = false; // the demuxer is exhausted and the decoder was told so
    bool ended_ = false;     // nothing more to deliver in the current range
    int64_t next_ = 0;       // stream position of the next decoded frame (when known)
    bool positionKnown_ = true;
    int64_t firstTimestamp_ = INT64_MIN; // time stamp of frame 0, in the stream's time base
    int64_t rangeStart_ = 0;             // first sample frame to deliver
    int64_t rangeEnd_ = INT64_MAX;       // sample frame at which delivery stops
    uint32_t swrChannels_ = 0;
    int swrInputFormat_ = -1;
};

} // namespace wmaruntime
