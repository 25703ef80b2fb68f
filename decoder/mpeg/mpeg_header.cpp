#include "mpeg_header.h"

#include "byte_reader.h"

namespace sondrel {

using mireldo::common::ByteReader;
namespace {

struct FrameLengths {
    int32_t shortLength;
    int32_t longLength;
};

// Frame length in bytes for a bit rate in bit/s, without and with the padding slot.
FrameLengths lengthsFor(int version, int layer, int64_t bitrate, int64_t sampleRate) {
    if (layer == 1) {
        const auto shortLength = static_cast<int32_t>((bitrate * 12 / sampleRate) * 4);
        return {shortLength, shortLength + 4};
    }
    auto shortLength = static_cast<int32_t>(bitrate * 144 / sampleRate);
    if (layer == 3 && version != 1) {
        // Half as many samples per frame; the padding slot is added after halving, so that a
        // padded frame is always one byte longer than an unpadded one.
        shortLength /= 2;
    }
    return {shortLength, shortLength + 1};
}

} // namespace

int mpegBitrateKbps(int version, int layer, int bitrateIndex) {
    if (version < 1 || version > 3 || layer < 1 || layer > 3 || bitrateIndex < 0 ||
        bitrateIndex > 15) {
        return 0;
    }
    return kMpegBitrates[version == 1 ? 0 : 1][layer - 1][bitrateIndex];
}

int mpegSampleRate(int version, int sampleRateIndex) {
    if (version < 1 || version > 3 || sampleRateIndex < 0 || sampleRateIndex > 2) {
        return 0;
    }
    return kMpegSampleRates[version - 1][sampleRateIndex];
}

int mpegSamplesPerFrame(int version, int layer) {
    if (layer == 1) {
        return 384;
    }
    return (layer == 3 && version != 1) ? 576 : 1152;
}

int mpegSideInfoBytes(int version, int channels) {
    if (version == 1) {
        return channels == 1 ? 17 : 32;
    }
    return channels == 1 ? 9 : 17;
}

bool mpegCarriesTag(std::span<const uint8_t> bytes, const MpegFrameInfo& info) {
    std::size_t tagOffset = 4 + (info.crcPresent ? 2 : 0);
    if (info.layer == 3) {
        tagOffset += static_cast<std::size_t>(mpegSideInfoBytes(info.version, info.channels));
    }
    const ByteReader in(bytes);
    return in.matches(tagOffset, "Xing", 4) || in.matches(tagOffset, "Info", 4) ||
           in.matches(tagOffset, "VBRI", 4);
}

int parseMpegFrameHeader(std::span<const uint8_t> bytes, MpegFrameInfo& info, int lengthError) {
    if (bytes.size() < kMpegMinParseLength) {
        return lengthError;
    }
    ByteReader in(bytes);
    const uint8_t b0 = in.at(0);
    const uint8_t b1 = in.at(1);
    const uint8_t b2 = in.at(2);
    const uint8_t b3 = in.at(3);
    if (b0 != 0xFF) {
        return kMpegHeaderNoSync;
    }

    MpegFrameInfo h;
    if (b1 >= 0xF0) {
        h.version = (b1 & 0x08) ? 1 : 2;
    } else if ((b1 & 0xF0) == 0xE0) {
        h.version = 3;
    } else {
        return kMpegHeaderNoSync;
    }
    const int layerCode = (b1 >> 1) & 3;
    h.crcPresent = (b1 & 1) ? 0 : 1;
    h.bitrateIndex = b2 >> 4;
    h.sampleRateIndex = (b2 >> 2) & 3;
    h.padding = (b2 >> 1) & 1;
    h.privateBit = b2 & 1;
    h.mode = b3 >> 6;
    h.modeExtension = (b3 >> 4) & 3;
    h.flagBit3 = (b3 >> 3) & 1;
    h.flagBit2 = (b3 >> 2) & 1;
    h.emphasis = b3 & 3;
    if (h.sampleRateIndex == 3 || h.bitrateIndex == 0 || h.bitrateIndex == 15 || layerCode == 0) {
        return kMpegHeaderBadField;
    }
    h.layer = 4 - layerCode;
    h.channels = h.mode == 3 ? 1 : 2;
    h.bitsPerSample = 16;

    std::size_t tagOffset = 4 + (h.crcPresent ? 2 : 0);
    if (h.layer == 3) {
        tagOffset += static_cast<std::size_t>(mpegSideInfoBytes(h.version, h.channels));
    }
    h.bitrate = mpegBitrateKbps(h.version, h.layer, h.bitrateIndex) * 1000;
    h.sampleRate = mpegSampleRate(h.version, h.sampleRateIndex);

    bool tagged = false;
    if (in.matches(tagOffset, "Xing", 4)) {
        const uint32_t flags = in.bigEndian32(tagOffset + 4);
        if ((flags & 3) == 0) {
            return kMpegHeaderBadField;
        }
        h.tagFrames = static_cast<int32_t>(in.bigEndian32(tagOffset + 8));
        h.tagBytes = static_cast<int32_t>(in.bigEndian32(tagOffset + 12));
        tagged = true;
    } else if (in.matches(tagOffset, "VBRI", 4)) {
        h.tagBytes = static_cast<int32_t>(in.bigEndian32(tagOffset + 10));
        h.tagFrames = static_cast<int32_t>(in.bigEndian32(tagOffset + 14));
        tagged = true;
    }

    if (!tagged) {
        const FrameLengths lengths = lengthsFor(h.version, h.layer, h.bitrate, h.sampleRate);
        h.shortLength = lengths.shortLength;
        h.longLength = lengths.longLength;
    } else {
        int minimum = 0;
        int maximum = 0;
        for (int index = 1; index <= 14; ++index) {
            const int rate = mpegBitrateKbps(h.version, h.layer, index) * 1000;
            if (minimum == 0 || rate < minimum) {
                minimum = rate;
            }
            if (rate > maximum) {
                maximum = rate;
            }
        }
        const FrameLengths own = lengthsFor(h.version, h.layer, h.bitrate, h.sampleRate);
        h.taggedFrameLength = h.padding ? own.longLength : own.shortLength;
        h.shortLength = lengthsFor(h.version, h.layer, minimum, h.sampleRate).shortLength;
        h.longLength = lengthsFor(h.version, h.layer, maximum, h.sampleRate).longLength;
        h.bitrate = 0;
    }
    h.outputBytes = mpegSamplesPerFrame(h.version, h.layer) * h.channels * 2;
    info = h;
    return kMpegHeaderOk;
}

} // namespace sondrel
