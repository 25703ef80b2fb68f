// ogg_enc: Ogg Vorbis through libvorbisenc. The bit rate is managed near the record's rate;
// where libvorbis has no managed mode for the rate and channel count it encodes at the quality
// that gives about that rate. The three header packets come first; every finished page goes
// out through beEncodeChunk and beDeinitStream. A flush ends the logical stream; feeding after
// it starts a new chained stream in the same file.

#include "be_encoder.h"
#include "plugin_support.h"
#include "sample_run.h"

#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>

namespace {

using beplugin::AudioFormat;
using beplugin::FileIdentity;
using beplugin::Finisher;
using beplugin::OutputFile;
using beplugin::StreamOutput;

/// Frames handed to vorbis_analysis per step.
constexpr int kBlockFrames = 4096;

/// Quality (-0.1..1.0) that libvorbis reaches at about `kbps` per channel pair, used when no
/// managed mode exists.
float qualityFor(uint32_t kbps, int channels) {
    const float perChannel = static_cast<float>(kbps) / static_cast<float>(channels);
    // Nominal rates of quality 0..10 for 44.1 kHz stereo are roughly 64..500 kbit/s.
    const float q = (perChannel * 2.0f - 64.0f) / 436.0f;
    return std::clamp(q, -0.1f, 1.0f);
}

/// One logical Vorbis stream: encoder state and its Ogg page writer.
class VorbisSegment {
  public:
    VorbisSegment() = default;
    VorbisSegment(const VorbisSegment&) = delete;
    VorbisSegment& operator=(const VorbisSegment&) = delete;
    ~VorbisSegment() {
        if (blockReady_) {
            vorbis_block_clear(&block_);
        }
        if (dspReady_) {
            vorbis_dsp_clear(&dsp_);
        }
        if (streamReady_) {
            ogg_stream_clear(&stream_);
        }
        vorbis_comment_clear(&comment_);
        vorbis_info_clear(&info_);
    }

    /// Sets up the encoder and writes the header pages to `out`.
    BE_ERR start(const AudioFormat& f, int serial, OutputFile& out) {
        vorbis_info_init(&info_);
        vorbis_comment_init(&comment_);
        const long bps = static_cast<long>(f.kbps) * 1000;
        int rc = vorbis_encode_init(&info_, f.channels, static_cast<long>(f.rate), -1, bps, -1);
        if (rc != 0) {
            vorbis_info_clear(&info_);
            vorbis_info_init(&info_);
            rc = vorbis_encode_init_vbr(&info_, f.channels, static_cast<long>(f.rate),
                                        qualityFor(f.kbps, f.channels));
            if (rc != 0) {
                // Outside every mode libvorbis has (a rate it cannot sample at this quality).
                rc = vorbis_encode_init_vbr(&info_, f.channels, static_cast<long>(f.rate), 0.1f);
            }
            if (rc != 0) {
                return BE_ERR_INVALID_FORMAT_PARAMETERS;
            }
        }
        vorbis_comment_add_tag(&comment_, "ENCODER", "Mireldo ogg_enc");
        if (vorbis_analysis_init(&dsp_, &info_) != 0) {
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        }
        dspReady_ = true;
        vorbis_block_init(&dsp_, &block_);
        blockReady_ = true;
        ogg_stream_init(&stream_, serial);
        streamReady_ = true;
        ogg_packet header;
        ogg_packet comments;
        ogg_packet codebooks;
        if (vorbis_analysis_headerout(&dsp_, &comment_, &header, &comments, &codebooks) != 0) {
            return BE_ERR_INVALID_FORMAT;
        }
        ogg_stream_packetin(&stream_, &header);
        ogg_stream_packetin(&stream_, &comments);
        ogg_stream_packetin(&stream_, &codebooks);
        // Audio starts on a fresh page, as the format requires.
        ogg_page page;
        while (ogg_stream_flush(&stream_, &page) != 0) {
            writePage(page, out);
        }
        channels_ = f.channels;
        return BE_ERR_SUCCESSFUL;
    }

    /// Analyses `frames` interleaved frames of `values`, or ends the stream when `frames` is 0.
    void feed(const int16_t* values, int frames, OutputFile& out) {
        if (frames > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp_, frames);
            for (int i = 0; i < frames; ++i) {
                for (int c = 0; c < channels_; ++c) {
                    buffer[c][i] = static_cast<float>(values[i * channels_ + c]) / 32768.0f;
                }
            }
        }
        vorbis_analysis_wrote(&dsp_, frames);
        drain(out, frames == 0);
    }

  private:
    void drain(OutputFile& out, bool ended) {
        ogg_packet packet;
        ogg_page page;
        while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
            vorbis_analysis(&block_, nullptr);
            vorbis_bitrate_addblock(&block_);
            while (vorbis_bitrate_flushpacket(&dsp_, &packet) != 0) {
                ogg_stream_packetin(&stream_, &packet);
                while (ogg_stream_pageout(&stream_, &page) != 0) {
                    writePage(page, out);
                }
            }
        }
        if (ended) {
            // After the end of stream every remaining packet leaves in a last page.
            while (ogg_stream_flush(&stream_, &page) != 0) {
                writePage(page, out);
            }
        }
    }

    static void writePage(const ogg_page& page, OutputFile& out) {
        out.write(page.header, static_cast<size_t>(page.header_len));
        out.write(page.body, static_cast<size_t>(page.body_len));
    }

    vorbis_info info_{};
    vorbis_comment comment_{};
    vorbis_dsp_state dsp_{};
    vorbis_block block_{};
    ogg_stream_state stream_{};
    bool dspReady_ = false;
    bool blockReady_ = false;
    bool streamReady_ = false;
    int channels_ = 0;
};

class OggStream : public StreamOutput {
  public:
    OggStream(const AudioFormat& format, FileIdentity identity)
        : StreamOutput(identity), format_(format) {}

    static BE_ERR open(const BeConfig& config, FileIdentity identity,
                       std::unique_ptr<OggStream>& stream) {
        AudioFormat format;
        const BE_ERR rc = beplugin::readConfig(&config, false, 8000, 48000, format);
        if (rc != BE_ERR_SUCCESSFUL) {
            return rc;
        }
        if (format.kbps == 0 || format.kbps > 500) {
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        }
        auto s = std::make_unique<OggStream>(format, identity);
        const BE_ERR started = s->startSegment();
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
        if (!segment_) {
            const BE_ERR started = startSegment();
            if (started != BE_ERR_SUCCESSFUL) {
                return started;
            }
        }
        flushed_ = false;
        const size_t channels = static_cast<size_t>(format_.channels);
        const beplugin::SampleRun run = beplugin::takeSamples(values_, samples, count);
        size_t frames = run.count / channels;
        size_t at = 0;
        while (frames > 0) {
            const int n = static_cast<int>(std::min<size_t>(frames, kBlockFrames));
            segment_->feed(run.values + at, n, out_);
            at += static_cast<size_t>(n) * channels;
            frames -= static_cast<size_t>(n);
        }
        beplugin::keepRest(values_, run, at);
        *written = handOut(output);
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR flush(uint8_t* output, uint32_t* written) {
        if (segment_) {
            values_.clear();
            segment_->feed(nullptr, 0, out_);
            segment_.reset();
        }
        // Ogg pages are final once handed out: nothing in the file to complete.
        return finishFlush(output, written, false);
    }

  private:
    BE_ERR startSegment() {
        auto segment = std::make_unique<VorbisSegment>();
        // Chained streams need distinct serial numbers; fixed ones keep the output reproducible.
        const int serial = nextSerial_++;
        const BE_ERR rc = segment->start(format_, serial, out_);
        if (rc != BE_ERR_SUCCESSFUL) {
            return rc;
        }
        segment_ = std::move(segment);
        return BE_ERR_SUCCESSFUL;
    }

    AudioFormat format_;
    std::unique_ptr<VorbisSegment> segment_;
    std::vector<int16_t> values_;
    int nextSerial_ = 0x4D52;
};

} // namespace

BE_DEFINE_EXPORTS(OggStream, 1, 3)
