#include "be_harness.h"

#include "test_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace betest {

PluginLibrary::PluginLibrary(const std::string& fileName) {
    const std::string path = testsupport::binDir() + "/" + fileName;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        return;
    }
    init = reinterpret_cast<BEINITSTREAM>(dlsym(handle_, "beInitStream"));
    encode = reinterpret_cast<BEENCODECHUNK>(dlsym(handle_, "beEncodeChunk"));
    deinit = reinterpret_cast<BEDEINITSTREAM>(dlsym(handle_, "beDeinitStream"));
    close = reinterpret_cast<BECLOSESTREAM>(dlsym(handle_, "beCloseStream"));
    version = reinterpret_cast<BEVERSION>(dlsym(handle_, "beVersion"));
    writeVbrHeader = reinterpret_cast<BEWRITEVBRHEADER>(dlsym(handle_, "beWriteVBRHeader"));
    writeInfoTag = reinterpret_cast<BEWRITEINFOTAG>(dlsym(handle_, "beWriteInfoTag"));
}

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

BeConfig makeConfig(uint32_t rate, int channels, uint32_t kbps, int bits) {
    BeConfig c;
    std::memset(&c, 0, sizeof c);
    c.config = BE_CONFIG_LAME;
    c.structVersion = 1;
    c.structSize = BE_CONFIG_SIZE;
    c.sampleRate = rate;
    c.resampleRate = 0;
    c.mode = channels == 1 ? BE_MP3_MODE_MONO : BE_MP3_MODE_STEREO;
    c.bitrate = kbps;
    c.preset = 2;
    c.mpegVersion = (rate == 32000 || rate == 44100 || rate == 48000) ? 1 : 0;
    c.original = 1;
    c.writeVbrHeader = 1;
    c.noReservoir = 1;
    c.quality = 10;
    c.bitsPerSample = bits == 8 ? 8 : 0;
    return c;
}

BeId3v1Tag makeTag() {
    BeId3v1Tag t;
    std::memset(&t, ' ', sizeof t);
    std::memcpy(t.tag, "TAG", 3);
    t.zero = 0;
    t.track = 1;
    t.genre = 0;
    return t;
}

EncodeResult encodeFile(const PluginLibrary& lib, const BeConfig& config,
                        const std::vector<uint8_t>& pcm, const std::string& path,
                        const EncodeOptions& options) {
    EncodeResult r;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return r;
    }
    BeConfig cfg = config;
    BeId3v1Tag tag = makeTag();
    uint32_t samples = 0;
    uint32_t bufferSize = static_cast<uint32_t>(fd);
    HBE_STREAM stream = reinterpret_cast<HBE_STREAM>(&tag);
    r.initRc = lib.init(&cfg, &samples, &bufferSize, &stream);
    if (r.initRc != 0 || stream == 0) {
        ::close(fd);
        return r;
    }
    r.bufferSize = bufferSize;
    std::vector<uint8_t> out(bufferSize);
    const size_t bytesPerValue = cfg.bitsPerSample == 8 ? 1 : 2;
    const size_t totalValues = pcm.size() / bytesPerValue;
    size_t maxPiece = bufferSize / bytesPerValue;
    if (options.pieceValues != 0) {
        maxPiece = std::min<size_t>(maxPiece, options.pieceValues);
    }
    auto writeAll = [&](uint32_t n) {
        if (n > 0 && ::write(fd, out.data(), n) != static_cast<ssize_t>(n)) {
            return false;
        }
        r.bytesWritten += n;
        return true;
    };
    // A copy one byte further on when the values must start at an odd address.
    std::vector<uint8_t> shifted;
    const uint8_t* values = pcm.data();
    if (options.misaligned) {
        shifted.assign(pcm.size() + 1, 0);
        std::copy(pcm.begin(), pcm.end(), shifted.begin() + 1);
        values = shifted.data() + 1;
    }
    for (size_t at = 0; at < totalValues && r.encodeRc == 0;) {
        const size_t piece = std::min(maxPiece, totalValues - at);
        uint32_t written = 0;
        r.encodeRc = lib.encode(stream, static_cast<uint32_t>(piece), values + at * bytesPerValue,
                                out.data(), &written);
        if (r.encodeRc == 0 && !writeAll(written)) {
            r.encodeRc = 0xFFFF;
        }
        at += piece;
    }
    if (r.encodeRc == 0) {
        uint32_t written = 0;
        r.deinitRc = lib.deinit(stream, out.data(), &written);
        if (r.deinitRc == 0 && !writeAll(written)) {
            r.deinitRc = 0xFFFF;
        }
    }
    r.closeRc = lib.close(stream);
    if (r.ok()) {
        if (options.useInfoTag && lib.writeInfoTag != nullptr) {
            r.finishRc = lib.writeInfoTag(stream, path.c_str());
        } else {
            r.finishRc = lib.writeVbrHeader(path.c_str());
        }
    }
    ::close(fd);
    return r;
}

std::vector<uint8_t> toneBytes(uint32_t rate, int channels, double seconds, double hz, double amp) {
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<uint8_t> bytes;
    bytes.reserve(frames * static_cast<size_t>(channels) * 2);
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double f = hz * (1.0 + c / 2.0);
            const auto v = static_cast<int16_t>(
                std::lround(amp * std::sin(2.0 * M_PI * f * static_cast<double>(i) / rate)));
            const auto u = static_cast<uint16_t>(v);
            bytes.push_back(static_cast<uint8_t>(u & 0xFF));
            bytes.push_back(static_cast<uint8_t>(u >> 8));
        }
    }
    return bytes;
}

std::vector<int16_t> toInt16(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> v(bytes.size() / 2);
    std::memcpy(v.data(), bytes.data(), v.size() * 2);
    return v;
}

ProbeInfo probeWithTool(const std::string& path) {
    ProbeInfo info;
    const auto r = testsupport::runCommand(
        std::string(MIRELDO_FFPROBE_EXE) +
        " -v error -show_entries stream=codec_name,sample_rate,channels:format=duration"
        " -of default=noprint_wrappers=1 " +
        testsupport::shellQuote(path));
    if (r.exitCode != 0) {
        return info;
    }
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "codec_name") {
            info.codec = value;
        } else if (key == "sample_rate") {
            info.rate = static_cast<uint32_t>(std::stoul(value));
        } else if (key == "channels") {
            info.channels = std::stoi(value);
        } else if (key == "duration" && value != "N/A") {
            info.duration = std::stod(value);
        }
    }
    info.ok = !info.codec.empty();
    return info;
}

std::vector<int16_t> decodeWithTool(const std::string& path) {
    const auto r =
        testsupport::runCommand(std::string(MIRELDO_FFMPEG_EXE) + " -v error -i " +
                                testsupport::shellQuote(path) + " -f s16le -acodec pcm_s16le -");
    std::vector<int16_t> v(r.output.size() / 2);
    std::memcpy(v.data(), r.output.data(), v.size() * 2);
    return v;
}

double bestCorrelation(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded,
                       int channels, int channel, int maxLag) {
    const auto refFrames = static_cast<long>(reference.size() / static_cast<size_t>(channels));
    const auto decFrames = static_cast<long>(decoded.size() / static_cast<size_t>(channels));
    // The middle half of the reference, away from the encoders' start and end transients.
    const long from = refFrames / 4;
    const long to = std::min(refFrames * 3 / 4, from + 2048);
    double best = -1.0;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        if (from + lag < 0 || to + lag > decFrames) {
            continue;
        }
        double xy = 0;
        double xx = 0;
        double yy = 0;
        for (long i = from; i < to; ++i) {
            const double x = reference[static_cast<size_t>(i * channels + channel)];
            const double y = decoded[static_cast<size_t>((i + lag) * channels + channel)];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        if (xx > 0 && yy > 0) {
            best = std::max(best, xy / std::sqrt(xx * yy));
        }
    }
    return best;
}

namespace {

struct InputCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};

/// Opens `path` with libavformat and finds its first audio stream; -1 when none.
int openInput(const std::string& path, std::unique_ptr<AVFormatContext, InputCloser>& input) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return -1;
    }
    input.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        return -1;
    }
    return av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
}

void appendFrame(const AVFrame* frame, int channels, std::vector<int16_t>& out) {
    const auto fmt = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(fmt) != 0;
    for (int i = 0; i < frame->nb_samples; ++i) {
        for (int c = 0; c < channels; ++c) {
            const int plane = planar ? c : 0;
            const int index = planar ? i : i * channels + c;
            double v = 0;
            switch (av_get_packed_sample_fmt(fmt)) {
            case AV_SAMPLE_FMT_FLT:
                v = reinterpret_cast<const float*>(frame->extended_data[plane])[index] * 32768.0;
                break;
            case AV_SAMPLE_FMT_S16:
                v = reinterpret_cast<const int16_t*>(frame->extended_data[plane])[index];
                break;
            case AV_SAMPLE_FMT_S32:
                v = reinterpret_cast<const int32_t*>(frame->extended_data[plane])[index] / 65536.0;
                break;
            default:
                return;
            }
            out.push_back(static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L)));
        }
    }
}

} // namespace

ProbeInfo probe(const std::string& path) {
    ProbeInfo info;
    std::unique_ptr<AVFormatContext, InputCloser> input;
    const int index = openInput(path, input);
    if (index < 0) {
        return info;
    }
    const AVCodecParameters* par = input->streams[index]->codecpar;
    info.codec = avcodec_get_name(par->codec_id);
    info.rate = static_cast<uint32_t>(par->sample_rate);
    info.channels = par->ch_layout.nb_channels;
    if (input->duration != AV_NOPTS_VALUE) {
        info.duration = static_cast<double>(input->duration) / AV_TIME_BASE;
    }
    info.ok = true;
    return info;
}

std::vector<int16_t> decodeWithFfmpeg(const std::string& path) {
    std::vector<int16_t> out;
    std::unique_ptr<AVFormatContext, InputCloser> input;
    const int index = openInput(path, input);
    if (index < 0) {
        return out;
    }
    const AVCodecParameters* par = input->streams[index]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    std::unique_ptr<AVCodecContext, CodecCloser> ctx(avcodec_alloc_context3(decoder));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), par) < 0 ||
        avcodec_open2(ctx.get(), decoder, nullptr) < 0) {
        return out;
    }
    const int channels = par->ch_layout.nb_channels;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(ctx.get(), frame) >= 0) {
            appendFrame(frame, channels, out);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(input.get(), packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(ctx.get(), packet) >= 0) {
            drain();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(ctx.get(), nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    return out;
}

} // namespace betest
