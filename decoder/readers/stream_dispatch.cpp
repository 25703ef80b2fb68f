#include "stream_dispatch.h"

#include "byte_reader.h"
#include "klx_format.h"
#include "mpeg_audio_stream.h"
#include "ogg_vorbis_stream.h"
#include "wave_file_stream.h"
#include "wma_stream.h"

#include <array>
#include <cstring>
#include <new>
#include <strings.h>

namespace sondrel {

using mireldo::common::ByteReader;
namespace {

using ReaderFactory = std::unique_ptr<DecoderStream> (*)();

template <typename Reader>
std::unique_ptr<DecoderStream> make() {
    return std::unique_ptr<DecoderStream>(new (std::nothrow) Reader());
}

struct ExtensionEntry {
    const char* extension;
    // Null while the format has no reader in this build: such files are unsupported.
    ReaderFactory factory;
};

// Walked in order; the first match picks the reader.
constexpr std::array<ExtensionEntry, 6> kReaders{{
    {".wav", &make<WaveFileStream>},
    {".mp3", &make<MpegAudioStream>},
    {".mp2", &make<MpegAudioStream>},
    {".mp1", &make<MpegAudioStream>},
    {".wma", &make<WmaStream>},
    {".ogg", &make<OggVorbisStream>},
}};

const char* extensionForPayload(uint32_t payloadType) {
    switch (static_cast<klx::PayloadType>(payloadType)) {
    case klx::PayloadType::Mpeg:
        return ".mp3";
    case klx::PayloadType::OggVorbis:
        return ".ogg";
    case klx::PayloadType::Wave:
        return ".wav";
    }
    return nullptr;
}

// Reads the container's short header and tells which extension its payload stands for.
int32_t precheckKlx(const char* path, int32_t acceptCallRecords, const char** extensionOut) {
    InputFile file;
    if (const int32_t code = file.open(path); code != SONDREL_OK) {
        return code;
    }
    std::array<uint8_t, klx::kPrecheckBytes> header{};
    const size_t got = file.read(header.data(), header.size());
    file.close();

    ByteReader r(std::span<const uint8_t>(header.data(), got));
    const uint32_t headerSize = r.u32();
    const uint32_t magic = r.u32();
    if (got < klx::kMinHeaderSize || magic != klx::kMagic) {
        return SONDREL_ERR_UNSUPPORTED;
    }
    r.seek(klx::kOffsetPayloadType);
    const uint32_t payloadType = r.u32();
    if (acceptCallRecords == 0 && headerSize >= klx::kCallHeaderSize &&
        got >= klx::kCallHeaderSize) {
        r.seek(klx::kOffsetCallId);
        if (r.i32() >= 0) {
            return SONDREL_ERR_CALL_RECORD;
        }
    }
    *extensionOut = extensionForPayload(payloadType);
    return *extensionOut == nullptr ? SONDREL_ERR_UNSUPPORTED : SONDREL_OK;
}

const ExtensionEntry* findReader(const char* extension) {
    for (const auto& entry : kReaders) {
        if (strcasecmp(extension, entry.extension) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

int32_t openStream(const char* path, int32_t acceptCallRecords, int32_t shareMode,
                   std::unique_ptr<DecoderStream>& streamOut) {
    if (path == nullptr) {
        return SONDREL_ERR_NOT_FOUND;
    }
    const char* extension = std::strrchr(path, '.');
    if (extension == nullptr) {
        return SONDREL_ERR_UNSUPPORTED;
    }
    if (strcasecmp(extension, ".klx") == 0) {
        if (const int32_t code = precheckKlx(path, acceptCallRecords, &extension);
            code != SONDREL_OK) {
            return code;
        }
    }
    const ExtensionEntry* entry = findReader(extension);
    if (entry == nullptr || entry->factory == nullptr) {
        return SONDREL_ERR_UNSUPPORTED;
    }
    std::unique_ptr<DecoderStream> stream = entry->factory();
    if (!stream) {
        return SONDREL_ERR_OPEN;
    }
    // The reader sees the unchanged path: its base open recognises a container by ".klx".
    if (const int32_t code = stream->Open(path, shareMode); code != SONDREL_OK) {
        return code;
    }
    streamOut = std::move(stream);
    return SONDREL_OK;
}

} // namespace sondrel
