#include "conversion_pipeline.h"

#include "native_path.h"
#include "sample_converters.h"
#include "sondrel.h"

#include <algorithm>
#include <new>

namespace mireldo::converter {

namespace {

struct StreamCloser {
    void operator()(SondrelStream* s) const { Sondrel_CloseStream(s); }
};
using StreamPtr = std::unique_ptr<SondrelStream, StreamCloser>;

std::uint32_t framesAt(std::uint32_t rate, float seconds) {
    const double frames = static_cast<double>(rate) * static_cast<double>(seconds);
    if (!(frames > 0)) {
        return 0;
    }
    return frames >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(frames);
}

} // namespace

FrameWindow frameWindow(const TimeRange& range, std::uint32_t rate, std::uint32_t length) {
    if (length == 0) {
        return {};
    }
    std::uint32_t first = 0;
    std::uint32_t last = length - 1;
    if (range.end > range.start) {
        first = framesAt(rate, range.start);
        last = framesAt(rate, range.end);
        if (first >= length) {
            first = 0;
        }
        if (last >= length) {
            last = length - 1;
        }
        if (last < first) {
            last = length - 1;
        }
    }
    return {first, last - first + 1};
}

ConversionPipeline::ConversionPipeline(const encoders::EncoderTable& table) : table_(table) {}

ConversionPipeline::~ConversionPipeline() = default;

ConvertResult ConversionPipeline::convert(const SourceRequest& source, OutputFile& output,
                                          BeId3v1Tag& tag, ConversionView& view) {
    view.setCurrentName(fileNameOf(source.path));
    const encoders::EncoderSlot& slot = table_.slot(encoderSlotOfType(source.choices.typeIndex));
    if (!slot.loaded()) {
        return ConvertResult::NoEncoder;
    }

    SondrelStream* raw = nullptr;
    // Share mode 1: others may read the source but not write it; call records are accepted.
    if (Sondrel_OpenStream(&raw, platform::encodePath(source.path).constData(), 1, 1) !=
            SONDREL_OK ||
        raw == nullptr) {
        view.sourceUnreadable(source.path);
        return ConvertResult::ReadFailed;
    }
    StreamPtr stream(raw);
    std::uint32_t length = 0;
    WAVEFORMATEX* format = nullptr;
    if (Sondrel_GetStreamLength(stream.get(), &length) != SONDREL_OK ||
        Sondrel_GetStreamFormat(stream.get(), &format) != SONDREL_OK || format == nullptr ||
        Sondrel_DecodeAudioBegin(stream.get()) != SONDREL_OK) {
        return ConvertResult::ReadFailed;
    }
    const int inChannels = format->nChannels;
    const std::uint32_t inRate = format->nSamplesPerSec;
    const int bits = format->wBitsPerSample;
    // A block alignment of 0 (no channels or no bits) cannot size a block; other shapes than
    // 8- or 16-bit mono or stereo are not what the decoder hands out.
    if ((inChannels != 1 && inChannels != 2) || (bits != 8 && bits != 16) || inRate == 0 ||
        format->nBlockAlign == 0) {
        return ConvertResult::ReadFailed;
    }

    if (!decoded_) {
        decoded_.reset(new (std::nothrow) std::int16_t[kDecodeBlockBytes / 2]);
        raw_.reset(new (std::nothrow) std::uint8_t[kDecodeBlockBytes / 2]);
        converted_.reset(new (std::nothrow) std::int16_t[kConversionBufferBytes / 2]);
        if (!decoded_ || !raw_ || !converted_) {
            decoded_.reset();
            return ConvertResult::NoMemory;
        }
    }

    // A merge keeps the format of the stream its first source started.
    std::uint32_t outRate = source.choices.outputRate(inRate);
    int outChannels = source.choices.outputChannels(inChannels);
    if (output.streaming()) {
        outRate = output.rate();
        outChannels = output.channels();
    } else {
        switch (output.startStream(slot, outRate, outChannels, source.choices.bitrate(), &tag)) {
        case OutputFile::StartError::None:
            break;
        case OutputFile::StartError::Write:
            return ConvertResult::WriteFailed;
        case OutputFile::StartError::Memory:
            return ConvertResult::NoMemory;
        }
    }

    view.setSourcePercent(0);
    int mark = 0;
    const FrameWindow window = frameWindow(source.range, inRate, length);
    const bool sameShape = outRate == inRate && outChannels == inChannels;
    RateConverter rate(inRate, inChannels, outRate, outChannels);

    // Every block is decoded as 16-bit values (8-bit sources are widened), and sized so that
    // its converted output fits the conversion buffer whatever the growth.
    std::size_t blockFrames = kDecodeBlockBytes / (2 * static_cast<std::size_t>(inChannels));
    if (outRate != inRate) {
        blockFrames = std::min(blockFrames, rate.maxInputFrames(kConversionBufferBytes / 2));
    }
    if (blockFrames == 0) {
        return ConvertResult::ReadFailed;
    }

    bool cancelled = false;
    auto cancelNow = [&] {
        if (!cancelled) {
            cancelled = view.cancelRequested();
        }
        return cancelled;
    };

    std::uint32_t done = 0;
    while (done < window.count) {
        const auto want =
            static_cast<std::uint32_t>(std::min<std::size_t>(blockFrames, window.count - done));
        std::uint32_t got = 0;
        void* target = bits == 8 ? static_cast<void*>(raw_.get()) : decoded_.get();
        Sondrel_DecodeAudio(stream.get(), window.first + done, want, target, &got);
        got = std::min(got, want);
        if (got == 0) {
            break;
        }
        done += got;
        std::size_t values = std::size_t{got} * static_cast<std::size_t>(inChannels);
        if (bits == 8) {
            for (std::size_t v = 0; v < values; ++v) {
                decoded_[v] = static_cast<std::int16_t>((raw_[v] - 128) * 256);
            }
        }
        if (cancelNow()) {
            break;
        }
        const std::int16_t* samples = decoded_.get();
        if (!sameShape) {
            values = outRate == inRate ? convertChannels(decoded_.get(), values, inChannels,
                                                         outChannels, converted_.get())
                                       : rate.convert(decoded_.get(), got, converted_.get());
            samples = converted_.get();
            if (values == 0) {
                continue;
            }
            if (cancelNow()) {
                break;
            }
        }
        if (!output.encode(samples, values, cancelNow)) {
            return ConvertResult::WriteFailed;
        }
        if (cancelNow()) {
            break;
        }
        const int percent = static_cast<int>(static_cast<double>(done) / window.count * 100.0);
        view.setSourcePercent(percent);
        while (source.pacing && percent >= mark) {
            mark += 10;
            view.pause(50);
        }
    }
    return cancelled ? ConvertResult::Cancelled : ConvertResult::Converted;
}

} // namespace mireldo::converter
