// Feeds arbitrary bytes to the MPEG audio decoder as a run of frames: Init on the first bytes,
// then every header found decoded with the bytes that follow it (often fewer than the frame
// claims, or garbage after a valid header).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "mpeg_audio_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> input(data, size);
    static sondrel::MpegAudioDecoder decoder;
    static std::vector<int16_t> pcm(1152 * 2);

    decoder.Reset();
    // Header parsing wants at least 156 bytes: give it an exact-size padded copy when short.
    auto window = [&](std::size_t offset) {
        std::vector<uint8_t> bytes(input.begin() + static_cast<std::ptrdiff_t>(offset),
                                   input.end());
        if (bytes.size() < sondrel::kMpegMinParseLength) {
            bytes.resize(sondrel::kMpegMinParseLength, 0);
        }
        return bytes;
    };
    decoder.Init(window(0));

    int frames = 0;
    for (std::size_t offset = 0; offset + 4 <= size && frames < 8; ++offset) {
        if (input[offset] != 0xFF) {
            continue;
        }
        sondrel::MpegDecodeRequest request;
        if (decoder.ParseHeader(window(offset), request.header, true) != 0) {
            continue;
        }
        // The frame's bytes straight from the fuzzer's buffer, so that any read past them is
        // caught by the address sanitizer.
        request.input = input.subspan(offset);
        request.output = pcm;
        if (decoder.Decode(request) == 0) {
            offset += request.inputLength - 1;
        }
        ++frames;
    }
    return 0;
}
