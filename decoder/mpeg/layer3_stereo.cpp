#include <algorithm>
#include <cmath>

#include "layer3.h"

namespace sondrel {
namespace {

constexpr float kInvSqrt2 = 0.70710678118654752f;

// Short band (plus one) of the last non-zero line of one window, searching bands
// [first, 13); first when the window is silent there.
int lastShortBandPlusOne(const int* values, const int16_t* bounds, int first, int window) {
    for (int b = 12; b >= first; --b) {
        const int width = bounds[b + 1] - bounds[b];
        const int start = 3 * bounds[b] + window * width;
        for (int i = start; i < start + width; ++i) {
            if (values[i] != 0) {
                return b + 1;
            }
        }
    }
    return first;
}

} // namespace

void Layer3Decoder::stereo(const MpegFrameInfo& info, const GranuleChannel& g,
                           const Layer3Bands& bands) {
    const bool midSide = (info.modeExtension & 2) != 0;
    const bool intensity = (info.modeExtension & 1) != 0;
    const bool mpeg1 = info.version == 1;
    float* left = spectrum_[0];
    float* right = spectrum_[1];
    const int* rightValues = quantised_[1];
    const ScaleFactors& rsf = scale_[1];
    const int bound = std::max(nonZero_[0], nonZero_[1]);

    // Middle/side, or intensity with the position of the band, over lines [start, end).
    auto process = [&](int start, int end, bool useIntensity, int position, int maxPosition) {
        end = std::min(end, bound);
        if (start >= end) {
            return;
        }
        if (useIntensity) {
            float kl;
            float kr;
            bool legal;
            if (mpeg1) {
                legal = position < 7;
                kl = legal ? isRatioLeft_[static_cast<std::size_t>(position)] : 0.0f;
                kr = legal ? isRatioRight_[static_cast<std::size_t>(position)] : 0.0f;
            } else {
                legal = position != maxPosition;
                // Positions step by 2^(-1/4) (scale 0) or 2^(-1/2) (scale 1); odd positions
                // attenuate the right channel, even ones the left.
                const float io = rsf.intensityScale ? 0.70710678f : 0.84089642f;
                kl = 1.0f;
                kr = 1.0f;
                if (position & 1) {
                    kl = std::pow(io, static_cast<float>((position + 1) / 2));
                } else if (position != 0) {
                    kr = std::pow(io, static_cast<float>(position / 2));
                }
            }
            if (legal) {
                for (int i = start; i < end; ++i) {
                    const float m = left[i];
                    left[i] = m * kl;
                    right[i] = m * kr;
                }
                return;
            }
        }
        if (midSide) {
            for (int i = start; i < end; ++i) {
                const float m = left[i];
                const float s = right[i];
                left[i] = (m + s) * kInvSqrt2;
                right[i] = (m - s) * kInvSqrt2;
            }
        }
    };

    const bool shortBlocks = g.windowSwitching && g.blockType == 2;
    const int longBandCount = !shortBlocks ? 22 : (g.mixedBlock ? (mpeg1 ? 8 : 6) : 0);
    const int firstShort = shortBlocks && g.mixedBlock ? 3 : 0;

    int shortStart[3] = {13, 13, 13};
    bool shortSilent = true;
    if (shortBlocks) {
        for (int w = 0; w < 3; ++w) {
            shortStart[w] = lastShortBandPlusOne(rightValues, bands.shortBounds, firstShort, w);
            if (shortStart[w] != firstShort) {
                shortSilent = false;
            }
        }
    }
    int longStart = longBandCount;
    if (longBandCount > 0 && shortSilent) {
        longStart = 0;
        for (int b = longBandCount - 1; b >= 0; --b) {
            bool any = false;
            for (int i = bands.longBounds[b]; i < bands.longBounds[b + 1]; ++i) {
                any = any || rightValues[i] != 0;
            }
            if (any) {
                longStart = b + 1;
                break;
            }
        }
    }

    for (int b = 0; b < longBandCount; ++b) {
        const int pb = std::min(b, 20);
        process(bands.longBounds[b], bands.longBounds[b + 1], intensity && b >= longStart,
                rsf.longBands[pb], rsf.longMax[pb]);
    }
    if (shortBlocks) {
        for (int b = firstShort; b < 13; ++b) {
            const int width = bands.shortBounds[b + 1] - bands.shortBounds[b];
            const int pb = std::min(b, 11);
            for (int w = 0; w < 3; ++w) {
                const int start = 3 * bands.shortBounds[b] + w * width;
                process(start, start + width, intensity && b >= shortStart[w],
                        rsf.shortBands[pb][w], rsf.shortMax[pb][w]);
            }
        }
    }
    nonZero_[0] = bound;
    nonZero_[1] = bound;
}

} // namespace sondrel
