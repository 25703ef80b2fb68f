#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mpeg_audio_decoder.h"

namespace mpeg_test {

/// Whole file as bytes; empty when it cannot be read.
std::vector<uint8_t> readFile(const std::filesystem::path& path);

/// 16-bit little-endian samples of a raw PCM file.
std::vector<int16_t> readPcm(const std::filesystem::path& path);

/// Result of decoding a whole elementary stream frame by frame.
struct DecodedStream {
    std::vector<int16_t> samples; ///< interleaved, each frame with its own channel count
    int channels = 0;             ///< of the first frame
    int sampleRate = 0;
    int frames = 0;
    int samplesPerFrame = 0; ///< per channel, of the first frame
};

/// Walks the MPEG frames of bytes (sync search, header parse, step by the frame length) and
/// decodes each through one MpegAudioDecoder, as the stream reader will.
DecodedStream decodeStream(const std::vector<uint8_t>& bytes);

/// Comparison of a decoded signal with a reference over their overlap.
struct Comparison {
    double psnr = 0.0; ///< dB, against a peak of 32767
    int maxDiff = 0;
    long offset = 0; ///< reference index of our first sample
    std::size_t compared = 0;
};

/// Aligns ours against ref by a shift of whole frames (framesamples interleaved samples, up to
/// +-maxShift frames) and compares the overlap.
Comparison compareAligned(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref,
                          std::size_t frameSamples, int maxShift);

/// Compares two equal-length signals from the given offsets.
Comparison compare(const std::vector<double>& a, const std::vector<double>& b);

/// Low-pass filters both signals over their aligned overlap (windowed sinc per channel, cutoff
/// as a fraction of the Nyquist frequency) and compares them, leaving out the filter's length
/// at both ends of the overlap.
Comparison compareLowPassed(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref,
                            const Comparison& alignment, int channels, double cutoff);

/// The part of x above the cutoff (x minus its low-passed self): psnr and maxDiff describe its
/// RMS (as PSNR against 32767) and its peak.
Comparison highBand(const std::vector<int16_t>& x, int channels, double cutoff);

/// RMS from a PSNR against a peak of 32767.
double rmsFromPsnr(double psnr);

} // namespace mpeg_test
