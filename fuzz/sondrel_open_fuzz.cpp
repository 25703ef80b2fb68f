// Opens arbitrary bytes as a file under each supported extension and decodes from positions the
// input chooses. The first byte picks the extension and the next eight the decode requests; the
// rest is the file.
#include "decoder_stream.h"
#include "stream_dispatch.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::array<const char*, 7> kExtensions{".wav", ".mp3", ".mp2", ".mp1",
                                                 ".ogg", ".wma", ".klx"};

const std::string& scratchBase() {
    static const std::string base = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/sondrel-fuzz-" +
               std::to_string(getpid());
    }();
    return base;
}

uint32_t readU32(const uint8_t* p) {
    uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) {
        return 0;
    }
    const std::string path = scratchBase() + kExtensions[data[0] % kExtensions.size()];
    const uint32_t first = readU32(data + 1);
    const uint32_t count = readU32(data + 5) % 50000;
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) {
            return 0;
        }
        std::fwrite(data + 9, 1, size - 9, f);
        std::fclose(f);
    }

    std::unique_ptr<sondrel::DecoderStream> stream;
    if (sondrel::openStream(path.c_str(), data[0] & 0x80 ? 0 : 1, 1, stream) == SONDREL_OK) {
        WAVEFORMATEX* format = nullptr;
        stream->GetFormat(&format);
        uint32_t length = 0;
        stream->GetLength(&length);
        if (stream->BeginDecode() == SONDREL_OK) {
            std::vector<uint8_t> buffer(size_t{count} * format->nBlockAlign + 1);
            uint32_t got = 0;
            // A request at the input's position, one at its wrapped-around position inside the
            // stream, and one continuing after it.
            stream->Decode(first, count, buffer.data(), &got);
            const uint32_t inside = length ? first % length : 0;
            stream->Decode(inside, count, buffer.data(), &got);
            stream->Decode(inside + got, count, buffer.data(), &got);
            stream->EndDecode();
        }
        uint32_t indexCount = 0;
        stream->ExtractIndex(&indexCount, nullptr);
        std::vector<SeekIndexEntry> index(indexCount);
        stream->ExtractIndex(&indexCount, index.data());
        stream->Close();
    }
    std::remove(path.c_str());
    return 0;
}
