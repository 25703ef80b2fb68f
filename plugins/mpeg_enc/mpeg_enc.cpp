// mpeg_enc: MPEG audio layer III through libmp3lame, constant bit rate, at the record's sample
// rate (8000 to 48000 Hz), mono for mode 3 and two channels otherwise. The first frame of the
// output is LAME's info frame; it is completed at every flush and by the finishing call so that
// players know the exact length, encoder delay and padding.

#include "be_encoder.h"
#include "plugin_support.h"
#include "sample_run.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace {

using beplugin::AudioFormat;
using beplugin::FileIdentity;
using beplugin::Finisher;
using beplugin::StreamOutput;

/// Frames handed to LAME per call, which bounds the scratch buffer.
constexpr int kBlockFrames = 4096;
/// LAME's worst case for n frames: 1.25 n + 7200 bytes.
constexpr size_t kScratchBytes = kBlockFrames * 5 / 4 + 7200;

void silentReport(const char*, va_list) {}

struct LameDeleter {
    void operator()(lame_global_flags* gf) const { lame_close(gf); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameDeleter>;

/// Highest bit rate (kbit/s) whose output still fits in the buffer the input came in: at most
/// three quarters of the 16-bit PCM rate. Only 8 to 12 kHz mono at high rates is lowered.
uint32_t bitrateCeiling(const AudioFormat& f) {
    return 12u * static_cast<uint32_t>(f.channels) * f.rate / 1000u;
}

class MpegStream : public StreamOutput {
  public:
    MpegStream(const AudioFormat& format, const BeConfig& config, FileIdentity identity)
        : StreamOutput(identity), format_(format), config_(config), scratch_(kScratchBytes) {}

    static BE_ERR open(const BeConfig& config, FileIdentity identity,
                       std::unique_ptr<MpegStream>& stream) {
        AudioFormat format;
        BE_ERR rc = beplugin::readConfig(&config, false, 8000, 48000, format);
        if (rc != BE_ERR_SUCCESSFUL) {
            return rc;
        }
        if (format.kbps == 0 || format.kbps > 320) {
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        }
        auto s = std::make_unique<MpegStream>(format, config, identity);
        rc = s->startEncoder(config.writeVbrHeader != 0);
        if (rc != BE_ERR_SUCCESSFUL) {
            return rc;
        }
        stream = std::move(s);
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR encode(uint32_t count, const void* samples, uint8_t* output, uint32_t* written) {
        BE_ERR rc = beplugin::checkChunkArgs(count, samples, output, written, 2);
        if (rc != BE_ERR_SUCCESSFUL) {
            return rc;
        }
        if (ended_) {
            // Fed after a flush: the file goes on with a fresh encoder. The info frame can no
            // longer describe the whole stream, so the neutral frame first written returns.
            rc = startEncoder(false);
            if (rc != BE_ERR_SUCCESSFUL) {
                return rc;
            }
            if (!firstFrame_.empty()) {
                const uint64_t end = out_.tell();
                out_.seek(0);
                out_.write(firstFrame_);
                out_.seek(end);
            }
        }
        flushed_ = false;
        const size_t channels = static_cast<size_t>(format_.channels);
        const beplugin::SampleRun run = beplugin::takeSamples(values_, samples, count);
        size_t frames = run.count / channels;
        size_t at = 0;
        while (frames > 0) {
            const int n = static_cast<int>(std::min<size_t>(frames, kBlockFrames));
            int produced = 0;
            // LAME only reads the samples; its prototype lacks the const.
            short* block = const_cast<short*>(run.values + at);
            if (channels == 2) {
                produced = lame_encode_buffer_interleaved(lame_.get(), block, n, scratch_.data(),
                                                          static_cast<int>(scratch_.size()));
            } else {
                produced = lame_encode_buffer(lame_.get(), block, block, n, scratch_.data(),
                                              static_cast<int>(scratch_.size()));
            }
            if (produced < 0) {
                return BE_ERR_INVALID_FORMAT;
            }
            append(static_cast<size_t>(produced));
            at += static_cast<size_t>(n) * channels;
            frames -= static_cast<size_t>(n);
        }
        beplugin::keepRest(values_, run, at);
        *written = handOut(output);
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR flush(uint8_t* output, uint32_t* written) {
        if (!ended_) {
            // A lone value of an incomplete stereo frame cannot be encoded; it is dropped.
            values_.clear();
            const int produced =
                lame_encode_flush(lame_.get(), scratch_.data(), static_cast<int>(scratch_.size()));
            if (produced < 0) {
                return BE_ERR_INVALID_FORMAT;
            }
            append(static_cast<size_t>(produced));
            ended_ = true;
            if (infoFrame_) {
                std::vector<uint8_t> tag(2880);
                const size_t n = lame_get_lametag_frame(lame_.get(), tag.data(), tag.size());
                if (n > 0 && n <= tag.size()) {
                    const uint64_t end = out_.tell();
                    out_.seek(0);
                    out_.write(tag.data(), n);
                    out_.seek(end);
                }
            }
        }
        return finishFlush(output, written, true);
    }

  private:
    BE_ERR startEncoder(bool infoFrame) {
        LamePtr gf(lame_init());
        if (!gf) {
            return BE_ERR_NO_MORE_HANDLES;
        }
        lame_set_errorf(gf.get(), silentReport);
        lame_set_debugf(gf.get(), silentReport);
        lame_set_msgf(gf.get(), silentReport);
        lame_set_in_samplerate(gf.get(), static_cast<int>(format_.rate));
        lame_set_out_samplerate(gf.get(), static_cast<int>(format_.rate));
        lame_set_num_channels(gf.get(), format_.channels);
        MPEG_mode mode = MONO;
        if (format_.channels == 2) {
            mode = config_.mode == BE_MP3_MODE_JSTEREO       ? JOINT_STEREO
                   : config_.mode == BE_MP3_MODE_DUALCHANNEL ? DUAL_CHANNEL
                                                             : STEREO;
        }
        lame_set_mode(gf.get(), mode);
        lame_set_VBR(gf.get(), vbr_off);
        lame_set_brate(gf.get(), static_cast<int>(std::min(format_.kbps, bitrateCeiling(format_))));
        lame_set_bWriteVbrTag(gf.get(), infoFrame ? 1 : 0);
        lame_set_disable_reservoir(gf.get(), config_.noReservoir != 0 ? 1 : 0);
        lame_set_strict_ISO(gf.get(), config_.strictIso != 0 ? 1 : 0);
        lame_set_original(gf.get(), config_.original != 0 ? 1 : 0);
        lame_set_copyright(gf.get(), config_.copyright != 0 ? 1 : 0);
        lame_set_error_protection(gf.get(), config_.crc != 0 ? 1 : 0);
        lame_set_extension(gf.get(), config_.privateBit != 0 ? 1 : 0);
        // The record's quality word takes effect when its high byte is the complement of the
        // low byte (0..9); otherwise LAME's default applies (the usual 10 means "default").
        const int q = config_.quality & 0xFF;
        if (q <= 9 && ((config_.quality >> 8) & 0xFF) == (~q & 0xFF)) {
            lame_set_quality(gf.get(), q);
        }
        lame_set_write_id3tag_automatic(gf.get(), 0);
        if (lame_init_params(gf.get()) < 0) {
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        }
        lame_ = std::move(gf);
        infoFrame_ = infoFrame;
        ended_ = false;
        return BE_ERR_SUCCESSFUL;
    }

    void append(size_t produced) {
        if (produced == 0) {
            return;
        }
        // Keep the neutral first frame (LAME's placeholder for the info frame).
        constexpr size_t kKeep = 2880;
        if (firstFrame_.size() < kKeep && out_.size() == firstFrame_.size()) {
            const size_t n = std::min(kKeep - firstFrame_.size(), produced);
            firstFrame_.insert(firstFrame_.end(), scratch_.begin(),
                               scratch_.begin() + static_cast<ptrdiff_t>(n));
        }
        out_.write(scratch_.data(), produced);
    }

    AudioFormat format_;
    BeConfig config_;
    LamePtr lame_;
    std::vector<uint8_t> scratch_;
    std::vector<int16_t> values_;     ///< values not yet encoded (an incomplete frame)
    std::vector<uint8_t> firstFrame_; ///< the first bytes as LAME wrote them
    bool infoFrame_ = false;
    bool ended_ = false;
};

} // namespace

BE_DEFINE_EXPORTS(MpegStream, 3, 100)
