// wma_enc: Windows Media Audio 2 in an ASF container through FFmpeg (the wmav2 encoder and the
// asf muxer). The muxer writes into a seekable virtual file (OutputFile): bytes flow out
// through the caller's buffers, and the header the muxer rewrites at the end (duration, size,
// packet count) is applied to the finished file in place.

#include "be_encoder.h"
#include "plugin_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace {

using beplugin::AudioFormat;
using beplugin::FileIdentity;
using beplugin::Finisher;
using beplugin::OutputFile;
using beplugin::StreamOutput;

/// wmav2 refuses less than this (bit/s).
constexpr int64_t kMinBitrate = 24000;
constexpr int kAvioBufferBytes = 32 * 1024;

struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FormatDeleter {
    void operator()(AVFormatContext* f) const { avformat_free_context(f); }
};
struct AvioDeleter {
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

/// Highest bit rate (bit/s) whose output still fits in the buffer the input came in: three
/// quarters of the 16-bit PCM rate. wmav2 encodes at exactly the rate asked for, so 8 to 12 kHz
/// mono at 320 kbit/s would otherwise produce more bytes than the caller's buffer holds.
int64_t bitrateCeiling(const AudioFormat& f) {
    return 12 * static_cast<int64_t>(f.channels) * static_cast<int64_t>(f.rate);
}

class WmaStream : public StreamOutput {
  public:
    WmaStream(const AudioFormat& format, FileIdentity identity)
        : StreamOutput(identity), format_(format) {}

    ~WmaStream() {
        if (muxer_) {
            muxer_->pb = nullptr;
        }
    }

    static BE_ERR open(const BeConfig& config, FileIdentity identity,
                       std::unique_ptr<WmaStream>& stream) {
        AudioFormat format;
        const BE_ERR rc = beplugin::readConfig(&config, false, 8000, 48000, format);
        if (rc != BE_ERR_SUCCESSFUL) {
            return rc;
        }
        if (format.kbps == 0 || format.kbps > 320) {
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        }
        // FFmpeg logs to standard error by default; a plug-in never prints.
        static std::once_flag quiet;
        std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
        auto s = std::make_unique<WmaStream>(format, identity);
        const BE_ERR started = s->start();
        if (started != BE_ERR_SUCCESSFUL) {
            return started;
        }
        stream = std::move(s);
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR encode(uint32_t count, const void* samples, uint8_t* output, uint32_t* written) {
        const BE_ERR rc = beplugin::checkChunkArgs(count, samples, output, written, 2);
        if (rc != BE_ERR_SUCCESSFUL) {
            return rc;
        }
        if (ended_) {
            // The ASF data object is closed by its index and header; it cannot grow again.
            return BE_ERR_INVALID_HANDLE;
        }
        flushed_ = false;
        const int channels = format_.channels;
        for (uint32_t i = 0; i < count; ++i) {
            const int c = static_cast<int>(partialValue_);
            auto* plane = reinterpret_cast<float*>(frame_->data[c]);
            plane[filled_] = static_cast<float>(beplugin::sampleAt(samples, i)) / 32768.0f;
            if (++partialValue_ == static_cast<unsigned>(channels)) {
                partialValue_ = 0;
                if (++filled_ == codec_->frame_size) {
                    if (!sendFrame(codec_->frame_size)) {
                        return BE_ERR_INVALID_FORMAT;
                    }
                }
            }
        }
        if (!drainPackets()) {
            return BE_ERR_INVALID_FORMAT;
        }
        *written = handOut(output);
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR flush(uint8_t* output, uint32_t* written) {
        if (!ended_) {
            // The last partial frame is completed with silence (wmav2 takes whole frames).
            partialValue_ = 0;
            if (filled_ > 0) {
                const int have = filled_;
                for (int c = 0; c < format_.channels; ++c) {
                    auto* plane = reinterpret_cast<float*>(frame_->data[c]);
                    std::fill(plane + have, plane + codec_->frame_size, 0.0f);
                }
                if (!sendFrame(codec_->frame_size)) {
                    return BE_ERR_INVALID_FORMAT;
                }
            }
            if (avcodec_send_frame(codec_.get(), nullptr) < 0 || !drainPackets()) {
                return BE_ERR_INVALID_FORMAT;
            }
            if (av_write_trailer(muxer_.get()) < 0) {
                return BE_ERR_INVALID_FORMAT;
            }
            avio_flush(io_.get());
            if (io_->error < 0 || failed_) {
                return BE_ERR_INVALID_FORMAT;
            }
            ended_ = true;
        }
        return finishFlush(output, written, true);
    }

    /// Available once the muxer ended, even when the last hand-out did not fit.
    std::optional<Finisher> release() {
        if (!ended_) {
            return std::nullopt;
        }
        return std::move(out_.finisher());
    }

  private:
    BE_ERR start() {
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        if (encoder == nullptr) {
            return BE_ERR_INVALID_FORMAT;
        }
        codec_.reset(avcodec_alloc_context3(encoder));
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!codec_ || !frame_ || !packet_) {
            return BE_ERR_NO_MORE_HANDLES;
        }
        codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        codec_->sample_rate = static_cast<int>(format_.rate);
        av_channel_layout_default(&codec_->ch_layout, format_.channels);
        codec_->bit_rate = std::clamp<int64_t>(static_cast<int64_t>(format_.kbps) * 1000,
                                               kMinBitrate, bitrateCeiling(format_));
        codec_->time_base = AVRational{1, static_cast<int>(format_.rate)};

        AVFormatContext* fmt = nullptr;
        if (avformat_alloc_output_context2(&fmt, nullptr, "asf", nullptr) < 0 || fmt == nullptr) {
            return BE_ERR_INVALID_FORMAT;
        }
        muxer_.reset(fmt);
        if ((muxer_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (avcodec_open2(codec_.get(), encoder, nullptr) < 0 || codec_->frame_size <= 0) {
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        }
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = codec_->sample_rate;
        frame_->nb_samples = codec_->frame_size;
        if (av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 ||
            av_frame_get_buffer(frame_.get(), 0) < 0) {
            return BE_ERR_NO_MORE_HANDLES;
        }

        auto* buffer = static_cast<unsigned char*>(av_malloc(kAvioBufferBytes));
        if (buffer == nullptr) {
            return BE_ERR_NO_MORE_HANDLES;
        }
        io_.reset(avio_alloc_context(buffer, kAvioBufferBytes, 1, this, nullptr,
                                     &WmaStream::writeCb, &WmaStream::seekCb));
        if (!io_) {
            av_free(buffer);
            return BE_ERR_NO_MORE_HANDLES;
        }
        io_->seekable = AVIO_SEEKABLE_NORMAL;
        muxer_->pb = io_.get();
        muxer_->flags |= AVFMT_FLAG_CUSTOM_IO;

        AVStream* st = avformat_new_stream(muxer_.get(), nullptr);
        if (st == nullptr || avcodec_parameters_from_context(st->codecpar, codec_.get()) < 0) {
            return BE_ERR_NO_MORE_HANDLES;
        }
        st->time_base = codec_->time_base;
        if (avformat_write_header(muxer_.get(), nullptr) < 0) {
            return BE_ERR_INVALID_FORMAT;
        }
        avio_flush(io_.get());
        return failed_ ? BE_ERR_INVALID_FORMAT : BE_ERR_SUCCESSFUL;
    }

    bool sendFrame(int samples) {
        frame_->nb_samples = samples;
        frame_->pts = nextPts_;
        nextPts_ += samples;
        if (avcodec_send_frame(codec_.get(), frame_.get()) < 0) {
            return false;
        }
        filled_ = 0;
        // The encoder may still hold the previous buffer; the next frame gets a fresh one.
        if (av_frame_make_writable(frame_.get()) < 0) {
            return false;
        }
        return drainPackets();
    }

    bool drainPackets() {
        for (;;) {
            const int rc = avcodec_receive_packet(codec_.get(), packet_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
                break;
            }
            if (rc < 0) {
                return false;
            }
            packet_->stream_index = 0;
            av_packet_rescale_ts(packet_.get(), codec_->time_base, muxer_->streams[0]->time_base);
            if (av_write_frame(muxer_.get(), packet_.get()) < 0) {
                av_packet_unref(packet_.get());
                return false;
            }
            av_packet_unref(packet_.get());
        }
        avio_flush(io_.get());
        return io_->error >= 0 && !failed_;
    }

    static int writeCb(void* opaque, uint8_t* data, int size) {
        auto* self = static_cast<WmaStream*>(opaque);
        try {
            if (size < 0 || !self->out_.write(data, static_cast<size_t>(size))) {
                self->failed_ = true;
                return AVERROR(EIO);
            }
        } catch (...) {
            self->failed_ = true;
            return AVERROR(ENOMEM);
        }
        return size;
    }

    static int64_t seekCb(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<WmaStream*>(opaque);
        const int64_t size = static_cast<int64_t>(self->out_.size());
        int64_t target = 0;
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = static_cast<int64_t>(self->out_.tell()) + offset;
            break;
        case SEEK_END:
            target = size + offset;
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (target < 0) {
            return AVERROR(EINVAL);
        }
        self->out_.seek(static_cast<uint64_t>(target));
        return target;
    }

    AudioFormat format_;
    std::unique_ptr<AVCodecContext, CodecDeleter> codec_;
    std::unique_ptr<AVFrame, FrameDeleter> frame_;
    std::unique_ptr<AVPacket, PacketDeleter> packet_;
    std::unique_ptr<AVIOContext, AvioDeleter> io_;
    std::unique_ptr<AVFormatContext, FormatDeleter> muxer_; ///< destroyed before io_
    int filled_ = 0;                                        ///< frames of frame_ filled
    unsigned partialValue_ = 0; ///< channel of the next value within its frame
    int64_t nextPts_ = 0;
    bool failed_ = false;
    bool ended_ = false;
};

} // namespace

BE_DEFINE_EXPORTS(WmaStream, static_cast<uint8_t>(LIBAVCODEC_VERSION_MAJOR),
                  static_cast<uint8_t>(LIBAVCODEC_VERSION_MINOR))
