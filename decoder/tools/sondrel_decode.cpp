// sondrel-decode FILE OUT.wav|- [--from FRAME] [--frames N]
// Decodes through the library's exports into a canonical WAV file, or raw PCM on standard output.
#include "mireldo_version.h"
#include "result_text.h"
#include "sondrel.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kBlockFrames = 16384;

constexpr const char* kUsage = "usage: sondrel-decode FILE OUT.wav|- [--from FRAME] [--frames N]\n"
                               "       sondrel-decode --help | --version\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

bool parseFrames(const char* text, uint32_t& out) {
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, out);
    return ec == std::errc() && ptr == end && end != text;
}

void putLe(std::vector<uint8_t>& h, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        h.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

std::vector<uint8_t> wavHeader(const WAVEFORMATEX& f, uint64_t dataBytes) {
    const auto size =
        static_cast<uint32_t>(dataBytes > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFull - 36 : dataBytes);
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    putLe(h, 36 + size, 4);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(h, 16, 4);
    putLe(h, 1, 2);
    putLe(h, f.nChannels, 2);
    putLe(h, f.nSamplesPerSec, 4);
    putLe(h, f.nSamplesPerSec * f.nBlockAlign, 4);
    putLe(h, f.nBlockAlign, 2);
    putLe(h, f.wBitsPerSample, 2);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    putLe(h, size, 4);
    return h;
}

bool writeAll(std::FILE* out, const void* data, size_t bytes) {
    return bytes == 0 || std::fwrite(data, 1, bytes, out) == bytes;
}

struct Options {
    const char* input = nullptr;
    const char* output = nullptr;
    uint32_t from = 0;
    uint32_t frames = 0xFFFFFFFFu; // all
};

int fail(const char* path, int32_t code) {
    std::fprintf(stderr, "sondrel-decode: %s: %s (%d)\n", path, resultText(code), code);
    return code;
}

} // namespace

int main(int argc, char* argv[]) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::printf("Decodes FILE to a WAV file, or to raw PCM on standard output with '-'.\n"
                        "--from and --frames count frames (one sample of every channel). The exit\n"
                        "status is 0, or the library's result code when decoding failed.\n");
            return 0;
        }
        if (arg == "--version") {
            std::printf("sondrel-decode %s\n", MIRELDO_VERSION);
            return 0;
        }
        if ((arg == "--from" || arg == "--frames") && i + 1 < argc) {
            uint32_t& target = arg == "--from" ? opt.from : opt.frames;
            if (!parseFrames(argv[++i], target)) {
                std::fprintf(stderr, "sondrel-decode: %s needs a frame count, not \"%s\"\n",
                             arg.c_str(), argv[i]);
                return usage();
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return usage();
        } else if (opt.input == nullptr) {
            opt.input = argv[i];
        } else if (opt.output == nullptr) {
            opt.output = argv[i];
        } else {
            return usage();
        }
    }
    if (opt.input == nullptr || opt.output == nullptr) {
        return usage();
    }

    SondrelStream* stream = nullptr;
    int32_t code = Sondrel_OpenStream(&stream, opt.input, 1, 1);
    if (code != SONDREL_OK) {
        return fail(opt.input, code);
    }
    WAVEFORMATEX* format = nullptr;
    Sondrel_GetStreamFormat(stream, &format);

    const bool toStdout = std::strcmp(opt.output, "-") == 0;
    // A WAV file is written beside its final name and renamed when complete, so a failed decode
    // never leaves a truncated file under the name asked for.
    const std::string partial = toStdout ? std::string() : std::string(opt.output) + ".part";
    std::FILE* out = toStdout ? stdout : std::fopen(partial.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "sondrel-decode: %s: %s\n", partial.c_str(), std::strerror(errno));
        Sondrel_CloseStream(stream);
        return 3;
    }
    bool ok = toStdout || writeAll(out, wavHeader(*format, 0).data(), 44);

    code = Sondrel_DecodeAudioBegin(stream);
    uint64_t written = 0;
    if (code == SONDREL_OK) {
        std::vector<uint8_t> buffer(size_t{kBlockFrames} * format->nBlockAlign);
        uint32_t position = opt.from;
        uint32_t left = opt.frames;
        while (ok && left > 0) {
            const uint32_t ask = left < kBlockFrames ? left : kBlockFrames;
            uint32_t got = 0;
            code = Sondrel_DecodeAudio(stream, position, ask, buffer.data(), &got);
            if (code != SONDREL_OK) {
                break;
            }
            ok = writeAll(out, buffer.data(), size_t{got} * format->nBlockAlign);
            written += got;
            position += got;
            left -= got;
            if (got < ask) {
                break;
            }
        }
        Sondrel_DecodeAudioEnd(stream);
    }

    if (ok && !toStdout) {
        const auto header = wavHeader(*format, written * format->nBlockAlign);
        ok = std::fseek(out, 0, SEEK_SET) == 0 && writeAll(out, header.data(), header.size());
    }
    ok = (std::fflush(out) == 0) && ok;
    if (!toStdout) {
        ok = (std::fclose(out) == 0) && ok;
    }
    Sondrel_CloseStream(stream);

    if (!ok) {
        std::fprintf(stderr, "sondrel-decode: cannot write %s: %s\n",
                     toStdout ? "standard output" : opt.output, std::strerror(errno));
        if (!toStdout) {
            std::remove(partial.c_str());
        }
        return 3;
    }
    if (code != SONDREL_OK) {
        if (!toStdout) {
            std::remove(partial.c_str());
        }
        return fail(opt.input, code);
    }
    if (!toStdout && std::rename(partial.c_str(), opt.output) != 0) {
        std::fprintf(stderr, "sondrel-decode: cannot write %s: %s\n", opt.output,
                     std::strerror(errno));
        std::remove(partial.c_str());
        return 3;
    }
    return 0;
}
