// The exported C interface. Each export catches everything at the boundary and returns a code.
#include "sondrel.h"

#include "decoder_stream.h"
#include "mpeg_audio_stream.h"
#include "stream_dispatch.h"

#include <algorithm>
#include <cstring>
#include <new>

struct SondrelStream {
    std::unique_ptr<sondrel::DecoderStream> stream;
};

namespace {

// A null handle or output pointer is a caller error; it is answered, never dereferenced.
constexpr int32_t kBadArgument = SONDREL_ERR_OPEN;

template <typename Fn>
int32_t guarded(Fn&& fn) noexcept {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return SONDREL_ERR_MEMORY;
    } catch (...) {
        return SONDREL_ERR_OPEN;
    }
}

void copyText(const std::optional<std::string>& text, char* buffer, int32_t bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) {
        return;
    }
    const size_t room = static_cast<size_t>(bufferSize) - 1;
    const size_t count = text ? std::min(text->size(), room) : 0;
    if (count > 0) {
        std::memcpy(buffer, text->data(), count);
    }
    buffer[count] = '\0';
}

} // namespace

extern "C" {

int32_t Sondrel_OpenStream(SondrelStream** handleOut, const char* path, int32_t acceptCallRecords,
                           int32_t shareMode) {
    if (handleOut == nullptr) {
        return kBadArgument;
    }
    return guarded([&] {
        std::unique_ptr<sondrel::DecoderStream> stream;
        const int32_t code = sondrel::openStream(path, acceptCallRecords, shareMode, stream);
        if (code != SONDREL_OK) {
            return code;
        }
        auto* handle = new (std::nothrow) SondrelStream{std::move(stream)};
        if (handle == nullptr) {
            return static_cast<int32_t>(SONDREL_ERR_OPEN);
        }
        *handleOut = handle;
        return static_cast<int32_t>(SONDREL_OK);
    });
}

int32_t Sondrel_CloseStream(SondrelStream* handle) {
    if (handle == nullptr) {
        return kBadArgument;
    }
    return guarded([&] {
        const int32_t code = handle->stream->Close();
        if (code == SONDREL_OK) {
            delete handle;
        }
        return code;
    });
}

int32_t Sondrel_GetStreamFormat(SondrelStream* handle, WAVEFORMATEX** formatOut) {
    if (handle == nullptr || formatOut == nullptr) {
        return kBadArgument;
    }
    return handle->stream->GetFormat(formatOut);
}

int32_t Sondrel_GetStreamLength(SondrelStream* handle, uint32_t* framesOut) {
    if (handle == nullptr || framesOut == nullptr) {
        return kBadArgument;
    }
    return handle->stream->GetLength(framesOut);
}

int32_t Sondrel_DecodeAudioBegin(SondrelStream* handle) {
    if (handle == nullptr) {
        return kBadArgument;
    }
    return guarded([&] { return handle->stream->BeginDecode(); });
}

int32_t Sondrel_DecodeAudio(SondrelStream* handle, uint32_t firstFrame, uint32_t frameCount,
                            void* buffer, uint32_t* framesOut) {
    if (handle == nullptr || framesOut == nullptr) {
        return kBadArgument;
    }
    return guarded(
        [&] { return handle->stream->Decode(firstFrame, frameCount, buffer, framesOut); });
}

int32_t Sondrel_DecodeAudioEnd(SondrelStream* handle) {
    if (handle == nullptr) {
        return kBadArgument;
    }
    return guarded([&] { return handle->stream->EndDecode(); });
}

int32_t Sondrel_GetImageArray(SondrelStream* handle, SondrelBitmap** arrayOut, int16_t* countOut) {
    if (handle == nullptr || arrayOut == nullptr || countOut == nullptr) {
        return kBadArgument;
    }
    *arrayOut = handle->stream->imageArray();
    *countOut = static_cast<int16_t>(handle->stream->imageCount());
    return SONDREL_OK;
}

int32_t Sondrel_GetTopic(SondrelStream* handle, char* buffer, int32_t bufferSize) {
    if (handle == nullptr) {
        return kBadArgument;
    }
    copyText(handle->stream->topic(), buffer, bufferSize);
    return SONDREL_OK;
}

int32_t Sondrel_GetDescription(SondrelStream* handle, char* buffer, int32_t bufferSize) {
    if (handle == nullptr) {
        return kBadArgument;
    }
    copyText(handle->stream->description(), buffer, bufferSize);
    return SONDREL_OK;
}

int32_t Sondrel_GetCallRecordInfo(SondrelStream* handle, CallRecordInfo** out) {
    if (handle == nullptr || out == nullptr) {
        return kBadArgument;
    }
    *out = handle->stream->callRecord();
    return SONDREL_OK;
}

int32_t Sondrel_GetNumberOfVoidBytes(SondrelStream* handle, int32_t* out) {
    if (handle == nullptr || out == nullptr) {
        return kBadArgument;
    }
    *out = handle->stream->voidBytes();
    return SONDREL_OK;
}

int32_t Sondrel_ExtractIndexs(SondrelStream* handle, uint32_t* countOut,
                              SeekIndexEntry* entriesOut) {
    if (handle == nullptr || countOut == nullptr) {
        return kBadArgument;
    }
    return guarded([&] { return handle->stream->ExtractIndex(countOut, entriesOut); });
}

int32_t Sondrel_GetMP3SampleRate(const char* path, uint32_t* rateOut) {
    if (rateOut == nullptr) {
        return kBadArgument;
    }
    return guarded([&] { return sondrel::getMp3SampleRate(path, rateOut); });
}

} // extern "C"
