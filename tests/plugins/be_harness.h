#pragma once

// Drives an encoder plug-in through the BE calls exactly as the program does, and the signal
// and measuring helpers the plug-in tests share.

#include "be_encoder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace betest {

/// One plug-in library opened from the build's bin folder with its entry points.
class PluginLibrary {
  public:
    explicit PluginLibrary(const std::string& fileName);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }

    BEINITSTREAM init = nullptr;
    BEENCODECHUNK encode = nullptr;
    BEDEINITSTREAM deinit = nullptr;
    BECLOSESTREAM close = nullptr;
    BEVERSION version = nullptr;
    BEWRITEVBRHEADER writeVbrHeader = nullptr;
    BEWRITEINFOTAG writeInfoTag = nullptr;

  private:
    void* handle_ = nullptr;
};

/// The configuration record as the program fills it for a capture format and bit rate.
BeConfig makeConfig(uint32_t rate, int channels, uint32_t kbps, int bits = 16);

/// The blank ID3v1.1 tag record the program passes on entry.
BeId3v1Tag makeTag();

/// How the caller cuts its input: the program's pieces (buffer size / bytes per value) or
/// pieces of a fixed number of values.
struct EncodeOptions {
    uint32_t pieceValues = 0; ///< 0: as large as the buffer allows
    bool useInfoTag = true;   ///< beWriteInfoTag when present, else beWriteVBRHeader
    bool misaligned = false;  ///< the values start at an odd address
};

struct EncodeResult {
    BE_ERR initRc = 1;
    BE_ERR encodeRc = 0;
    BE_ERR deinitRc = 0;
    BE_ERR closeRc = 0;
    BE_ERR finishRc = 0;
    uint32_t bufferSize = 0;
    uint64_t bytesWritten = 0;
    bool ok() const { return initRc == 0 && encodeRc == 0 && deinitRc == 0 && closeRc == 0; }
};

/// Encodes `pcm` (16-bit values, or 8-bit bytes when bits is 8) into `path` with the call
/// sequence of the program: init with the file descriptor and tag record on entry, chunks,
/// deinit, the caller's writes, close, info tag.
EncodeResult encodeFile(const PluginLibrary& lib, const BeConfig& config,
                        const std::vector<uint8_t>& pcm, const std::string& path,
                        const EncodeOptions& options = {});

/// Interleaved 16-bit tones: channel c at `hz` * (1 + c / 2), amplitude `amp`, as bytes.
std::vector<uint8_t> toneBytes(uint32_t rate, int channels, double seconds, double hz = 440.0,
                               double amp = 12000.0);
std::vector<int16_t> toInt16(const std::vector<uint8_t>& bytes);

/// What ffprobe reads of a file.
struct ProbeInfo {
    bool ok = false;
    std::string codec;
    uint32_t rate = 0;
    int channels = 0;
    double duration = -1.0;
};
/// Through FFmpeg's libraries in this process (what ffprobe reports, without a process each).
ProbeInfo probe(const std::string& path);
/// Through the ffprobe program.
ProbeInfo probeWithTool(const std::string& path);

/// Decodes `path` with FFmpeg's libraries to interleaved 16-bit values (the file's own rate and
/// channels). The gapless trimming of MP3 matches the ffmpeg program's.
std::vector<int16_t> decodeWithFfmpeg(const std::string& path);
/// The same through the ffmpeg program.
std::vector<int16_t> decodeWithTool(const std::string& path);

/// Largest normalised correlation of channel `channel` of `decoded` against `reference` over
/// the lags -maxLag..maxLag (frames), measured on the middle of the reference.
double bestCorrelation(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded,
                       int channels, int channel, int maxLag);

} // namespace betest
