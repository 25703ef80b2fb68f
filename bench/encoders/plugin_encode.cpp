// Encodes a WAV file with one of our encoder plug-ins through the program's own save path (the
// encoder table loaded from this program's folder, the temporary ".part" file, the WAV read in
// 200 KiB chunks and handed to beEncodeChunk, the finishing call, the fsync and the rename), so
// that bench/run-all can time it as a whole process against the command-line encoder on the
// same library. No progress display: the pacing pauses belong to the dialog, not the encoder.
//
// usage: plugin_encode mp3|ogg KBPS IN.wav OUT
// Exit status 0 on success, 1 when the encoding failed, 2 on wrong usage.

#include "byte_reader.h"
#include "encoder_table.h"
#include "encoding_pipeline.h"
#include "wav_header.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

struct WavInput {
    mireldo::common::WavFormat format;
    std::uint64_t dataStart = 0;
};

// The format and the offset of the samples of a PCM WAV file: the chunks of its first 64 KiB.
std::optional<WavInput> readWav(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> head(65536);
    const ssize_t got = ::read(fd, head.data(), head.size());
    ::close(fd);
    if (got <= 0) {
        return std::nullopt;
    }
    head.resize(static_cast<std::size_t>(got));
    mireldo::common::ByteReader r(head);
    if (!mireldo::common::readRiffWaveHead(r)) {
        return std::nullopt;
    }
    WavInput input;
    bool haveFormat = false;
    while (auto chunk = mireldo::common::readRiffChunk(r)) {
        const std::uint64_t body = r.position();
        if (chunk->is("fmt ")) {
            const auto f = mireldo::common::readWavFormat(r);
            if (!f) {
                return std::nullopt;
            }
            input.format = *f;
            haveFormat = true;
        } else if (chunk->is("data")) {
            input.dataStart = body;
            return haveFormat ? std::optional<WavInput>(input) : std::nullopt;
        }
        r.seek(static_cast<std::size_t>(chunk->next(body - 8)));
        if (!r.ok()) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 5 || (std::strcmp(argv[1], "mp3") != 0 && std::strcmp(argv[1], "ogg") != 0)) {
        std::fprintf(stderr, "usage: plugin_encode mp3|ogg KBPS IN.wav OUT\n");
        return 2;
    }
    const int slot = std::strcmp(argv[1], "mp3") == 0 ? mireldo::encoders::kEncodeMp3
                                                      : mireldo::encoders::kEncodeOgg;
    const auto kbps = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const std::optional<WavInput> wav = readWav(argv[3]);
    if (!wav || wav->format.bitsPerSample != 16 || wav->format.channels < 1 ||
        wav->format.channels > 2) {
        std::fprintf(stderr, "plugin_encode: %s is no 16-bit mono or stereo WAV\n", argv[3]);
        return 1;
    }
    mireldo::encoders::EncoderTable table;
    table.load(QCoreApplication::applicationDirPath());
    if (!table.isLoaded(slot)) {
        std::fprintf(stderr, "plugin_encode: the plug-in is not beside this program\n");
        return 1;
    }
    mireldo::encoders::CompressSource source;
    source.wavPath = QString::fromLocal8Bit(argv[3]);
    source.dataStart = wav->dataStart;
    source.format.rate = wav->format.sampleRate;
    source.format.channels = wav->format.channels;
    source.format.bits = 16;
    const mireldo::encoders::CompressOutcome outcome = mireldo::encoders::compress(
        table, slot, kbps, source, QFileInfo(QString::fromLocal8Bit(argv[4])).absoluteFilePath(),
        nullptr, nullptr);
    if (!outcome.ok) {
        std::fprintf(stderr, "plugin_encode: encoding failed\n");
        return 1;
    }
    return 0;
}
