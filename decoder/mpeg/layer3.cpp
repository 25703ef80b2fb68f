#include "layer3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bit_reader.h"
#include "synthesis.h"

namespace sondrel {
namespace {

// Bits of the MPEG-1 scale factors for scalefac_compress 0..15: bands 0..10 and 11..20.
constexpr int kSlen[2][16] = {{0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
                              {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3}};

// MPEG-2 scale factors per partition: [table][long, short, mixed][partition].
constexpr int kPartitionBands[6][3][4] = {{{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},
                                          {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
                                          {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}},
                                          {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
                                          {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},
                                          {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}}};

constexpr int kGainOffset = 456;

bool isShort(const auto& g) {
    return g.windowSwitching && g.blockType == 2;
}

} // namespace

Layer3Decoder::Layer3Decoder() {
    for (int i = 0; i <= kPow43Offset; ++i) {
        const auto magnitude = static_cast<float>(std::pow(static_cast<double>(i), 4.0 / 3.0));
        pow43_[static_cast<std::size_t>(kPow43Offset + i)] = magnitude;
        pow43_[static_cast<std::size_t>(kPow43Offset - i)] = -magnitude;
    }
    for (std::size_t i = 0; i < gainPow2_.size(); ++i) {
        const double q = static_cast<double>(static_cast<int>(i) - kGainOffset);
        gainPow2_[i] = static_cast<float>(std::pow(2.0, q / 4.0) * 32768.0);
    }
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < 7; ++i) {
        const double t = std::tan(i * pi / 12.0);
        isRatioLeft_[static_cast<std::size_t>(i)] = static_cast<float>(t / (1.0 + t));
        isRatioRight_[static_cast<std::size_t>(i)] = static_cast<float>(1.0 / (1.0 + t));
    }
    for (int i = 0; i < 36; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const double longSin = std::sin(pi / 36.0 * (i + 0.5));
        windowLong_[0][at] = static_cast<float>(longSin);
        if (i < 18) {
            windowLong_[1][at] = static_cast<float>(longSin);
        } else if (i < 24) {
            windowLong_[1][at] = 1.0f;
        } else if (i < 30) {
            windowLong_[1][at] = static_cast<float>(std::sin(pi / 12.0 * (i - 18 + 0.5)));
        } else {
            windowLong_[1][at] = 0.0f;
        }
        if (i < 6) {
            windowLong_[3][at] = 0.0f;
        } else if (i < 12) {
            windowLong_[3][at] = static_cast<float>(std::sin(pi / 12.0 * (i - 6 + 0.5)));
        } else if (i < 18) {
            windowLong_[3][at] = 1.0f;
        } else {
            windowLong_[3][at] = static_cast<float>(longSin);
        }
        windowLong_[2][at] = windowLong_[0][at];
    }
    for (int i = 0; i < 12; ++i) {
        windowShort_[static_cast<std::size_t>(i)] =
            static_cast<float>(std::sin(pi / 12.0 * (i + 0.5)));
    }
    imdct_ = makeImdctTables();
    constexpr double kAlias[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int i = 0; i < 8; ++i) {
        const double root = std::sqrt(1.0 + kAlias[i] * kAlias[i]);
        aliasCs_[i] = static_cast<float>(1.0 / root);
        aliasCa_[i] = static_cast<float>(kAlias[i] / root);
    }
    reset();
}

void Layer3Decoder::reset() {
    mainDataFill_ = 0;
    std::memset(overlap_, 0, sizeof(overlap_));
    for (auto& s : scale_) {
        s = ScaleFactors{};
    }
}

bool Layer3Decoder::readSideInfo(const MpegFrameInfo& info, BitReader& bits, SideInfo& side) const {
    const bool mpeg1 = info.version == 1;
    const int channels = info.channels;
    side.mainDataBegin = static_cast<int>(bits.read(mpeg1 ? 9 : 8));
    bits.skip(mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2));
    if (mpeg1) {
        for (int ch = 0; ch < channels; ++ch) {
            side.scfsi[ch] = static_cast<int>(bits.read(4));
        }
    }
    const int granules = mpeg1 ? 2 : 1;
    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            GranuleChannel& g = side.gr[gr][ch];
            g.part23Length = static_cast<int>(bits.read(12));
            g.bigValues = std::min(static_cast<int>(bits.read(9)), 288);
            g.globalGain = static_cast<int>(bits.read(8));
            g.scalefacCompress = static_cast<int>(bits.read(mpeg1 ? 4 : 9));
            g.windowSwitching = bits.readBit();
            if (g.windowSwitching) {
                g.blockType = static_cast<int>(bits.read(2));
                g.mixedBlock = bits.readBit();
                g.tableSelect[0] = static_cast<int>(bits.read(5));
                g.tableSelect[1] = static_cast<int>(bits.read(5));
                g.tableSelect[2] = 0;
                for (int w = 0; w < 3; ++w) {
                    g.subblockGain[w] = static_cast<int>(bits.read(3));
                }
                g.region0Count = (g.blockType == 2 && !g.mixedBlock) ? 8 : 7;
                g.region1Count = 36;
            } else {
                g.blockType = 0;
                g.mixedBlock = false;
                for (int r = 0; r < 3; ++r) {
                    g.tableSelect[r] = static_cast<int>(bits.read(5));
                }
                g.subblockGain[0] = g.subblockGain[1] = g.subblockGain[2] = 0;
                g.region0Count = static_cast<int>(bits.read(4));
                g.region1Count = static_cast<int>(bits.read(3));
            }
            g.preflag = mpeg1 ? bits.readBit() : false;
            g.scalefacScale = static_cast<int>(bits.read(1));
            g.count1Table = static_cast<int>(bits.read(1));
        }
    }
    return true;
}

void Layer3Decoder::readScaleFactorsMpeg1(BitReader& bits, const GranuleChannel& g, int ch,
                                          int granule, const int* scfsi) {
    ScaleFactors& sf = scale_[ch];
    const int slen1 = kSlen[0][g.scalefacCompress & 15];
    const int slen2 = kSlen[1][g.scalefacCompress & 15];
    if (isShort(g)) {
        int sfb = 0;
        if (g.mixedBlock) {
            for (; sfb < 8; ++sfb) {
                sf.longBands[sfb] = static_cast<int>(bits.read(slen1));
            }
            sfb = 3;
        }
        for (; sfb < 12; ++sfb) {
            const int slen = sfb < 6 ? slen1 : slen2;
            for (int w = 0; w < 3; ++w) {
                sf.shortBands[sfb][w] = static_cast<int>(bits.read(slen));
            }
        }
        sf.shortBands[12][0] = sf.shortBands[12][1] = sf.shortBands[12][2] = 0;
        return;
    }
    constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
    for (int group = 0; group < 4; ++group) {
        const bool reuse = granule == 1 && ((scfsi[ch] >> (3 - group)) & 1);
        const int slen = group < 2 ? slen1 : slen2;
        for (int sfb = kGroupStart[group]; sfb < kGroupStart[group + 1]; ++sfb) {
            if (!reuse) {
                sf.longBands[sfb] = static_cast<int>(bits.read(slen));
            }
        }
    }
    sf.longBands[21] = 0;
}

void Layer3Decoder::readScaleFactorsMpeg2(BitReader& bits, GranuleChannel& g, int ch,
                                          bool intensityRight) {
    ScaleFactors& sf = scale_[ch];
    int slen[4] = {};
    int table = 0;
    int sfc = g.scalefacCompress;
    bool preflag = false;
    if (!intensityRight) {
        if (sfc < 400) {
            slen[0] = (sfc >> 4) / 5;
            slen[1] = (sfc >> 4) % 5;
            slen[2] = (sfc & 15) >> 2;
            slen[3] = sfc & 3;
            table = 0;
        } else if (sfc < 500) {
            sfc -= 400;
            slen[0] = (sfc >> 2) / 5;
            slen[1] = (sfc >> 2) % 5;
            slen[2] = sfc & 3;
            table = 1;
        } else {
            sfc -= 500;
            slen[0] = sfc / 3;
            slen[1] = sfc % 3;
            preflag = true;
            table = 2;
        }
        sf.intensityScale = 0;
    } else {
        sf.intensityScale = sfc & 1;
        const int isc = sfc >> 1;
        if (isc < 180) {
            slen[0] = isc / 36;
            slen[1] = (isc % 36) / 6;
            slen[2] = (isc % 36) % 6;
            table = 3;
        } else if (isc < 244) {
            const int v = isc - 180;
            slen[0] = (v & 63) >> 4;
            slen[1] = (v & 15) >> 2;
            slen[2] = v & 3;
            table = 4;
        } else {
            const int v = isc - 244;
            slen[0] = v / 3;
            slen[1] = v % 3;
            table = 5;
        }
    }
    // MPEG-2 codes no preflag bit: it follows from scalefac_compress.
    g.preflag = preflag;

    const int kind = isShort(g) ? (g.mixedBlock ? 2 : 1) : 0;
    // Walk the bands in coded order: long bands, then short bands window by window.
    int longBand = 0;
    int shortBand = 0;
    int window = 0;
    const int longCount = kind == 0 ? 22 : (kind == 2 ? 6 : 0);
    if (kind == 2) {
        shortBand = 3;
    }
    for (int part = 0; part < 4; ++part) {
        const int count = kPartitionBands[table][kind][part];
        const int bitsPer = slen[part];
        const int maxValue = (1 << bitsPer) - 1;
        for (int i = 0; i < count; ++i) {
            const int value = static_cast<int>(bits.read(bitsPer));
            if (longBand < longCount) {
                if (longBand < 22) {
                    sf.longBands[longBand] = value;
                    sf.longMax[longBand] = maxValue;
                }
                ++longBand;
            } else if (shortBand < 13) {
                sf.shortBands[shortBand][window] = value;
                sf.shortMax[shortBand][window] = maxValue;
                if (++window == 3) {
                    window = 0;
                    ++shortBand;
                }
            }
        }
    }
    // Bands past the coded ones have no scale factor; their intensity position repeats the
    // last coded band's (see stereo()).
    for (; longBand < 22; ++longBand) {
        sf.longBands[longBand] = 0;
        sf.longMax[longBand] = 0;
    }
    for (; shortBand < 13; ++shortBand) {
        for (; window < 3; ++window) {
            sf.shortBands[shortBand][window] = 0;
            sf.shortMax[shortBand][window] = 0;
        }
        window = 0;
    }
}

void Layer3Decoder::decodeHuffman(BitReader& bits, const GranuleChannel& g,
                                  const Layer3Bands& bands, std::size_t endBit, int ch) {
    int* out = quantised_[ch];
    const int bigEnd = g.bigValues * 2;
    int region1;
    int region2;
    if (g.windowSwitching) {
        region1 =
            (g.blockType == 2 && !g.mixedBlock) ? 3 * bands.shortBounds[3] : bands.longBounds[8];
        region2 = 576;
    } else {
        region1 = bands.longBounds[std::min(g.region0Count + 1, 22)];
        region2 = bands.longBounds[std::min(g.region0Count + g.region1Count + 2, 22)];
    }
    region1 = std::min(region1, bigEnd);
    region2 = std::min(region2, bigEnd);

    int i = 0;
    const int regionEnd[3] = {region1, region2, bigEnd};
    for (int region = 0; region < 3; ++region) {
        const int table = g.tableSelect[region];
        if (!huffman_.codesValues(table)) {
            for (; i < regionEnd[region]; ++i) {
                out[i] = 0;
            }
            continue;
        }
        const int linbits = Layer3Huffman::linbits(table);
        // Code, linbits and signs of a pair take at most 19 + 2 x (13 + 1) = 47 bits: all of
        // them come from one look-ahead. Signs are taken without branches: a zero value has no
        // sign bit.
        auto sign = [](int value, uint64_t window, int& used) {
            const int present = value != 0;
            const int negative =
                -static_cast<int>(((window << used) >> 63) & static_cast<unsigned>(present));
            used += present;
            return (value ^ negative) - negative;
        };
        if (linbits == 0) {
            for (; i < regionEnd[region]; i += 2) {
                const uint64_t window = bits.peekWindow();
                int used = 0;
                const uint32_t pair = huffman_.decodePair(table, window, used);
                const int x = sign(static_cast<int>(pair >> 4), window, used);
                const int y = sign(static_cast<int>(pair & 15), window, used);
                bits.skip(static_cast<std::size_t>(used));
                out[i] = x;
                out[i + 1] = y;
            }
            continue;
        }
        for (; i < regionEnd[region]; i += 2) {
            const uint64_t window = bits.peekWindow();
            int used = 0;
            const uint32_t pair = huffman_.decodePair(table, window, used);
            int x = static_cast<int>(pair >> 4);
            int y = static_cast<int>(pair & 15);
            if (x == 15) {
                x += static_cast<int>((window << used) >> (64 - linbits));
                used += linbits;
            }
            x = sign(x, window, used);
            if (y == 15) {
                y += static_cast<int>((window << used) >> (64 - linbits));
                used += linbits;
            }
            y = sign(y, window, used);
            bits.skip(static_cast<std::size_t>(used));
            out[i] = x;
            out[i + 1] = y;
        }
    }
    if (bits.position() > endBit) {
        // The big values ran past this channel's data: the granule is corrupt, keep it silent.
        std::fill(out, out + 576, 0);
        nonZero_[ch] = 0;
        return;
    }
    while (i <= 572 && bits.position() < endBit) {
        const uint64_t window = bits.peekWindow();
        int used = 0;
        const int quad = huffman_.decodeQuad(g.count1Table, window, used);
        int v[4];
        for (int k = 0; k < 4; ++k) {
            const int present = (quad >> (3 - k)) & 1;
            const int negative = static_cast<int>((window << used) >> 63) & present;
            used += present;
            v[k] = present - 2 * negative;
        }
        bits.skip(static_cast<std::size_t>(used));
        if (bits.position() > endBit) {
            break; // a quadruple cut off by the end of the data is not part of the granule
        }
        for (int k = 0; k < 4; ++k) {
            out[i + k] = v[k];
        }
        i += 4;
    }
    std::fill(out + i, out + 576, 0);
    while (i > 0 && out[i - 1] == 0) {
        --i;
    }
    nonZero_[ch] = i;
}

void Layer3Decoder::dequantise(const GranuleChannel& g, const Layer3Bands& bands, int ch,
                               bool mpeg1) {
    const int* in = quantised_[ch];
    float* out = spectrum_[ch];
    const ScaleFactors& sf = scale_[ch];
    const int shift = g.scalefacScale ? 4 : 2;
    const int gain = g.globalGain - 210 + kGainOffset;
    const int limit = nonZero_[ch];

    auto apply = [&](int start, int end, int q) {
        end = std::min(end, limit);
        const float factor = gainPow2_[static_cast<std::size_t>(std::clamp(q, 0, 511))];
        const float* pow43 = pow43_.data() + kPow43Offset;
        for (int i = start; i < end; ++i) {
            out[i] = pow43[in[i]] * factor;
        }
    };

    std::fill(out + limit, out + 576, 0.0f);
    if (!isShort(g)) {
        for (int sfb = 0; sfb < 22 && bands.longBounds[sfb] < limit; ++sfb) {
            const int pre = g.preflag ? kLayer3Pretab[sfb] : 0;
            apply(bands.longBounds[sfb], bands.longBounds[sfb + 1],
                  gain - shift * (sf.longBands[sfb] + pre));
        }
        return;
    }
    int firstShort = 0;
    if (g.mixedBlock) {
        const int longBandsInMixed = mpeg1 ? 8 : 6;
        for (int sfb = 0; sfb < longBandsInMixed; ++sfb) {
            const int pre = g.preflag ? kLayer3Pretab[sfb] : 0;
            apply(bands.longBounds[sfb], bands.longBounds[sfb + 1],
                  gain - shift * (sf.longBands[sfb] + pre));
        }
        firstShort = 3;
    }
    for (int sfb = firstShort; sfb < 13; ++sfb) {
        const int width = bands.shortBounds[sfb + 1] - bands.shortBounds[sfb];
        const int start = 3 * bands.shortBounds[sfb];
        if (start >= limit) {
            break;
        }
        for (int w = 0; w < 3; ++w) {
            apply(start + w * width, start + (w + 1) * width,
                  gain - 8 * g.subblockGain[w] - shift * sf.shortBands[sfb][w]);
        }
    }
}

} // namespace sondrel

namespace sondrel {

bool Layer3Decoder::decodeFrame(const MpegFrameInfo& info, std::span<const uint8_t> frame,
                                PolyphaseSynthesis& synthesis, int16_t* out) {
    const bool mpeg1 = info.version == 1;
    const int channels = info.channels;
    const int headerBytes = 4 + (info.crcPresent ? 2 : 0);
    const int sideBytes = mpegSideInfoBytes(info.version, channels);

    BitReader sideBits(frame, static_cast<std::size_t>(headerBytes) * 8);
    SideInfo side;
    readSideInfo(info, sideBits, side);

    // Append this frame's main data; keep what later frames can still reach back to.
    const std::size_t mainStartInFrame = static_cast<std::size_t>(headerBytes + sideBytes);
    const std::span<const uint8_t> mainBytes =
        frame.size() > mainStartInFrame ? frame.subspan(mainStartInFrame) : frame.first(0);
    const int incoming = static_cast<int>(std::min<std::size_t>(mainBytes.size(), 4096));
    if (mainDataFill_ + incoming > kMainDataCapacity) {
        const int keep = std::min(mainDataFill_, 511);
        std::memmove(mainData_.data(), mainData_.data() + (mainDataFill_ - keep),
                     static_cast<std::size_t>(keep));
        mainDataFill_ = keep;
    }
    const int available = mainDataFill_;
    std::copy(mainBytes.begin(), mainBytes.begin() + incoming, mainData_.begin() + mainDataFill_);
    mainDataFill_ += incoming;
    if (side.mainDataBegin > available) {
        return false; // reaches back before the buffered data: nothing to decode yet
    }

    const Layer3Bands& bands = layer3Bands(info.version, info.sampleRateIndex);
    BitReader bits(
        std::span<const uint8_t>(mainData_.data(), static_cast<std::size_t>(mainDataFill_)),
        static_cast<std::size_t>(available - side.mainDataBegin) * 8);
    const bool jointStereo = info.mode == 1 && channels == 2;
    const int granules = mpeg1 ? 2 : 1;

    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            GranuleChannel& g = side.gr[gr][ch];
            const std::size_t start = bits.position();
            if (mpeg1) {
                readScaleFactorsMpeg1(bits, g, ch, gr, side.scfsi);
            } else {
                readScaleFactorsMpeg2(bits, g, ch,
                                      jointStereo && ch == 1 && (info.modeExtension & 1));
            }
            const std::size_t end = start + static_cast<std::size_t>(g.part23Length);
            decodeHuffman(bits, g, bands, end, ch);
            bits.setPosition(end);
            dequantise(g, bands, ch, mpeg1);
        }
        if (jointStereo && info.modeExtension != 0) {
            stereo(info, side.gr[gr][0], bands);
        }
        for (int ch = 0; ch < channels; ++ch) {
            const GranuleChannel& g = side.gr[gr][ch];
            reorder(g, bands, ch, mpeg1);
            antialias(g, ch);
            hybrid(g, ch);
        }
        const float* subbands[2] = {&hybridOut_[0][0][0], &hybridOut_[1][0][0]};
        synthesis.synthesize(channels, subbands, kSlotStride, 18, out + gr * 576 * channels);
    }
    return true;
}

} // namespace sondrel
