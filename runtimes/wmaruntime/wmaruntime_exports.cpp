// The C face of the runtime: the factories, the protection check and the function tables of
// readers, samples and metadata editors. Every entry catches whatever is thrown behind it and
// answers with a code.
#include "metadata_editor.h"
#include "sync_reader.h"

extern "C" {
#include <libavutil/log.h>
}

#include <new>

namespace wmaruntime {
namespace {

template <typename Fn>
int32_t guarded(Fn&& fn) noexcept {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return WMR_E_OUTOFMEMORY;
    } catch (...) {
        return WMR_E_FAIL;
    }
}

SyncReader* self(WmrSyncReader* reader) {
    return static_cast<SyncReader*>(reader);
}

void sampleRelease(WmrSample* sample) {
    delete static_cast<Sample*>(sample);
}

int32_t sampleBuffer(WmrSample* sample, uint8_t** bufferOut, uint32_t* lengthOut) {
    if (sample == nullptr || bufferOut == nullptr || lengthOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    auto* s = static_cast<Sample*>(sample);
    *bufferOut = s->bytes.data();
    *lengthOut = static_cast<uint32_t>(s->bytes.size());
    return WMR_OK;
}

void readerRelease(WmrSyncReader* reader) {
    delete self(reader);
}

int32_t readerOpen(WmrSyncReader* r, const char* path) {
    return r == nullptr ? WMR_E_INVALIDARG : guarded([&] { return self(r)->open(path); });
}

int32_t readerClose(WmrSyncReader* r) {
    return r == nullptr ? WMR_E_INVALIDARG : guarded([&] { return self(r)->close(); });
}

int32_t readerAttribute(WmrSyncReader* r, uint16_t stream, const char* name, uint32_t* type,
                        uint8_t* value, uint16_t* length) {
    return r == nullptr
               ? WMR_E_INVALIDARG
               : guarded([&] { return self(r)->attribute(stream, name, type, value, length); });
}

int32_t readerOutputCount(WmrSyncReader* r, uint32_t* count) {
    return r == nullptr ? WMR_E_INVALIDARG : guarded([&] { return self(r)->outputCount(count); });
}

int32_t readerStreamCount(WmrSyncReader* r, uint32_t* count) {
    return r == nullptr ? WMR_E_INVALIDARG : guarded([&] { return self(r)->streamCount(count); });
}

int32_t readerStream(WmrSyncReader* r, uint32_t index, uint16_t* number, WmrGuid* type) {
    return r == nullptr ? WMR_E_INVALIDARG
                        : guarded([&] { return self(r)->stream(index, number, type); });
}

int32_t readerStreamForOutput(WmrSyncReader* r, uint32_t output, uint16_t* number) {
    return r == nullptr ? WMR_E_INVALIDARG
                        : guarded([&] { return self(r)->streamForOutput(output, number); });
}

int32_t readerOutputFormat(WmrSyncReader* r, uint32_t output, uint32_t formatIndex,
                           WmrMediaType* type) {
    return r == nullptr ? WMR_E_INVALIDARG
                        : guarded([&] { return self(r)->outputFormat(output, formatIndex, type); });
}

int32_t readerSelect(WmrSyncReader* r, uint16_t number, int32_t selected) {
    return r == nullptr ? WMR_E_INVALIDARG
                        : guarded([&] { return self(r)->selectStream(number, selected != 0); });
}

int32_t readerCompressed(WmrSyncReader* r, uint16_t number, int32_t compressed) {
    return r == nullptr
               ? WMR_E_INVALIDARG
               : guarded([&] { return self(r)->setReadCompressed(number, compressed != 0); });
}

int32_t readerSetRange(WmrSyncReader* r, uint64_t start, int64_t duration) {
    return r == nullptr ? WMR_E_INVALIDARG
                        : guarded([&] { return self(r)->setRange(start, duration); });
}

int32_t readerNextSample(WmrSyncReader* r, uint16_t number, WmrSample** sample, uint64_t* time,
                         uint64_t* duration) {
    if (sample != nullptr) {
        *sample = nullptr;
    }
    return r == nullptr
               ? WMR_E_INVALIDARG
               : guarded([&] { return self(r)->nextSample(number, sample, time, duration); });
}

MetadataEditor* self(WmrMetadataEditor* editor) {
    return static_cast<MetadataEditor*>(editor);
}

void editorRelease(WmrMetadataEditor* e) {
    delete self(e);
}

int32_t editorOpen(WmrMetadataEditor* e, const char* path) {
    return e == nullptr ? WMR_E_INVALIDARG : guarded([&] { return self(e)->open(path); });
}

int32_t editorClose(WmrMetadataEditor* e) {
    return e == nullptr ? WMR_E_INVALIDARG : guarded([&] { return self(e)->close(); });
}

int32_t editorFlush(WmrMetadataEditor* e) {
    return e == nullptr ? WMR_E_INVALIDARG : guarded([&] { return self(e)->flush(); });
}

int32_t editorAttribute(WmrMetadataEditor* e, uint16_t stream, const char* name, uint32_t* type,
                        uint8_t* value, uint32_t* length) {
    return e == nullptr
               ? WMR_E_INVALIDARG
               : guarded([&] { return self(e)->attribute(stream, name, type, value, length); });
}

int32_t editorSetAttribute(WmrMetadataEditor* e, uint16_t stream, const char* name, uint32_t type,
                           const uint8_t* value, uint32_t length) {
    return e == nullptr
               ? WMR_E_INVALIDARG
               : guarded([&] { return self(e)->setAttribute(stream, name, type, value, length); });
}

} // namespace

const WmrMetadataEditorVtbl kEditorFunctions{&editorRelease, &editorOpen,      &editorClose,
                                             &editorFlush,   &editorAttribute, &editorSetAttribute};

const WmrSampleVtbl kSampleFunctions{&sampleRelease, &sampleBuffer};

const WmrSyncReaderVtbl kReaderFunctions{
    &readerRelease,      &readerOpen,        &readerClose,      &readerAttribute,
    &readerOutputCount,  &readerStreamCount, &readerStream,     &readerStreamForOutput,
    &readerOutputFormat, &readerSelect,      &readerCompressed, &readerSetRange,
    &readerNextSample};

} // namespace wmaruntime

extern "C" WMR_API int32_t WMCreateSyncReader(uint32_t apiVersion, uint32_t rights,
                                              WmrSyncReader** readerOut) {
    if (readerOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    *readerOut = nullptr;
    if (apiVersion != WMR_API_VERSION || (rights & WMR_RIGHTS_PLAYBACK) == 0) {
        return WMR_E_INVALIDARG;
    }
    // FFmpeg reports damaged input on standard error at its default level; the runtime answers
    // with codes instead. A level the host chose on purpose is left alone.
    if (av_log_get_level() == AV_LOG_INFO) {
        av_log_set_level(AV_LOG_QUIET);
    }
    auto* reader = new (std::nothrow) wmaruntime::SyncReader();
    if (reader == nullptr) {
        return WMR_E_OUTOFMEMORY;
    }
    *readerOut = reader;
    return WMR_OK;
}

extern "C" WMR_API int32_t WMCreateEditor(uint32_t apiVersion, WmrMetadataEditor** editorOut) {
    if (editorOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    *editorOut = nullptr;
    if (apiVersion != WMR_API_VERSION) {
        return WMR_E_INVALIDARG;
    }
    auto* editor = new (std::nothrow) wmaruntime::MetadataEditor();
    if (editor == nullptr) {
        return WMR_E_OUTOFMEMORY;
    }
    *editorOut = editor;
    return WMR_OK;
}

extern "C" WMR_API int32_t WMIsContentProtected(const char* path, int32_t* protectedOut) {
    return wmaruntime::guarded([&] { return wmaruntime::isContentProtected(path, protectedOut); });
}
