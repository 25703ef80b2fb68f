#include "wma_stream.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <vector>

namespace sondrel {
namespace {

constexpr uint64_t kUnitsPerSecond = 10'000'000; // 100-ns units per second

bool sameGuid(const WmrGuid& a, const WmrGuid& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Frames in a duration of 100-ns units, truncated: duration x rate / 10^7 in exact integer
// arithmetic; UINT32_MAX when it does not fit.
uint32_t framesInDuration(uint64_t duration, uint32_t rate) {
    const uint64_t seconds = duration / kUnitsPerSecond;
    const uint64_t rest = duration % kUnitsPerSecond;
    if (rate != 0 && seconds > UINT32_MAX / rate) {
        return UINT32_MAX;
    }
    const uint64_t frames = seconds * rate + rest * rate / kUnitsPerSecond;
    return frames >= UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(frames);
}

} // namespace

void WmaStream::LibraryCloser::operator()(void* handle) const {
    dlclose(handle);
}

WmaStream::WmaStream() = default;

WmaStream::WmaStream(WmrCreateSyncReaderFn factory) : givenFactory_(factory) {}

WmaStream::~WmaStream() {
    Close();
}

void WmaStream::releaseRuntime() {
    pendingSample_.reset();
    pendingFrames_ = 0;
    if (syncReader_) {
        syncReader_->vtbl->Close(syncReader_.get());
        syncReader_.reset();
    }
    runtime_.reset();
}

int WmaStream::readNumberAttribute(const char* name, uint32_t width, uint64_t& valueOut) {
    uint32_t type = 0;
    uint16_t length = 0;
    int32_t hr =
        syncReader_->vtbl->GetAttributeByName(syncReader_.get(), 0, name, &type, nullptr, &length);
    if (hr == WMR_E_NOT_FOUND) {
        return 1;
    }
    if (hr != WMR_OK || length == 0) {
        return -1;
    }
    std::vector<uint8_t> value(length);
    hr = syncReader_->vtbl->GetAttributeByName(syncReader_.get(), 0, name, &type, value.data(),
                                               &length);
    if (hr == WMR_E_NOT_FOUND) {
        return 1;
    }
    // The value must be the number asked for; a shorter or differently typed one is a failure.
    const uint32_t wantedType = width == 8 ? WMR_TYPE_QWORD : WMR_TYPE_DWORD;
    if (hr != WMR_OK || type != wantedType || length < width || length > value.size()) {
        return -1;
    }
    valueOut = 0;
    for (uint32_t i = 0; i < width; ++i) {
        valueOut |= uint64_t{value[i]} << (8 * i);
    }
    return 0;
}

int32_t WmaStream::Open(const char* path, int32_t shareMode) {
    Close();
    if (const int32_t code = BaseOpen(path, shareMode); code != SONDREL_OK) {
        Close();
        return code;
    }

    WmrCreateSyncReaderFn factory = givenFactory_;
    if (factory == nullptr) {
        // By bare name: found beside the library through its run path, or wherever the system
        // finds libraries. Once loaded it stays: unloading would drop the codec libraries' static
        // tables, which they allocate again (and never free) on every load.
        runtime_.reset(dlopen(WMR_LIBRARY_NAME, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
        if (runtime_) {
            factory =
                reinterpret_cast<WmrCreateSyncReaderFn>(dlsym(runtime_.get(), WMR_FACTORY_NAME));
        }
        if (factory == nullptr) {
            Close();
            return SONDREL_ERR_RUNTIME_MISSING;
        }
    }

    WmrSyncReader* reader = nullptr;
    if (factory(WMR_API_VERSION, WMR_RIGHTS_PLAYBACK, &reader) != WMR_OK || reader == nullptr) {
        Close();
        return SONDREL_ERR_WINDOWS_MEDIA;
    }
    syncReader_.reset(reader);
    if (reader->vtbl->Open(reader, path) != WMR_OK) {
        syncReader_.reset(); // never opened: released without a close
        Close();
        return SONDREL_ERR_WINDOWS_MEDIA;
    }

    // The length is what the runtime's reader can deliver: the header's duration counts the
    // codec's delay too, and a file cut short has no usable duration in its header at all, so
    // the runtime's playable duration wins when it knows one.
    uint64_t bitrate = 0;
    uint64_t playable = 0;
    const int duration = readNumberAttribute("Duration", 8, duration_);
    const int playableFound = readNumberAttribute("PlayableDuration", 8, playable);
    if (duration < 0 || playableFound < 0 || (duration != 0 && playableFound != 0) ||
        readNumberAttribute("Bitrate", 4, bitrate) != 0) {
        Close();
        return SONDREL_ERR_WINDOWS_MEDIA;
    }
    if (playableFound == 0) {
        duration_ = playable;
    }

    const int32_t code = setUpAudioOutput();
    if (code != SONDREL_OK) {
        Close();
        return code;
    }
    format_.nAvgBytesPerSec = static_cast<uint32_t>(bitrate / 8);

    lengthFrames_ = framesInDuration(duration_, format_.nSamplesPerSec);
    if (lengthFrames_ == 0) {
        Close();
        return SONDREL_ERR_EMPTY;
    }
    position_ = 0;
    FixCallRecordEnd();
    return SONDREL_OK;
}

int32_t WmaStream::setUpAudioOutput() {
    WmrSyncReader* r = syncReader_.get();
    uint32_t outputs = 0;
    uint32_t streams = 0;
    if (r->vtbl->GetOutputCount(r, &outputs) != WMR_OK ||
        r->vtbl->GetStreamCount(r, &streams) != WMR_OK) {
        return SONDREL_ERR_WINDOWS_MEDIA;
    }
    bool anyAudioStream = false;
    for (uint32_t i = 0; i < streams; ++i) {
        uint16_t number = 0;
        WmrGuid type{};
        if (r->vtbl->GetStream(r, i, &number, &type) != WMR_OK) {
            return SONDREL_ERR_WINDOWS_MEDIA;
        }
        anyAudioStream = anyAudioStream || sameGuid(type, WMR_MEDIATYPE_Audio);
    }
    if (!anyAudioStream) {
        return SONDREL_ERR_WINDOWS_MEDIA;
    }

    for (uint32_t output = 0; output < outputs; ++output) {
        WmrMediaType type{};
        if (r->vtbl->GetOutputFormat(r, output, 0, &type) != WMR_OK ||
            !sameGuid(type.majorType, WMR_MEDIATYPE_Audio) || type.formatSize < 18) {
            continue;
        }
        // The first audio output decides. Its stream is the one selected, so the PCM that
        // arrives is the PCM the format describes.
        uint16_t stream = 0;
        if (r->vtbl->GetStreamNumberForOutput(r, output, &stream) != WMR_OK) {
            return SONDREL_ERR_WINDOWS_MEDIA;
        }
        std::memcpy(&format_, type.format, sizeof format_);
        format_.cbSize = 18;
        const uint16_t channels = format_.nChannels;
        const uint16_t bits = format_.wBitsPerSample;
        if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16) ||
            format_.nSamplesPerSec == 0) {
            return SONDREL_ERR_UNSUPPORTED;
        }
        // The block size is what this reader slices samples by: it is computed, not trusted.
        format_.wFormatTag = 1;
        format_.nBlockAlign = static_cast<uint16_t>(channels * bits / 8u);
        if (r->vtbl->SetStreamSelected(r, stream, 1) != WMR_OK ||
            r->vtbl->SetReadStreamSamples(r, stream, 0) != WMR_OK) {
            return SONDREL_ERR_WINDOWS_MEDIA;
        }
        audioStream_ = stream;
        return SONDREL_OK;
    }
    return SONDREL_ERR_WINDOWS_MEDIA;
}

uint32_t WmaStream::deliverPending(uint8_t* out, uint32_t wanted) {
    if (!pendingSample_ || pendingFrames_ == 0) {
        pendingSample_.reset();
        pendingFrames_ = 0;
        return 0;
    }
    uint8_t* data = nullptr;
    uint32_t length = 0;
    const uint32_t blockAlign = format_.nBlockAlign;
    if (pendingSample_->vtbl->GetBufferAndLength(pendingSample_.get(), &data, &length) != WMR_OK ||
        data == nullptr || length / blockAlign < pendingFrames_) {
        pendingSample_.reset();
        pendingFrames_ = 0;
        return 0;
    }
    // The pending frames are the sample's last whole frames.
    const uint32_t frames = length / blockAlign;
    const uint32_t take = std::min(wanted, pendingFrames_);
    const size_t from = size_t{frames - pendingFrames_} * blockAlign;
    std::memcpy(out, data + from, size_t{take} * blockAlign);
    pendingFrames_ -= take;
    if (pendingFrames_ == 0) {
        pendingSample_.reset();
    }
    return take;
}

int32_t WmaStream::Decode(uint32_t firstFrame, uint32_t frameCount, void* buffer,
                          uint32_t* framesOut) {
    if (framesOut == nullptr) {
        return SONDREL_ERR_OPEN;
    }
    *framesOut = 0;
    if (buffer == nullptr || !syncReader_ || format_.nBlockAlign == 0) {
        return SONDREL_ERR_OPEN;
    }
    WmrSyncReader* r = syncReader_.get();
    if (firstFrame != position_) {
        pendingSample_.reset();
        pendingFrames_ = 0;
        // 100-ns units of the frame's start, truncated; the runtime takes the nearest frame.
        const uint64_t start = uint64_t{firstFrame} * kUnitsPerSecond / format_.nSamplesPerSec;
        const uint64_t rest = duration_ > start ? duration_ - start : 0;
        ++rangeCount_;
        if (r->vtbl->SetRange(r, start, static_cast<int64_t>(rest)) != WMR_OK) {
            return SONDREL_ERR_WINDOWS_MEDIA;
        }
        position_ = firstFrame;
    }

    auto* out = static_cast<uint8_t*>(buffer);
    const uint32_t blockAlign = format_.nBlockAlign;
    uint32_t delivered = deliverPending(out, frameCount);
    while (delivered < frameCount) {
        WmrSample* raw = nullptr;
        uint64_t time = 0;
        uint64_t length100ns = 0;
        ++sampleFetchCount_;
        if (r->vtbl->GetNextSample(r, audioStream_, &raw, &time, &length100ns) != WMR_OK ||
            raw == nullptr) {
            break; // the end of the stream, or a failure that ends it the same way
        }
        pendingSample_.reset(raw);
        uint8_t* data = nullptr;
        uint32_t length = 0;
        if (raw->vtbl->GetBufferAndLength(raw, &data, &length) != WMR_OK || data == nullptr) {
            pendingSample_.reset();
            break;
        }
        // Whole frames only; a trailing partial frame of a sample is never delivered.
        pendingFrames_ = length / blockAlign;
        delivered += deliverPending(out + size_t{delivered} * blockAlign, frameCount - delivered);
    }
    position_ += delivered;
    *framesOut = delivered;
    return SONDREL_OK;
}

int32_t WmaStream::Close() {
    BaseClose();
    releaseRuntime();
    audioStream_ = 0;
    position_ = 0;
    duration_ = 0;
    return SONDREL_OK;
}

} // namespace sondrel
