#include "converter_fixtures.h"

#include "sondrel.h"
#include "test_support.h"

#include <cmath>
#include <filesystem>

namespace convtest {

std::string writeTone(const std::string& path, std::uint32_t rate, int channels,
                      std::uint32_t frames, int bits) {
    std::vector<std::uint8_t> pcm;
    for (std::uint32_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const double v = std::sin(2.0 * M_PI * (440.0 + 110.0 * c) * f / rate);
            if (bits == 8) {
                pcm.push_back(static_cast<std::uint8_t>(128 + std::lround(v * 100)));
            } else {
                const auto s = static_cast<std::int16_t>(std::lround(v * 12000));
                testsupport::putU16(pcm, static_cast<std::uint16_t>(s));
            }
        }
    }
    testsupport::writeFile(path, testsupport::makeWav(static_cast<std::uint16_t>(channels), rate,
                                                      static_cast<std::uint16_t>(bits), pcm));
    return path;
}

Decoded decodeAll(const std::string& path) {
    Decoded d;
    SondrelStream* s = nullptr;
    if (Sondrel_OpenStream(&s, path.c_str(), 1, 2) != SONDREL_OK) {
        return d;
    }
    WAVEFORMATEX* f = nullptr;
    std::uint32_t length = 0;
    if (Sondrel_GetStreamFormat(s, &f) == SONDREL_OK &&
        Sondrel_GetStreamLength(s, &length) == SONDREL_OK &&
        Sondrel_DecodeAudioBegin(s) == SONDREL_OK) {
        d.rate = f->nSamplesPerSec;
        d.channels = f->nChannels;
        d.bits = f->wBitsPerSample;
        d.frames = length;
        if (d.bits == 16) {
            d.samples.resize(std::size_t{length} * static_cast<std::size_t>(d.channels));
            std::uint32_t got = 0;
            Sondrel_DecodeAudio(s, 0, length, d.samples.data(), &got);
            d.samples.resize(std::size_t{got} * static_cast<std::size_t>(d.channels));
        }
        d.ok = true;
    }
    Sondrel_CloseStream(s);
    return d;
}

double probeSeconds(const std::string& path) {
    // Every sample the stream decodes to, counted, over the rate ffprobe reports: what a
    // player plays, not what a header claims.
    const auto rate = testsupport::runCommand(
        std::string(MIRELDO_FFPROBE_EXE) +
        " -v error -select_streams a:0 -show_entries stream=sample_rate -of csv=p=0 " +
        testsupport::shellQuote(path));
    const auto bytes =
        testsupport::runCommand(std::string(MIRELDO_FFMPEG_EXE) + " -v error -i " +
                                testsupport::shellQuote(path) + " -ac 1 -f s16le - | wc -c");
    if (rate.exitCode != 0 || bytes.exitCode != 0) {
        return -1;
    }
    try {
        return std::stod(bytes.output) / 2.0 / std::stod(rate.output);
    } catch (...) {
        return -1;
    }
}

mireldo::encoders::EncoderTable& builtTable() {
    static mireldo::encoders::EncoderTable table;
    table.load(QString::fromStdString(testsupport::binDir()));
    return table;
}

std::vector<std::string> hiddenFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (!name.empty() && name[0] == '.') {
            names.push_back(name);
        }
    }
    return names;
}

} // namespace convtest
