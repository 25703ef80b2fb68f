#include "mpeg_test_util.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <numbers>

namespace mpeg_test {

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<int16_t> readPcm(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = readFile(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return samples;
}

DecodedStream decodeStream(const std::vector<uint8_t>& bytes) {
    DecodedStream result;
    sondrel::MpegAudioDecoder decoder;
    decoder.Reset();
    bool initialised = false;
    std::vector<int16_t> pcm(1152 * 2);
    std::size_t offset = 0;
    while (offset + 4 <= bytes.size()) {
        if (bytes[offset] != 0xFF || (bytes[offset + 1] & 0xE0) != 0xE0) {
            ++offset;
            continue;
        }
        // The header parser wants a window of at least 156 bytes; pad the file's tail.
        std::vector<uint8_t> frame(bytes.begin() + static_cast<long>(offset), bytes.end());
        if (frame.size() < sondrel::kMpegMinParseLength) {
            frame.resize(sondrel::kMpegMinParseLength, 0);
        }
        sondrel::MpegFrameInfo info;
        if (decoder.ParseHeader(frame, info, false) != 0) {
            ++offset;
            continue;
        }
        const uint32_t length = sondrel::MpegAudioDecoder::FrameBytes(info);
        if (length == 0 || offset + length > bytes.size()) {
            break;
        }
        if (!initialised) {
            decoder.Init(frame);
            result.channels = info.channels;
            result.sampleRate = info.sampleRate;
            result.samplesPerFrame = info.outputBytes / 2 / info.channels;
            initialised = true;
        }
        sondrel::MpegDecodeRequest request;
        request.header = info;
        request.input = std::span<const uint8_t>(frame).first(length);
        request.output = pcm;
        if (decoder.Decode(request) == 0) {
            // Frames are appended as coded: a stream that switches between mono and stereo
            // yields each frame's own channel count, as the reference output does.
            const std::size_t count = request.outputLength / 2;
            result.samples.insert(result.samples.end(), pcm.begin(),
                                  pcm.begin() + static_cast<long>(count));
            ++result.frames;
        }
        offset += length;
    }
    return result;
}

Comparison compare(const std::vector<double>& a, const std::vector<double>& b) {
    Comparison c;
    const std::size_t n = std::min(a.size(), b.size());
    double sum = 0.0;
    double worst = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = a[i] - b[i];
        sum += d * d;
        worst = std::max(worst, std::fabs(d));
    }
    c.compared = n;
    c.maxDiff = static_cast<int>(std::lround(worst));
    const double mse = n ? sum / static_cast<double>(n) : 0.0;
    c.psnr = mse > 0.0 ? 10.0 * std::log10(32767.0 * 32767.0 / mse) : 200.0;
    return c;
}

Comparison compareAligned(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref,
                          std::size_t frameSamples, int maxShift) {
    Comparison best;
    best.psnr = -std::numeric_limits<double>::infinity();
    for (int shift = -maxShift; shift <= maxShift; ++shift) {
        // Our sample i corresponds to reference sample i + offset.
        const long offset = static_cast<long>(shift) * static_cast<long>(frameSamples);
        const long oursBegin = offset < 0 ? -offset : 0;
        const long refBegin = offset < 0 ? 0 : offset;
        const long count = std::min(static_cast<long>(ours.size()) - oursBegin,
                                    static_cast<long>(ref.size()) - refBegin);
        if (count <= 0) {
            continue;
        }
        double sum = 0.0;
        int worst = 0;
        for (long i = 0; i < count; ++i) {
            const int d = ours[static_cast<std::size_t>(oursBegin + i)] -
                          ref[static_cast<std::size_t>(refBegin + i)];
            sum += static_cast<double>(d) * d;
            worst = std::max(worst, std::abs(d));
        }
        const double mse = sum / static_cast<double>(count);
        const double psnr = mse > 0.0 ? 10.0 * std::log10(32767.0 * 32767.0 / mse) : 200.0;
        if (psnr > best.psnr) {
            best.psnr = psnr;
            best.maxDiff = worst;
            best.offset = offset;
            best.compared = static_cast<std::size_t>(count);
        }
    }
    return best;
}

namespace {

constexpr int kLowPassTaps = 511;

std::vector<double> lowPassTaps(double cutoff) {
    constexpr int kHalf = kLowPassTaps / 2;
    std::vector<double> taps(kLowPassTaps);
    double gain = 0.0;
    for (int n = 0; n < kLowPassTaps; ++n) {
        const double m = n - kHalf;
        const double sinc =
            m == 0 ? cutoff : std::sin(std::numbers::pi * cutoff * m) / (std::numbers::pi * m);
        const double phase = 2 * std::numbers::pi * n / (kLowPassTaps - 1);
        const double blackman = 0.42 - 0.5 * std::cos(phase) + 0.08 * std::cos(2 * phase);
        taps[static_cast<std::size_t>(n)] = sinc * blackman;
        gain += taps[static_cast<std::size_t>(n)];
    }
    for (double& t : taps) {
        t /= gain;
    }
    return taps;
}

// Filtered frames [kHalf, frames - kHalf) of the segment starting at begin (interleaved index).
std::vector<double> filterSegment(const std::vector<int16_t>& x, std::size_t begin,
                                  std::size_t frames, int channels,
                                  const std::vector<double>& taps) {
    constexpr std::size_t kHalf = kLowPassTaps / 2;
    const auto ch = static_cast<std::size_t>(channels);
    std::vector<double> out;
    if (frames <= 2 * kHalf) {
        return out;
    }
    out.reserve((frames - 2 * kHalf) * ch);
    for (std::size_t f = kHalf; f < frames - kHalf; ++f) {
        for (std::size_t c = 0; c < ch; ++c) {
            double sum = 0.0;
            for (std::size_t n = 0; n < taps.size(); ++n) {
                sum += taps[n] * x[begin + (f + n - kHalf) * ch + c];
            }
            out.push_back(sum);
        }
    }
    return out;
}

} // namespace

Comparison compareLowPassed(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref,
                            const Comparison& alignment, int channels, double cutoff) {
    const std::vector<double> taps = lowPassTaps(cutoff);
    const std::size_t oursBegin =
        alignment.offset < 0 ? static_cast<std::size_t>(-alignment.offset) : 0;
    const std::size_t refBegin =
        alignment.offset < 0 ? 0 : static_cast<std::size_t>(alignment.offset);
    const std::size_t frames = alignment.compared / static_cast<std::size_t>(channels);
    return compare(filterSegment(ours, oursBegin, frames, channels, taps),
                   filterSegment(ref, refBegin, frames, channels, taps));
}

Comparison highBand(const std::vector<int16_t>& x, int channels, double cutoff) {
    const auto frames = x.size() / static_cast<std::size_t>(channels);
    return compare(filterSegment(x, 0, frames, channels, lowPassTaps(1.0)),
                   filterSegment(x, 0, frames, channels, lowPassTaps(cutoff)));
}

double rmsFromPsnr(double psnr) {
    return 32767.0 / std::pow(10.0, psnr / 20.0);
}

} // namespace mpeg_test
