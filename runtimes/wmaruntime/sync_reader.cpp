#include "sync_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <fstream>

namespace wmaruntime {
namespace {

constexpr int64_t kUnitsPerSecond = 10'000'000; // 100-ns units
constexpr AVRational kTimeBase100ns{1, 10'000'000};
// Channels and rates beyond these are not audio this runtime hands out.
constexpr int kMaxChannels = 8;
constexpr int kMaxRate = 384'000;
// Frames decoded and thrown away before a range start after a seek: the decoder rebuilds its
// overlap and bit-reservoir state from them.
constexpr int64_t kPrerollGrids = 4;

void putLe(uint8_t* out, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// Frame length of the WMA version 1 and 2 codecs: every decoded frame is a multiple of it.
int64_t wmaFrameLength(AVCodecID codec, int rate) {
    if (codec != AV_CODEC_ID_WMAV1 && codec != AV_CODEC_ID_WMAV2) {
        return 0;
    }
    if (rate <= 16000) {
        return 512;
    }
    if (rate <= 22050 || (rate <= 32000 && codec == AV_CODEC_ID_WMAV1)) {
        return 1024;
    }
    return 2048;
}

} // namespace

Sample::Sample(std::vector<uint8_t> pcm) : WmrSample{&kSampleFunctions}, bytes(std::move(pcm)) {}

void SyncReader::FormatCloser::operator()(AVFormatContext* c) const {
    avformat_close_input(&c);
}
void SyncReader::CodecCloser::operator()(AVCodecContext* c) const {
    avcodec_free_context(&c);
}
void SyncReader::SwrCloser::operator()(SwrContext* c) const {
    swr_free(&c);
}
void SyncReader::FrameCloser::operator()(AVFrame* f) const {
    av_frame_free(&f);
}
void SyncReader::PacketCloser::operator()(AVPacket* p) const {
    av_packet_free(&p);
}

SyncReader::SyncReader() : WmrSyncReader{&kReaderFunctions} {}

SyncReader::~SyncReader() = default;

int32_t SyncReader::open(const char* path) {
    if (path == nullptr || *path == '\0') {
        return WMR_E_INVALIDARG;
    }
    if (isOpen()) {
        close();
    }
    path_ = path;
    const int32_t code = openDemuxer();
    if (code != WMR_OK) {
        close();
    }
    return code;
}

int32_t SyncReader::openDemuxer() {
    format_.reset();
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!frame_ || !packet_) {
        return WMR_E_OUTOFMEMORY;
    }
    // Only ASF is read, only from the local file: the "file:" prefix keeps a name that looks like
    // a protocol ("pipe:", "http:") a file name, and the whitelist refuses everything else.
    const AVInputFormat* asf = av_find_input_format("asf");
    if (asf == nullptr) {
        return WMR_E_FAIL;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* context = nullptr;
    const std::string url = "file:" + path_;
    const int result = avformat_open_input(&context, url.c_str(), asf, &options);
    av_dict_free(&options);
    if (result < 0) {
        return result == AVERROR(ENOMEM) ? WMR_E_OUTOFMEMORY : WMR_E_INVALID_FILE;
    }
    format_.reset(context);
    if (format_->nb_streams == 0) {
        return WMR_E_INVALID_FILE;
    }
    // The header describes every stream; no packets are read ahead to guess more.
    inputDone_ = false;
    ended_ = false;
    next_ = 0;
    positionKnown_ = true;
    return WMR_OK;
}

int32_t SyncReader::close() {
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    swr_.reset();
    codec_.reset();
    format_.reset();
    frame_.reset();
    packet_.reset();
    selected_ = -1;
    pcm_ = OutputPcm{};
    grid_ = 0;
    firstTimestamp_ = INT64_MIN;
    rangeStart_ = 0;
    rangeEnd_ = INT64_MAX;
    swrChannels_ = 0;
    swrInputFormat_ = -1;
    return WMR_OK;
}

uint16_t SyncReader::numberOfStream(int index) const {
    const int id = format_->streams[index]->id;
    return (id >= 1 && id <= 127) ? static_cast<uint16_t>(id) : static_cast<uint16_t>(index + 1);
}

int SyncReader::indexOfStream(uint16_t streamNumber) const {
    if (!isOpen()) {
        return -1;
    }
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        if (numberOfStream(static_cast<int>(i)) == streamNumber) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool SyncReader::describeAudio(int index, OutputPcm& pcm) const {
    const AVCodecParameters* par = format_->streams[index]->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_AUDIO || avcodec_find_decoder(par->codec_id) == nullptr) {
        return false;
    }
    const int channels = par->ch_layout.nb_channels;
    if (channels < 1 || channels > kMaxChannels || par->sample_rate < 1 ||
        par->sample_rate > kMaxRate) {
        return false;
    }
    pcm.channels = static_cast<uint16_t>(channels);
    pcm.rate = static_cast<uint32_t>(par->sample_rate);
    pcm.bits = par->codec_id == AV_CODEC_ID_PCM_U8 ? 8 : 16;
    return true;
}

int32_t SyncReader::attribute(uint16_t streamNumber, const char* name, uint32_t* typeOut,
                              uint8_t* value, uint16_t* lengthInOut) {
    if (name == nullptr || typeOut == nullptr || lengthInOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    if (streamNumber != 0) {
        return WMR_E_NOT_FOUND;
    }
    uint64_t number = 0;
    uint32_t type = 0;
    uint16_t length = 0;
    if (std::strcmp(name, "Duration") == 0) {
        // The longest stream duration the header declares. A file without one (a live
        // broadcast, a header that disagrees with the file's size) has no duration.
        int64_t longest = 0;
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            const AVStream* st = format_->streams[i];
            if (st->duration != AV_NOPTS_VALUE && st->duration > 0 && st->time_base.num > 0 &&
                st->time_base.den > 0) {
                longest =
                    std::max(longest, av_rescale_q(st->duration, st->time_base, kTimeBase100ns));
            }
        }
        if (longest <= 0) {
            return WMR_E_NOT_FOUND;
        }
        number = static_cast<uint64_t>(longest);
        type = WMR_TYPE_QWORD;
        length = 8;
    } else if (std::strcmp(name, "PlayableDuration") == 0) {
        int64_t frames = -1;
        int64_t rate = 0;
        for (unsigned i = 0; i < format_->nb_streams && frames < 0; ++i) {
            OutputPcm pcm;
            if (describeAudio(static_cast<int>(i), pcm)) {
                frames = playableFrames(static_cast<int>(i));
                rate = pcm.rate;
            }
        }
        if (frames <= 0 || rate <= 0) {
            return WMR_E_NOT_FOUND;
        }
        // Rounded up, so that a host truncating it back to frames gets the same count.
        number = static_cast<uint64_t>(av_rescale_rnd(frames, kUnitsPerSecond, rate, AV_ROUND_UP));
        type = WMR_TYPE_QWORD;
        length = 8;
    } else if (std::strcmp(name, "Bitrate") == 0) {
        // The sum of the bit rates the streams declare.
        uint64_t sum = 0;
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            const int64_t rate = format_->streams[i]->codecpar->bit_rate;
            if (rate > 0) {
                sum += static_cast<uint64_t>(std::min<int64_t>(rate, UINT32_MAX));
            }
        }
        if (sum == 0) {
            return WMR_E_NOT_FOUND;
        }
        number = std::min<uint64_t>(sum, UINT32_MAX);
        type = WMR_TYPE_DWORD;
        length = 4;
    } else {
        return WMR_E_NOT_FOUND;
    }
    *typeOut = type;
    if (value == nullptr) {
        *lengthInOut = length;
        return WMR_OK;
    }
    if (*lengthInOut < length) {
        *lengthInOut = length;
        return WMR_E_BUFFER_TOO_SMALL;
    }
    putLe(value, number, length);
    *lengthInOut = length;
    return WMR_OK;
}

bool SyncReader::cutShort() const {
    // The header object's file properties declare the file's size in bytes.
    static const uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    static const uint8_t kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                    0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    std::ifstream in(path_, std::ios::binary);
    std::vector<uint8_t> head(64 * 1024);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    auto le64 = [&head](size_t at) {
        uint64_t v = 0;
        for (size_t i = 0; i < 8; ++i) {
            v |= uint64_t{head[at + i]} << (8 * i);
        }
        return v;
    };
    if (head.size() < 30 || std::memcmp(head.data(), kHeaderGuid, 16) != 0) {
        return false;
    }
    for (size_t at = 30; at + 24 <= head.size();) {
        const uint64_t size = le64(at + 16);
        if (std::memcmp(head.data() + at, kFilePropertiesGuid, 16) == 0) {
            if (at + 48 > head.size()) {
                return false;
            }
            const int64_t actual = avio_size(format_->pb);
            return actual > 0 && le64(at + 40) > static_cast<uint64_t>(actual);
        }
        if (size < 24 || size > head.size() - at) {
            return false;
        }
        at += static_cast<size_t>(size);
    }
    return false;
}

int64_t SyncReader::scanPacketFrames(int index) const {
    const AVInputFormat* asf = av_find_input_format("asf");
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* raw = nullptr;
    const std::string url = "file:" + path_;
    const int opened = avformat_open_input(&raw, url.c_str(), asf, &options);
    av_dict_free(&options);
    if (opened < 0) {
        return -1;
    }
    std::unique_ptr<AVFormatContext, FormatCloser> scan(raw);
    if (static_cast<unsigned>(index) >= scan->nb_streams) {
        return -1;
    }
    for (unsigned i = 0; i < scan->nb_streams; ++i) {
        scan->streams[i]->discard =
            static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    const AVStream* st = scan->streams[index];
    const int rate = st->codecpar->sample_rate;
    const int blockAlign = st->codecpar->block_align;
    const int64_t grid = wmaFrameLength(st->codecpar->codec_id, rate);
    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    if (!packet || rate <= 0 || st->time_base.num <= 0 || st->time_base.den <= 0) {
        return -1;
    }
    int64_t frames = 0;
    while (av_read_frame(scan.get(), packet.get()) >= 0) {
        // A packet the file's end cut through is refused by the decoder: it counts for nothing.
        if (packet->stream_index == index && packet->duration > 0 &&
            (blockAlign <= 0 || packet->size >= blockAlign)) {
            int64_t n = av_rescale_q_rnd(packet->duration, st->time_base, AVRational{1, rate},
                                         AV_ROUND_NEAR_INF);
            if (grid > 0) {
                // Time stamps are rounded to milliseconds; the codec works in whole frames.
                n = std::max<int64_t>((n + grid / 2) / grid, 1) * grid;
            }
            frames += n;
        }
        av_packet_unref(packet.get());
    }
    return frames;
}

int64_t SyncReader::playableFrames(int index) const {
    const AVStream* st = format_->streams[index];
    const int rate = st->codecpar->sample_rate;
    if (rate <= 0) {
        return -1;
    }
    int64_t frames = -1;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0 && st->time_base.num > 0 &&
        st->time_base.den > 0 && !cutShort()) {
        frames =
            av_rescale_q_rnd(st->duration, st->time_base, AVRational{1, rate}, AV_ROUND_NEAR_INF);
    } else {
        frames = scanPacketFrames(index);
    }
    const int64_t grid = wmaFrameLength(st->codecpar->codec_id, rate);
    if (frames > 0 && grid > 0) {
        // The header counts whole codec frames (its time stamps rounded to milliseconds); the
        // decoder's output starts one frame late, as its first frame only fills the overlap.
        frames = (frames + grid / 2) / grid * grid - grid;
    }
    return frames;
}

int32_t SyncReader::outputCount(uint32_t* countOut) const {
    if (countOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    *countOut = format_->nb_streams;
    return WMR_OK;
}

int32_t SyncReader::streamCount(uint32_t* countOut) const {
    return outputCount(countOut);
}

int32_t SyncReader::stream(uint32_t index, uint16_t* streamNumberOut, WmrGuid* majorTypeOut) const {
    if (streamNumberOut == nullptr || majorTypeOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    if (index >= format_->nb_streams) {
        return WMR_E_NOT_FOUND;
    }
    *streamNumberOut = numberOfStream(static_cast<int>(index));
    switch (format_->streams[index]->codecpar->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        *majorTypeOut = WMR_MEDIATYPE_Audio;
        break;
    case AVMEDIA_TYPE_VIDEO:
        *majorTypeOut = WMR_MEDIATYPE_Video;
        break;
    default:
        *majorTypeOut = WmrGuid{};
        break;
    }
    return WMR_OK;
}

int32_t SyncReader::streamForOutput(uint32_t output, uint16_t* streamNumberOut) const {
    if (streamNumberOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    if (output >= format_->nb_streams) {
        return WMR_E_NOT_FOUND;
    }
    *streamNumberOut = numberOfStream(static_cast<int>(output));
    return WMR_OK;
}

int32_t SyncReader::outputFormat(uint32_t output, uint32_t formatIndex,
                                 WmrMediaType* typeOut) const {
    if (typeOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    if (output >= format_->nb_streams || formatIndex != 0) {
        return WMR_E_NOT_FOUND;
    }
    *typeOut = WmrMediaType{};
    uint16_t number = 0;
    stream(output, &number, &typeOut->majorType);
    if (format_->streams[output]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
        return WMR_OK;
    }
    OutputPcm pcm;
    if (!describeAudio(static_cast<int>(output), pcm)) {
        return WMR_E_UNSUPPORTED;
    }
    const uint32_t blockAlign = uint32_t{pcm.channels} * pcm.bits / 8u;
    uint8_t* f = typeOut->format;
    putLe(f + 0, 1, 2); // PCM
    putLe(f + 2, pcm.channels, 2);
    putLe(f + 4, pcm.rate, 4);
    putLe(f + 8, uint64_t{pcm.rate} * blockAlign, 4);
    putLe(f + 12, blockAlign, 2);
    putLe(f + 14, pcm.bits, 2);
    putLe(f + 16, 0, 2);
    typeOut->formatSize = 18;
    return WMR_OK;
}

int32_t SyncReader::openDecoder() {
    swr_.reset();
    codec_.reset();
    swrChannels_ = 0;
    swrInputFormat_ = -1;
    const AVCodecParameters* par = format_->streams[selected_]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (decoder == nullptr) {
        return WMR_E_UNSUPPORTED;
    }
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_) {
        return WMR_E_OUTOFMEMORY;
    }
    if (avcodec_parameters_to_context(codec_.get(), par) < 0 ||
        avcodec_open2(codec_.get(), decoder, nullptr) < 0) {
        codec_.reset();
        return WMR_E_UNSUPPORTED;
    }
    // Everything else in the file is dropped by the demuxer, not read and thrown away here.
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        format_->streams[i]->discard =
            static_cast<int>(i) == selected_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    return WMR_OK;
}

int32_t SyncReader::selectStream(uint16_t streamNumber, bool selected) {
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    const int index = indexOfStream(streamNumber);
    if (index < 0) {
        return WMR_E_NOT_FOUND;
    }
    if (!selected) {
        if (index == selected_) {
            codec_.reset();
            swr_.reset();
            selected_ = -1;
        }
        return WMR_OK;
    }
    OutputPcm pcm;
    if (!describeAudio(index, pcm)) {
        return WMR_E_UNSUPPORTED;
    }
    selected_ = index;
    pcm_ = pcm;
    grid_ = wmaFrameLength(format_->streams[index]->codecpar->codec_id,
                           format_->streams[index]->codecpar->sample_rate);
    firstTimestamp_ = INT64_MIN;
    // Delivery starts over from the beginning of the newly selected stream.
    const int32_t code = rewind();
    if (code != WMR_OK) {
        selected_ = -1;
    }
    return code;
}

int32_t SyncReader::setReadCompressed(uint16_t streamNumber, bool compressed) {
    if (!isOpen()) {
        return WMR_E_UNEXPECTED;
    }
    if (indexOfStream(streamNumber) < 0) {
        return WMR_E_NOT_FOUND;
    }
    return compressed ? WMR_E_UNSUPPORTED : WMR_OK;
}

int32_t SyncReader::rewind() {
    const int selected = selected_;
    if (const int32_t code = openDemuxer(); code != WMR_OK) {
        return code;
    }
    if (selected < 0 || static_cast<unsigned>(selected) >= format_->nb_streams) {
        return WMR_E_FAIL;
    }
    selected_ = selected;
    return openDecoder();
}

bool SyncReader::decodeFrame() {
    if (!codec_) {
        return false;
    }
    for (;;) {
        const int received = avcodec_receive_frame(codec_.get(), frame_.get());
        if (received == 0) {
            return true;
        }
        if (received != AVERROR(EAGAIN) || inputDone_) {
            return false;
        }
        if (av_read_frame(format_.get(), packet_.get()) < 0) {
            // End of the file (or an unreadable rest): let the decoder give out what it holds.
            avcodec_send_packet(codec_.get(), nullptr);
            inputDone_ = true;
            continue;
        }
        if (packet_->stream_index == selected_) {
            // A damaged packet is skipped; decoding goes on with the next one.
            avcodec_send_packet(codec_.get(), packet_.get());
        }
        av_packet_unref(packet_.get());
    }
}

int64_t SyncReader::positionFromTimestamp() const {
    const int64_t ts = frame_->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE || firstTimestamp_ == INT64_MIN) {
        return -1;
    }
    const AVRational tb = format_->streams[selected_]->time_base;
    if (tb.num <= 0 || tb.den <= 0) {
        return -1;
    }
    int64_t frames = av_rescale_q_rnd(ts - firstTimestamp_, tb, AVRational{1, int(pcm_.rate)},
                                      AV_ROUND_NEAR_INF);
    if (grid_ > 0) {
        frames = (frames + grid_ / 2) / grid_ * grid_;
    }
    return frames;
}

int64_t SyncReader::framesFromTime(uint64_t time100ns) const {
    // Nearest frame: the caller's time may have been truncated from a frame position.
    const uint64_t seconds = time100ns / kUnitsPerSecond;
    const uint64_t rest = time100ns % kUnitsPerSecond;
    if (pcm_.rate != 0 && seconds > static_cast<uint64_t>(INT64_MAX / 4) / pcm_.rate) {
        return INT64_MAX / 4;
    }
    const uint64_t whole = seconds * pcm_.rate;
    return static_cast<int64_t>(whole + (rest * pcm_.rate + kUnitsPerSecond / 2) / kUnitsPerSecond);
}

uint64_t SyncReader::timeFromFrames(int64_t frames) const {
    return pcm_.rate == 0 ? 0
                          : static_cast<uint64_t>(av_rescale(frames, kUnitsPerSecond, pcm_.rate));
}

int32_t SyncReader::setRange(uint64_t start, int64_t duration) {
    if (!isOpen() || selected_ < 0) {
        return WMR_E_UNEXPECTED;
    }
    if (duration < 0) {
        return WMR_E_INVALIDARG;
    }
    const int64_t target = framesFromTime(start);
    const int64_t end = duration == 0 ? INT64_MAX : target + framesFromTime(uint64_t(duration));

    // Every position after a seek is measured from the time stamp of frame 0: learn it first by
    // decoding that frame.
    const int64_t preroll = kPrerollGrids * std::max<int64_t>(grid_, 1);
    if (firstTimestamp_ == INT64_MIN && target > preroll) {
        if (const int32_t code = rewind(); code != WMR_OK) {
            return code;
        }
        if (decodeFrame()) {
            firstTimestamp_ =
                frame_->best_effort_timestamp == AV_NOPTS_VALUE ? 0 : frame_->best_effort_timestamp;
        }
    }
    if (firstTimestamp_ == INT64_MIN || target <= preroll) {
        if (const int32_t code = rewind(); code != WMR_OK) {
            return code;
        }
    } else {
        AVStream* st = format_->streams[selected_];
        const int64_t from = target - kPrerollGrids * grid_;
        const int64_t ts =
            firstTimestamp_ + av_rescale_q(from, AVRational{1, int(pcm_.rate)}, st->time_base);
        if (av_seek_frame(format_.get(), selected_, ts, AVSEEK_FLAG_BACKWARD) >= 0) {
            avcodec_flush_buffers(codec_.get());
            inputDone_ = false;
            positionKnown_ = false;
        } else if (const int32_t code = rewind(); code != WMR_OK) {
            return code;
        }
    }
    rangeStart_ = target;
    rangeEnd_ = end;
    ended_ = false;
    return WMR_OK;
}

bool SyncReader::convertFrame(int64_t skip, int64_t count, std::vector<uint8_t>& out) {
    const int channels = frame_->ch_layout.nb_channels;
    if (!swr_ || swrChannels_ != uint32_t(channels) || swrInputFormat_ != frame_->format) {
        // Same channels and rate in and out: only the sample format changes (and planar
        // channels are interleaved). Layouts are the default ones of the count, so nothing is
        // remixed.
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, channels);
        SwrContext* swr = nullptr;
        const AVSampleFormat outFormat = pcm_.bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
        const int made =
            swr_alloc_set_opts2(&swr, &layout, outFormat, frame_->sample_rate, &layout,
                                AVSampleFormat(frame_->format), frame_->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        swr_.reset(swr);
        if (made < 0 || swr_init(swr) < 0) {
            swr_.reset();
            return false;
        }
        swrChannels_ = uint32_t(channels);
        swrInputFormat_ = frame_->format;
    }
    const size_t blockAlign = size_t(pcm_.channels) * pcm_.bits / 8u;
    std::vector<uint8_t> all(size_t(frame_->nb_samples) * blockAlign);
    uint8_t* outPlanes[1] = {all.data()};
    const int made =
        swr_convert(swr_.get(), outPlanes, frame_->nb_samples,
                    const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
    if (made != frame_->nb_samples) {
        return false;
    }
    out.assign(all.begin() + static_cast<std::ptrdiff_t>(size_t(skip) * blockAlign),
               all.begin() + static_cast<std::ptrdiff_t>(size_t(skip + count) * blockAlign));
    return true;
}

int32_t SyncReader::nextSample(uint16_t streamNumber, WmrSample** sampleOut, uint64_t* timeOut,
                               uint64_t* durationOut) {
    if (sampleOut == nullptr) {
        return WMR_E_INVALIDARG;
    }
    *sampleOut = nullptr;
    if (!isOpen() || selected_ < 0) {
        return WMR_E_UNEXPECTED;
    }
    if (indexOfStream(streamNumber) != selected_) {
        return WMR_E_NOT_FOUND;
    }
    while (!ended_) {
        if (!decodeFrame()) {
            ended_ = true;
            break;
        }
        const AVFrame& f = *frame_;
        if (f.nb_samples <= 0 || f.sample_rate != int(pcm_.rate) ||
            f.ch_layout.nb_channels != int(pcm_.channels)) {
            // The stream changed its format mid-way: what follows cannot be described by the
            // output format, so delivery ends here.
            ended_ = true;
            return WMR_E_FAIL;
        }
        if (firstTimestamp_ == INT64_MIN && positionKnown_ && next_ == 0) {
            firstTimestamp_ =
                f.best_effort_timestamp == AV_NOPTS_VALUE ? 0 : f.best_effort_timestamp;
        }
        int64_t at = next_;
        if (!positionKnown_) {
            at = positionFromTimestamp();
            if (at < 0 || at > rangeStart_) {
                // The seek cannot be placed exactly (no time stamp, or it went past the range
                // start): read from the start instead.
                const int64_t start = rangeStart_;
                const int64_t end = rangeEnd_;
                if (rewind() != WMR_OK) {
                    ended_ = true;
                    return WMR_E_FAIL;
                }
                rangeStart_ = start;
                rangeEnd_ = end;
                continue;
            }
            positionKnown_ = true;
        }
        next_ = at + f.nb_samples;
        if (next_ <= rangeStart_) {
            continue;
        }
        const int64_t from = std::max(at, rangeStart_);
        if (from >= rangeEnd_) {
            ended_ = true;
            break;
        }
        const int64_t count = std::min(next_, rangeEnd_) - from;
        std::vector<uint8_t> pcm;
        if (!convertFrame(from - at, count, pcm)) {
            ended_ = true;
            return WMR_E_FAIL;
        }
        auto* sample = new Sample(std::move(pcm));
        *sampleOut = sample;
        if (timeOut != nullptr) {
            *timeOut = timeFromFrames(from);
        }
        if (durationOut != nullptr) {
            *durationOut = timeFromFrames(from + count) - timeFromFrames(from);
        }
        return WMR_OK;
    }
    return WMR_E_NO_MORE_SAMPLES;
}

} // namespace wmaruntime
