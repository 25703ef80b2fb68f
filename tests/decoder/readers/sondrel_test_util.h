#pragma once

#include "sondrel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sondreltest {

struct StreamCloser {
    void operator()(SondrelStream* s) const { Sondrel_CloseStream(s); }
};
using StreamPtr = std::unique_ptr<SondrelStream, StreamCloser>;

/// Opens path with the playlist's arguments; code gets the result.
inline StreamPtr open(const std::string& path, int32_t& code, int32_t acceptCallRecords = 1) {
    SondrelStream* s = nullptr;
    code = Sondrel_OpenStream(&s, path.c_str(), acceptCallRecords, 1);
    return StreamPtr(code == SONDREL_OK ? s : nullptr);
}

inline int32_t openCode(const std::string& path, int32_t acceptCallRecords = 1) {
    int32_t code = -1;
    auto s = open(path, code, acceptCallRecords);
    return code;
}

/// Decodes frames [first, first + count) and returns the bytes produced.
inline std::vector<uint8_t> decode(SondrelStream* s, uint32_t first, uint32_t count,
                                   int32_t* codeOut = nullptr) {
    WAVEFORMATEX* f = nullptr;
    Sondrel_GetStreamFormat(s, &f);
    std::vector<uint8_t> out(size_t{count} * f->nBlockAlign);
    uint32_t got = 0;
    const int32_t code = Sondrel_DecodeAudio(s, first, count, out.data(), &got);
    if (codeOut != nullptr) {
        *codeOut = code;
    }
    out.resize(size_t{got} * f->nBlockAlign);
    return out;
}

} // namespace sondreltest
