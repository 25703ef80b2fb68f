#pragma once

#include "decoder_stream.h"
#include "wmaruntime_api.h"

#include <cstdint>
#include <memory>

namespace sondrel {

/// Reader of Windows Media Audio files through the Windows Media runtime (wmaruntime), which the
/// library loads by name when a WMA file is opened, so Sondrel works without it and only WMA
/// files then fail (17). The runtime's synchronous reader hands out decoded samples of varying
/// size; this stream turns them into frame-exact reads: it keeps the undelivered tail of the last
/// sample and turns frame positions into the runtime's 100-ns time base to seek.
///
/// The stream keeps a current frame position: a Decode that starts there continues without
/// setting a range. Used by one thread at a time.
class WmaStream : public DecoderStream {
  public:
    /// Loads the runtime by name at open.
    WmaStream();
    /// Uses the given factory instead of loading the runtime (a runtime linked in directly).
    explicit WmaStream(WmrCreateSyncReaderFn factory);
    ~WmaStream() override;

    int32_t Close() override;
    int32_t Decode(uint32_t firstFrame, uint32_t frameCount, void* buffer,
                   uint32_t* framesOut) override;
    int32_t Open(const char* path, int32_t shareMode) override;

    /// Ranges set (seeks) since the stream was opened.
    uint32_t rangeCount() const { return rangeCount_; }
    /// Samples fetched from the runtime since the stream was opened.
    uint32_t sampleFetchCount() const { return sampleFetchCount_; }

  private:
    struct LibraryCloser {
        void operator()(void* handle) const;
    };
    struct ReaderRelease {
        void operator()(WmrSyncReader* reader) const { reader->vtbl->Release(reader); }
    };
    struct SampleRelease {
        void operator()(WmrSample* sample) const { sample->vtbl->Release(sample); }
    };
    using ReaderPtr = std::unique_ptr<WmrSyncReader, ReaderRelease>;
    using SamplePtr = std::unique_ptr<WmrSample, SampleRelease>;

    /// Reads a header attribute of the file as a number. 0 when found, 1 when the file does not
    /// carry it, -1 on any other failure.
    int readNumberAttribute(const char* name, uint32_t width, uint64_t& valueOut);
    /// Chooses the audio output, fills the format and selects its stream; a result code.
    int32_t setUpAudioOutput();
    /// Copies up to wanted frames from the tail of the pending sample into out.
    uint32_t deliverPending(uint8_t* out, uint32_t wanted);
    /// Releases the runtime's reader and samples, then the runtime itself.
    void releaseRuntime();

    WmrCreateSyncReaderFn givenFactory_ = nullptr;
    std::unique_ptr<void, LibraryCloser> runtime_; // dlopen handle; outlives reader and samples

    ReaderPtr syncReader_;
    uint16_t audioStream_ = 0;
    uint32_t position_ = 0; // frame the next delivered frame has
    SamplePtr pendingSample_;
    uint32_t pendingFrames_ = 0; // last frames of pendingSample_ not yet delivered
    uint64_t duration_ = 0;      // 100-ns units the stream lasts, as the runtime can deliver it

    uint32_t rangeCount_ = 0;
    uint32_t sampleFetchCount_ = 0;
};

} // namespace sondrel
