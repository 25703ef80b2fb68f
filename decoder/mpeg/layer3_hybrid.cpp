#include <algorithm>
#include <cstring>

#include "layer3.h"

namespace sondrel {

void Layer3Decoder::reorder(const GranuleChannel& g, const Layer3Bands& bands, int ch, bool mpeg1) {
    if (!(g.windowSwitching && g.blockType == 2)) {
        return;
    }
    // Short blocks are coded band by band, window by window; the filter bank wants the three
    // windows' lines interleaved within every subband.
    float* x = spectrum_[ch];
    float tmp[576];
    const int first = g.mixedBlock ? 3 : 0;
    int limit = 3 * bands.shortBounds[first];
    for (int sfb = first; sfb < 13; ++sfb) {
        const int start = 3 * bands.shortBounds[sfb];
        if (start >= nonZero_[ch]) {
            break;
        }
        const int width = bands.shortBounds[sfb + 1] - bands.shortBounds[sfb];
        for (int w = 0; w < 3; ++w) {
            for (int j = 0; j < width; ++j) {
                tmp[j * 3 + w] = x[start + w * width + j];
            }
        }
        std::memcpy(x + start, tmp, sizeof(float) * static_cast<std::size_t>(3 * width));
        limit = start + 3 * width;
    }
    (void)mpeg1;
    nonZero_[ch] = std::max(std::min(nonZero_[ch], 3 * bands.shortBounds[first]), limit);
}

void Layer3Decoder::antialias(const GranuleChannel& g, int ch) {
    int boundaries;
    if (g.windowSwitching && g.blockType == 2) {
        if (!g.mixedBlock) {
            return;
        }
        boundaries = 1;
    } else {
        boundaries = std::min(31, (nonZero_[ch] + 7) / 18);
    }
    float* x = spectrum_[ch];
    for (int k = 1; k <= boundaries; ++k) {
        float* lo = x + 18 * k - 1;
        float* hi = x + 18 * k;
        for (int i = 0; i < 8; ++i) {
            const float a = lo[-i];
            const float b = hi[i];
            lo[-i] = a * aliasCs_[i] - b * aliasCa_[i];
            hi[i] = b * aliasCs_[i] + a * aliasCa_[i];
        }
    }
    if (boundaries > 0) {
        nonZero_[ch] = std::max(nonZero_[ch], std::min(576, boundaries * 18 + 8));
    }
}

void Layer3Decoder::hybrid(const GranuleChannel& g, int ch) {
    const float* x = spectrum_[ch];
    const int active = std::min(kSubbands, (nonZero_[ch] + 17) / 18);
    const bool shortBlocks = g.windowSwitching && g.blockType == 2;
    const int blockType = g.windowSwitching ? g.blockType : 0;
    float(*overlap)[32] = overlap_[ch];
    float(*result)[kSlotStride] = hybridOut_[ch];

    int sb = 0;
    if (!shortBlocks && !(g.windowSwitching && g.mixedBlock)) {
        // Long blocks, one window for every subband: groups of 8 subbands through the kernels.
        // A subband above the active ones has no lines, and its transform (of zeros) leaves
        // exactly the previous granule's tail, as the copy below would.
        sb = std::min(32, (active + 7) / 8 * 8);
        kernels_.imdctLong(x, sb, windowLong_[blockType].data(), imdct_, &overlap[0][0],
                           &result[0][0], kSlotStride);
        if (sb == 32) {
            // The top subband is never reconstructed (its lines may hold values).
            for (int i = 0; i < 18; ++i) {
                result[31][i] = 0.0f;
                overlap[i][31] = 0.0f;
            }
        }
    }
    for (; sb < 32; ++sb) {
        float out[18];
        if (sb >= kSubbands) {
            std::fill(out, out + 18, 0.0f);
        } else if (sb >= active) {
            // No spectral content: only the tail of the previous granule remains.
            for (int i = 0; i < 18; ++i) {
                out[i] = overlap[i][sb];
                overlap[i][sb] = 0.0f;
            }
        } else if (shortBlocks && !(g.mixedBlock && sb < 2)) {
            float buffer[36] = {};
            const float* in = x + sb * 18;
            for (int w = 0; w < 3; ++w) {
                float y[12];
                imdct12(in + w, 3, y, imdct_);
                for (int i = 0; i < 12; ++i) {
                    buffer[6 + 6 * w + i] += y[i] * windowShort_[static_cast<std::size_t>(i)];
                }
            }
            for (int i = 0; i < 18; ++i) {
                out[i] = buffer[i] + overlap[i][sb];
                overlap[i][sb] = buffer[i + 18];
            }
        } else {
            // The two lowest subbands of a block with the mixed flag take the normal window,
            // whatever the block type.
            const int type = (g.windowSwitching && g.mixedBlock && sb < 2) ? 0 : blockType;
            const float* window = windowLong_[type].data();
            const float* in = x + sb * 18;
            float y[36];
            imdct36(in, y, imdct_);
            for (int i = 0; i < 18; ++i) {
                out[i] = y[i] * window[i] + overlap[i][sb];
                overlap[i][sb] = y[i + 18] * window[i + 18];
            }
        }
        // Every other sample of the odd subbands is negated (frequency inversion).
        for (int i = 0; i < 18; ++i) {
            result[sb][i] = ((sb & i & 1) != 0) ? -out[i] : out[i];
        }
    }
}

} // namespace sondrel
