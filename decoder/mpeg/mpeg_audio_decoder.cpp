#include "mpeg_audio_decoder.h"

#include <algorithm>

#include "layer12.h"
#include "layer3.h"
#include "synthesis.h"

namespace sondrel {
namespace {

bool headerUsable(const MpegFrameInfo& h) {
    return h.version >= 1 && h.version <= 3 && h.layer >= 1 && h.layer <= 3 &&
           h.bitrateIndex >= 1 && h.bitrateIndex <= 14 && h.sampleRateIndex >= 0 &&
           h.sampleRateIndex <= 2 && h.mode >= 0 && h.mode <= 3 && h.modeExtension >= 0 &&
           h.modeExtension <= 3;
}

} // namespace

MpegAudioDecoder::MpegAudioDecoder()
    : synthesis_(std::make_unique<PolyphaseSynthesis>()),
      layer12_(std::make_unique<Layer12Decoder>()), layer3_(std::make_unique<Layer3Decoder>()) {}

MpegAudioDecoder::~MpegAudioDecoder() = default;

void MpegAudioDecoder::Reset() {
    layer3_->reset();
    synthesis_->clear();
    layer_ = 0;
}

int MpegAudioDecoder::ParseHeader(std::span<const uint8_t> bytes, MpegFrameInfo& info,
                                  bool remember) {
    const int result = parseMpegFrameHeader(bytes, info, kShortInput);
    if (result == kOk && remember) {
        sampleRate_ = info.sampleRate;
        outputBytes_ = info.outputBytes;
    }
    return result;
}

int MpegAudioDecoder::Init(std::span<const uint8_t> bytes) {
    MpegFrameInfo info;
    const int result = ParseHeader(bytes, info, true);
    synthesis_->clear();
    if (result == kOk) {
        initLayer(info);
    }
    return result;
}

void MpegAudioDecoder::initLayer(const MpegFrameInfo& info) {
    layer_ = info.layer;
    if (layer_ == 3) {
        layer3_->reset();
    }
}

void MpegAudioDecoder::SkipFrame() {
    layer3_->dropMainData();
}

uint32_t MpegAudioDecoder::FrameBytes(const MpegFrameInfo& h) {
    if (!headerUsable(h)) {
        return 0;
    }
    const auto kbps = static_cast<uint32_t>(mpegBitrateKbps(h.version, h.layer, h.bitrateIndex));
    const auto rate = static_cast<uint32_t>(mpegSampleRate(h.version, h.sampleRateIndex));
    const auto padding = static_cast<uint32_t>(h.padding != 0);
    if (h.layer == 1) {
        return (kbps * 12000 / rate + padding) * 4;
    }
    if (h.layer == 3 && h.version != 1) {
        return kbps * 72000 / rate + padding;
    }
    return kbps * 144000 / rate + padding;
}

int MpegAudioDecoder::Decode(MpegDecodeRequest& request) {
    request.inputLength = 0;
    request.outputLength = 0;
    const MpegFrameInfo& h = request.header;
    frameBytes_ = FrameBytes(h);
    if (frameBytes_ == 0 || request.input.size() <= 4 || request.input.size() < frameBytes_) {
        return kShortInput;
    }
    const int channels = h.mode == 3 ? 1 : 2;
    const int samples = mpegSamplesPerFrame(h.version, h.layer) * channels;
    if (request.output.size() < static_cast<std::size_t>(samples)) {
        return kShortInput;
    }
    MpegFrameInfo info = h;
    info.channels = channels;
    info.sampleRate = mpegSampleRate(h.version, h.sampleRateIndex);
    if (info.layer != layer_) {
        initLayer(info);
    }

    const std::span<const uint8_t> frame = request.input.first(frameBytes_);
    int16_t* out = request.output.data();
    if (info.layer == 3) {
        if (!layer3_->decodeFrame(info, frame, *synthesis_, out)) {
            std::fill_n(out, samples, int16_t{0});
        }
    } else {
        layer12_->decodeFrame(info, frame, *synthesis_, out);
    }
    request.inputLength = frameBytes_;
    request.outputLength = static_cast<uint32_t>(samples * 2);
    return kOk;
}

} // namespace sondrel
