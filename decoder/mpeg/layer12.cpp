#include "layer12.h"

#include <cmath>
#include <cstring>

#include "bit_reader.h"
#include "synthesis.h"

namespace sondrel {
namespace {

// Quantisation classes of layer II (index into quantStep_): levels and bits per sample
// (bits per group of three for the grouped classes 0, 1 and 3).
struct QuantClass {
    int levels;
    int bits;
    bool grouped;
};
constexpr QuantClass kClasses[17] = {
    {3, 5, true},       {5, 7, true},      {7, 3, false},     {9, 10, true},     {15, 4, false},
    {31, 5, false},     {63, 6, false},    {127, 7, false},   {255, 8, false},   {511, 9, false},
    {1023, 10, false},  {2047, 11, false}, {4095, 12, false}, {8191, 13, false}, {16383, 14, false},
    {32767, 15, false}, {65535, 16, false}};

// One row of an allocation table: bits of the allocation field and, per allocation value,
// the quantisation class plus one (0: no samples).
struct AllocRow {
    int bits;
    int8_t classes[16];
};

constexpr AllocRow kRowA = {4, {0, 1, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}};
constexpr AllocRow kRowB = {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17}};
constexpr AllocRow kRowC = {3, {0, 1, 2, 3, 4, 5, 6, 17}};
constexpr AllocRow kRowD = {2, {0, 1, 2, 17}};
constexpr AllocRow kRowE = {4, {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
constexpr AllocRow kRowF = {3, {0, 1, 2, 4, 5, 6, 7, 8}};
constexpr AllocRow kRowG = {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}};
constexpr AllocRow kRowH = {2, {0, 1, 2, 4}};

struct AllocTable {
    int subbands;
    const AllocRow* rows[32];
};

#define ROWS3(r) &r, &r, &r
#define ROWS4(r) &r, &r, &r, &r
#define ROWS7(r) ROWS4(r), ROWS3(r)
#define ROWS8(r) ROWS4(r), ROWS4(r)

// High-rate tables for 27 and 30 subbands, low-rate tables for 8 and 12 subbands, and the table
// of the lower sampling frequencies.
constexpr AllocTable kTable27 = {
    27, {ROWS3(kRowA), ROWS8(kRowB), ROWS8(kRowC), ROWS4(kRowC), ROWS4(kRowD)}};
constexpr AllocTable kTable30 = {
    30, {ROWS3(kRowA), ROWS8(kRowB), ROWS8(kRowC), ROWS4(kRowC), ROWS7(kRowD)}};
constexpr AllocTable kTable8 = {8, {&kRowE, &kRowE, ROWS3(kRowF), ROWS3(kRowF)}};
constexpr AllocTable kTable12 = {12, {&kRowE, &kRowE, ROWS8(kRowF), &kRowF, &kRowF}};
constexpr AllocTable kTableLow = {
    30, {ROWS4(kRowG), ROWS7(kRowF), ROWS8(kRowH), ROWS8(kRowH), ROWS3(kRowH)}};

#undef ROWS3
#undef ROWS4
#undef ROWS7
#undef ROWS8

// Allocation table of a layer II frame, chosen by the bit rate per channel and the sample rate.
// Combinations of bit rate and mode that the standard excludes (for example 56 kbit/s stereo)
// are decoded with the table their rate per channel points to.
const AllocTable& layer2Table(const MpegFrameInfo& info) {
    if (info.version != 1) {
        return kTableLow;
    }
    const int kbps = mpegBitrateKbps(info.version, 2, info.bitrateIndex) / info.channels;
    const bool lowRate = kbps <= 48;
    if (lowRate) {
        return info.sampleRate == 32000 ? kTable12 : kTable8;
    }
    if (info.sampleRate == 48000 || kbps <= 80) {
        return kTable27;
    }
    return kTable30;
}

int jointBound(const MpegFrameInfo& info, int limit) {
    if (info.mode != 1) {
        return limit;
    }
    const int bound = (info.modeExtension + 1) * 4;
    return bound < limit ? bound : limit;
}

} // namespace

Layer12Decoder::Layer12Decoder() {
    for (int i = 0; i < 17; ++i) {
        quantStep_[static_cast<std::size_t>(i)] = 2.0f / static_cast<float>(kClasses[i].levels);
    }
    for (int i = 0; i < 64; ++i) {
        scaleFactors_[static_cast<std::size_t>(i)] =
            static_cast<float>(65536.0 * std::pow(2.0, -i / 3.0));
    }
    auto fill = [](auto& table, int base, int codes) {
        for (int code = 0; code < codes; ++code) {
            int rest = code;
            for (int i = 0; i < 3; ++i) {
                table[static_cast<std::size_t>(code * 3 + i)] =
                    static_cast<int8_t>(rest % base - (base - 1) / 2);
                rest /= base;
            }
        }
    };
    fill(group3_, 3, 32);
    fill(group5_, 5, 128);
    fill(group9_, 9, 1024);
}

void Layer12Decoder::decodeFrame(const MpegFrameInfo& info, std::span<const uint8_t> frame,
                                 PolyphaseSynthesis& synthesis, int16_t* out) {
    if (info.layer == 1) {
        decodeLayer1(info, frame, synthesis, out);
    } else {
        decodeLayer2(info, frame, synthesis, out);
    }
}

void Layer12Decoder::decodeLayer1(const MpegFrameInfo& info, std::span<const uint8_t> frame,
                                  PolyphaseSynthesis& synthesis, int16_t* out) {
    const int channels = info.channels;
    const int bound = jointBound(info, 32);
    BitReader bits(frame, info.crcPresent ? 48 : 32);

    int allocation[2][32] = {};
    for (int sb = 0; sb < 32; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (sb < bound || ch == 0) {
                allocation[ch][sb] = static_cast<int>(bits.read(4));
            } else {
                allocation[ch][sb] = allocation[0][sb];
            }
        }
    }
    float scale[2][32] = {};
    for (int sb = 0; sb < 32; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (allocation[ch][sb] != 0) {
                scale[ch][sb] = scaleFactors_[bits.read(6)];
            }
        }
    }
    // Allocation 15 is forbidden; such a subband is left silent (its fields are 16 bits wide).
    // Every row below the top subband is written for all 12 slots; the top row stays zero.
    for (int slot = 0; slot < 12; ++slot) {
        for (int sb = 0; sb < 32; ++sb) {
            float raw[2] = {0.0f, 0.0f};
            for (int ch = 0; ch < channels; ++ch) {
                if (sb >= bound && ch == 1) {
                    raw[1] = raw[0]; // joint stereo: one sample for both channels
                    continue;
                }
                const int alloc = allocation[ch][sb];
                if (alloc == 0) {
                    continue;
                }
                const int nb = alloc + 1;
                const auto code = static_cast<int>(bits.read(nb));
                if (alloc != 15) {
                    const int levels = (1 << nb) - 1;
                    raw[ch] = static_cast<float>(code - (levels - 1) / 2) * 2.0f /
                              static_cast<float>(levels);
                }
            }
            if (sb < kSubbandLimit) {
                samples_[0][sb][slot] = raw[0] * scale[0][sb];
                samples_[1][sb][slot] = raw[1] * scale[1][sb];
            }
        }
    }
    const float* subbands[2] = {&samples_[0][0][0], &samples_[1][0][0]};
    synthesis.synthesize(channels, subbands, kSlotStride, 12, out);
}

void Layer12Decoder::decodeLayer2(const MpegFrameInfo& info, std::span<const uint8_t> frame,
                                  PolyphaseSynthesis& synthesis, int16_t* out) {
    const AllocTable& table = layer2Table(info);
    const int channels = info.channels;
    const int limit = table.subbands < kSubbandLimit ? table.subbands : kSubbandLimit;
    const int bound = jointBound(info, table.subbands);
    BitReader bits(frame, info.crcPresent ? 48 : 32);

    // Class + 1 of each subband and channel (0: no samples).
    int classOf[2][32] = {};
    for (int sb = 0; sb < table.subbands; ++sb) {
        const AllocRow& row = *table.rows[sb];
        for (int ch = 0; ch < channels; ++ch) {
            if (sb < bound || ch == 0) {
                classOf[ch][sb] = row.classes[bits.read(row.bits)];
            } else {
                classOf[ch][sb] = classOf[0][sb];
            }
        }
    }
    int scfsi[2][32] = {};
    for (int sb = 0; sb < table.subbands; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (classOf[ch][sb] != 0) {
                scfsi[ch][sb] = static_cast<int>(bits.read(2));
            }
        }
    }
    // Scale factors per part of the frame (three parts of 12 slots).
    float scale[2][3][32] = {};
    for (int sb = 0; sb < table.subbands; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (classOf[ch][sb] == 0) {
                continue;
            }
            float* s = nullptr;
            float parts[3];
            switch (scfsi[ch][sb]) {
            case 0:
                parts[0] = scaleFactors_[bits.read(6)];
                parts[1] = scaleFactors_[bits.read(6)];
                parts[2] = scaleFactors_[bits.read(6)];
                break;
            case 1:
                parts[0] = parts[1] = scaleFactors_[bits.read(6)];
                parts[2] = scaleFactors_[bits.read(6)];
                break;
            case 2:
                parts[0] = parts[1] = parts[2] = scaleFactors_[bits.read(6)];
                break;
            default:
                parts[0] = scaleFactors_[bits.read(6)];
                parts[1] = parts[2] = scaleFactors_[bits.read(6)];
                break;
            }
            s = parts;
            for (int p = 0; p < 3; ++p) {
                scale[ch][p][sb] = s[p];
            }
        }
    }

    // Rows with samples are written for all 36 slots below; only the silent ones are cleared.
    for (int ch = 0; ch < channels; ++ch) {
        for (int sb = 0; sb < 32; ++sb) {
            const int cls = (sb >= bound && ch == 1) ? classOf[0][sb] : classOf[ch][sb];
            if (sb >= limit || cls == 0) {
                std::memset(samples_[ch][sb], 0, 36 * sizeof(float));
            }
        }
    }
    for (int granule = 0; granule < 12; ++granule) {
        const int part = granule / 4;
        for (int sb = 0; sb < table.subbands; ++sb) {
            for (int ch = 0; ch < channels; ++ch) {
                if (sb >= bound && ch == 1) {
                    continue; // read once with channel 0 below
                }
                const int cls = classOf[ch][sb];
                if (cls == 0) {
                    continue;
                }
                const QuantClass& q = kClasses[cls - 1];
                // Three values, kept in registers: gathering them in a small array first made
                // the conversion below wait on stores it could not forward.
                int v0;
                int v1;
                int v2;
                if (q.grouped) {
                    const auto code = static_cast<std::size_t>(bits.read(q.bits));
                    const int8_t* digits = q.levels == 3   ? &group3_[code * 3]
                                           : q.levels == 5 ? &group5_[code * 3]
                                                           : &group9_[code * 3];
                    v0 = digits[0];
                    v1 = digits[1];
                    v2 = digits[2];
                } else {
                    const int offset = (q.levels - 1) / 2;
                    v0 = static_cast<int>(bits.read(q.bits)) - offset;
                    v1 = static_cast<int>(bits.read(q.bits)) - offset;
                    v2 = static_cast<int>(bits.read(q.bits)) - offset;
                }
                if (sb >= limit) {
                    continue; // read, never reconstructed
                }
                const float step = quantStep_[static_cast<std::size_t>(cls - 1)];
                const float f0 = static_cast<float>(v0) * step;
                const float f1 = static_cast<float>(v1) * step;
                const float f2 = static_cast<float>(v2) * step;
                float* row = &samples_[ch][sb][granule * 3];
                const float own = scale[ch][part][sb];
                row[0] = f0 * own;
                row[1] = f1 * own;
                row[2] = f2 * own;
                if (sb >= bound && channels == 2) {
                    float* sharedRow = &samples_[1][sb][granule * 3];
                    const float other = scale[1][part][sb];
                    sharedRow[0] = f0 * other;
                    sharedRow[1] = f1 * other;
                    sharedRow[2] = f2 * other;
                }
            }
        }
    }
    const float* subbands[2] = {&samples_[0][0][0], &samples_[1][0][0]};
    synthesis.synthesize(channels, subbands, kSlotStride, 36, out);
}

} // namespace sondrel
