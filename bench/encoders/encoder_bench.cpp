// Encoding throughput: each codec plug-in driven through its BE calls (as the program saves a
// record: pieces of bufferSize / 2 values, the caller writing every returned byte) against the
// command-line tool on the same codec library, on the same 10-minute stereo 44.1 kHz input.
// Prints realtime factors (seconds of audio per second of wall time) side by side.
//
// Usage: encoder_bench [seconds-of-input]   (default 600)

#include "be_encoder.h"
#include "wav_header.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;
constexpr int kChannels = 2;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// Music-like input: two drifting tones with noise, so the encoders do real work.
std::vector<int16_t> makeInput(double seconds) {
    const size_t frames = static_cast<size_t>(seconds * kRate);
    std::vector<int16_t> v(frames * kChannels);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 600.0);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double f = 220.0 + 110.0 * std::sin(t * 0.5);
        v[i * 2] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * f * t) + noise(rng));
        v[i * 2 + 1] = static_cast<int16_t>(7000 * std::sin(2 * M_PI * 1.5 * f * t) + noise(rng));
    }
    return v;
}

bool writeWav(const std::string& path, const std::vector<int16_t>& pcm) {
    const uint32_t bytes = static_cast<uint32_t>(pcm.size() * 2);
    mireldo::common::WavFormat format;
    format.channels = kChannels;
    format.sampleRate = kRate;
    format.blockAlign = 4;
    format.bitsPerSample = 16;
    const auto h = mireldo::common::makeWavHeader(format, bytes);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(h.data(), 1, h.size(), f) == h.size() &&
                    std::fwrite(pcm.data(), 2, pcm.size(), f) == pcm.size();
    return std::fclose(f) == 0 && ok;
}

/// Seconds to encode `pcm` through the plug-in `library` into `path`; negative on failure.
double encodeWithPlugin(const std::string& library, uint32_t kbps, const std::vector<int16_t>& pcm,
                        const std::string& path) {
    void* lib = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        return -1;
    }
    auto init = reinterpret_cast<BEINITSTREAM>(dlsym(lib, "beInitStream"));
    auto encode = reinterpret_cast<BEENCODECHUNK>(dlsym(lib, "beEncodeChunk"));
    auto deinit = reinterpret_cast<BEDEINITSTREAM>(dlsym(lib, "beDeinitStream"));
    auto close = reinterpret_cast<BECLOSESTREAM>(dlsym(lib, "beCloseStream"));
    auto infoTag = reinterpret_cast<BEWRITEINFOTAG>(dlsym(lib, "beWriteInfoTag"));

    const auto start = Clock::now();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    BeConfig cfg;
    std::memset(&cfg, 0, sizeof cfg);
    cfg.config = BE_CONFIG_LAME;
    cfg.structVersion = 1;
    cfg.structSize = BE_CONFIG_SIZE;
    cfg.sampleRate = kRate;
    cfg.mode = BE_MP3_MODE_STEREO;
    cfg.bitrate = kbps;
    cfg.preset = 2;
    cfg.mpegVersion = 1;
    cfg.original = 1;
    cfg.writeVbrHeader = 1;
    cfg.noReservoir = 1;
    cfg.quality = 10;
    BeId3v1Tag tag;
    std::memset(&tag, ' ', sizeof tag);
    uint32_t samples = 0;
    uint32_t size = static_cast<uint32_t>(fd);
    HBE_STREAM h = reinterpret_cast<HBE_STREAM>(&tag);
    bool ok = fd >= 0 && init(&cfg, &samples, &size, &h) == 0;
    std::vector<uint8_t> out(ok ? size : 0);
    const size_t piece = size / 2;
    uint32_t written = 0;
    for (size_t at = 0; ok && at < pcm.size(); at += piece) {
        const size_t n = std::min(piece, pcm.size() - at);
        ok = encode(h, static_cast<uint32_t>(n), pcm.data() + at, out.data(), &written) == 0 &&
             ::write(fd, out.data(), written) == static_cast<ssize_t>(written);
    }
    ok = ok && deinit(h, out.data(), &written) == 0 &&
         ::write(fd, out.data(), written) == static_cast<ssize_t>(written);
    if (h != 0) {
        close(h);
    }
    if (ok && infoTag != nullptr) {
        infoTag(h, path.c_str());
    }
    if (fd >= 0) {
        ::close(fd);
    }
    const double elapsed = secondsSince(start);
    dlclose(lib);
    return ok ? elapsed : -1;
}

double runTool(const std::string& command) {
    const auto start = Clock::now();
    const int rc = std::system(command.c_str());
    const double elapsed = secondsSince(start);
    return rc == 0 ? elapsed : -1;
}

std::string binFolder() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return ".";
    }
    std::string p(buf, static_cast<size_t>(n));
    return p.substr(0, p.rfind('/'));
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: encoder_bench [seconds-of-input]\n");
        return 2;
    }
    char dirTemplate[] = "/tmp/encoder_bench.XXXXXX";
    const char* dir = ::mkdtemp(dirTemplate);
    if (dir == nullptr) {
        return 1;
    }
    const std::string folder = dir;
    const std::string wav = folder + "/input.wav";
    const auto pcm = makeInput(seconds);
    if (!writeWav(wav, pcm)) {
        std::fprintf(stderr, "cannot write %s\n", wav.c_str());
        return 1;
    }
    const std::string bin = binFolder();

    struct Row {
        const char* name;
        const char* plugin;
        uint32_t kbps;
        std::string tool;
    };
    // Same settings on both sides: MP3 128 kbit/s CBR stereo without bit reservoir at LAME's
    // default quality; Vorbis with a managed 128 kbit/s; WMA 2 at 320 kbit/s (what saves use).
    const Row rows[] = {
        {"MP3  (LAME)", "mpeg_enc.so", 128,
         std::string(BENCH_LAME) + " --silent --cbr -b 128 -m s --nores " + wav + " " + folder +
             "/tool.mp3"},
        {"OGG  (libvorbis)", "ogg_enc.so", 128,
         std::string(BENCH_OGGENC) + " --quiet --managed -b 128 -o " + folder + "/tool.ogg " + wav},
        {"WMA2 (FFmpeg)", "wma_enc.so", 320,
         std::string(BENCH_FFMPEG) + " -v error -y -i " + wav + " -c:a wmav2 -b:a 320k " + folder +
             "/tool.wma"},
    };
    std::printf("input: %.0f s stereo 44100 Hz\n", seconds);
    std::printf("%-18s %14s %14s %10s\n", "codec", "plug-in (x rt)", "tool (x rt)", "ratio");
    for (const Row& row : rows) {
        const double plugin =
            encodeWithPlugin(bin + "/" + row.plugin, row.kbps, pcm, folder + "/plugin.out");
        const double tool = runTool(row.tool);
        if (plugin <= 0 || tool <= 0) {
            std::printf("%-18s failed (plug-in %.2f s, tool %.2f s)\n", row.name, plugin, tool);
            continue;
        }
        std::printf("%-18s %14.1f %14.1f %10.3f\n", row.name, seconds / plugin, seconds / tool,
                    tool / plugin);
    }
    std::printf("ratio = plug-in speed / tool speed (1.0 = same; below 0.9 is our overhead)\n");
    std::system(("rm -rf " + folder).c_str());
    return 0;
}
