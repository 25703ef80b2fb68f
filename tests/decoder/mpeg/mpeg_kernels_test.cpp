// The decoder's kernels on every instruction set this machine runs: the polyphase synthesis
// against the filter bank's defining sums in double precision, and each vectorised set against
// the portable one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "fast_transforms.h"
#include "mpeg_kernels.h"
#include "synthesis.h"

namespace {

using sondrel::MpegKernels;
using sondrel::PolyphaseSynthesis;

std::vector<const MpegKernels*> availableKernels() {
    std::vector<const MpegKernels*> all;
    for (const char* name : {"portable", "sse2", "avx2"}) {
        if (const MpegKernels* k = sondrel::mpegKernelsNamed(name)) {
            all.push_back(k);
        }
    }
    return all;
}

// The synthesis as the standard defines it, in double precision: V = N S shifted into a
// 1024-value history, U gathered from it, windowed by D and summed.
class ReferenceSynthesis {
  public:
    explicit ReferenceSynthesis(const float* window) : window_(window, window + 512) {}

    void slot(const float* subbands, int16_t* out) {
        for (int i = 1023; i >= 64; --i) {
            v_[static_cast<std::size_t>(i)] = v_[static_cast<std::size_t>(i - 64)];
        }
        for (int i = 0; i < 64; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 32; ++k) {
                sum += std::cos((16 + i) * (2 * k + 1) * std::numbers::pi / 64) * subbands[k];
            }
            v_[static_cast<std::size_t>(i)] = sum;
        }
        for (int j = 0; j < 32; ++j) {
            double sum = 0.0;
            for (int i = 0; i < 8; ++i) {
                sum += v_[static_cast<std::size_t>(128 * i + j)] *
                       window_[static_cast<std::size_t>(64 * i + j)];
                sum += v_[static_cast<std::size_t>(128 * i + 96 + j)] *
                       window_[static_cast<std::size_t>(64 * i + 32 + j)];
            }
            sum = std::clamp(sum, -32768.0, 32767.0);
            out[j] = static_cast<int16_t>(sum);
        }
    }

  private:
    std::vector<double> window_;
    std::vector<double> v_ = std::vector<double>(1024, 0.0);
};

constexpr int kStride = 40;

// Random subband rows for `slots` slots (sb-major, kStride per row, the padding zero), loud
// enough that some samples clip.
std::vector<float> randomSubbands(std::mt19937& rng, int slots, float scale) {
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> rows(32 * kStride, 0.0f);
    for (int sb = 0; sb < 32; ++sb) {
        for (int t = 0; t < slots; ++t) {
            rows[static_cast<std::size_t>(sb * kStride + t)] = dist(rng) * scale;
        }
    }
    return rows;
}

// Runs of slot counts that leave partial vector blocks (5, 13) and the layers' own (12, 18, 36).
const int kRuns[] = {18, 5, 36, 12, 13, 1, 18, 36};

TEST(MpegKernelsSynthesis, EverySetMatchesTheDefiningSumsWithinOneStep) {
    for (const MpegKernels* kernels : availableKernels()) {
        PolyphaseSynthesis synthesis(*kernels);
        ReferenceSynthesis reference(synthesis.tables().window);
        std::mt19937 rng(77);
        int worst = 0;
        for (const int slots : kRuns) {
            for (const float scale : {3000.0f, 40000.0f}) {
                const std::vector<float> rows = randomSubbands(rng, slots, scale);
                const float* channels[2] = {rows.data(), rows.data()};
                std::vector<int16_t> ours(static_cast<std::size_t>(slots) * 32);
                synthesis.synthesize(1, channels, kStride, slots, ours.data());
                for (int t = 0; t < slots; ++t) {
                    float column[32];
                    for (int sb = 0; sb < 32; ++sb) {
                        column[sb] = rows[static_cast<std::size_t>(sb * kStride + t)];
                    }
                    int16_t want[32];
                    reference.slot(column, want);
                    for (int j = 0; j < 32; ++j) {
                        worst = std::max(
                            worst, std::abs(ours[static_cast<std::size_t>(t * 32 + j)] - want[j]));
                    }
                }
            }
        }
        EXPECT_LE(worst, 1) << kernels->name << ": largest difference " << worst;
    }
}

TEST(MpegKernelsSynthesis, StereoIsInterleavedAndChannelsKeepTheirOwnHistory) {
    for (const MpegKernels* kernels : availableKernels()) {
        PolyphaseSynthesis stereo(*kernels);
        PolyphaseSynthesis left(*kernels);
        PolyphaseSynthesis right(*kernels);
        std::mt19937 rng(5);
        for (const int slots : kRuns) {
            const std::vector<float> a = randomSubbands(rng, slots, 5000.0f);
            const std::vector<float> b = randomSubbands(rng, slots, 5000.0f);
            const float* both[2] = {a.data(), b.data()};
            const float* onlyA[1] = {a.data()};
            const float* onlyB[1] = {b.data()};
            std::vector<int16_t> out(static_cast<std::size_t>(slots) * 64);
            std::vector<int16_t> outA(static_cast<std::size_t>(slots) * 32);
            std::vector<int16_t> outB(static_cast<std::size_t>(slots) * 32);
            stereo.synthesize(2, both, kStride, slots, out.data());
            left.synthesize(1, onlyA, kStride, slots, outA.data());
            right.synthesize(1, onlyB, kStride, slots, outB.data());
            for (std::size_t i = 0; i < outA.size(); ++i) {
                ASSERT_EQ(out[2 * i], outA[i]) << kernels->name << " sample " << i;
                ASSERT_EQ(out[2 * i + 1], outB[i]) << kernels->name << " sample " << i;
            }
        }
    }
}

TEST(MpegKernelsSynthesis, VectorisedSetsAgreeWithThePortableOne) {
    const MpegKernels* portable = sondrel::mpegKernelsNamed("portable");
    ASSERT_NE(portable, nullptr);
    for (const MpegKernels* kernels : availableKernels()) {
        PolyphaseSynthesis ours(*kernels);
        PolyphaseSynthesis plain(*portable);
        std::mt19937 rng(9);
        int worst = 0;
        for (int round = 0; round < 20; ++round) {
            const int slots = kRuns[round % 8];
            const std::vector<float> rows = randomSubbands(rng, slots, 20000.0f);
            const float* channels[1] = {rows.data()};
            std::vector<int16_t> a(static_cast<std::size_t>(slots) * 32);
            std::vector<int16_t> b(a.size());
            ours.synthesize(1, channels, kStride, slots, a.data());
            plain.synthesize(1, channels, kStride, slots, b.data());
            for (std::size_t i = 0; i < a.size(); ++i) {
                worst = std::max(worst, std::abs(a[i] - b[i]));
            }
        }
        EXPECT_LE(worst, 1) << kernels->name;
    }
}

TEST(MpegKernelsChoice, TheEnvironmentForcesTheSetAndUnknownNamesAreRefused) {
    EXPECT_EQ(sondrel::mpegKernelsNamed("no-such-set"), nullptr);
    ASSERT_NE(sondrel::mpegKernelsNamed("portable"), nullptr);
    const char* forced = std::getenv("SONDREL_SIMD");
    const std::string chosen = sondrel::mpegKernels().name;
    if (forced != nullptr && sondrel::mpegKernelsNamed(forced) != nullptr) {
        EXPECT_EQ(chosen, forced);
    } else {
        // Unforced: the widest set this processor runs.
        EXPECT_EQ(chosen, availableKernels().back()->name);
    }
    EXPECT_STREQ(PolyphaseSynthesis().kernels().name, chosen.c_str());
}

} // namespace

namespace {

// The long-block hybrid filter of every set against imdct36() (itself tested against the
// defining sums), window, overlap and frequency inversion done one subband at a time.
TEST(MpegKernelsHybrid, EverySetMatchesTheOneSubbandAtATimeFilter) {
    const sondrel::ImdctTables tables = sondrel::makeImdctTables();
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    float window[36];
    for (float& w : window) {
        w = dist(rng);
    }
    for (const MpegKernels* kernels : availableKernels()) {
        for (const int end : {8, 16, 24, 32}) {
            std::vector<float> spectrum(576);
            for (float& x : spectrum) {
                x = dist(rng) * 1000.0f;
            }
            std::vector<float> overlap(18 * 32);
            for (float& x : overlap) {
                x = dist(rng) * 1000.0f;
            }
            std::vector<float> wantOverlap = overlap;
            std::vector<float> out(32 * 24, 12345.0f);
            kernels->imdctLong(spectrum.data(), end, window, tables, overlap.data(), out.data(),
                               24);
            double worst = 0.0;
            for (int sb = 0; sb < 32; ++sb) {
                if (sb >= end) {
                    for (int i = 0; i < 18; ++i) {
                        // Subbands past the end are not touched.
                        ASSERT_EQ(out[static_cast<std::size_t>(sb * 24 + i)], 12345.0f)
                            << kernels->name;
                        ASSERT_EQ(overlap[static_cast<std::size_t>(i * 32 + sb)],
                                  wantOverlap[static_cast<std::size_t>(i * 32 + sb)]);
                    }
                    continue;
                }
                float y[36];
                sondrel::imdct36(spectrum.data() + sb * 18, y, tables);
                for (int i = 0; i < 18; ++i) {
                    float& saved = wantOverlap[static_cast<std::size_t>(i * 32 + sb)];
                    float want = y[i] * window[i] + saved;
                    saved = y[i + 18] * window[i + 18];
                    if (sb & i & 1) {
                        want = -want;
                    }
                    worst = std::max(
                        worst, double(std::abs(out[static_cast<std::size_t>(sb * 24 + i)] - want)));
                    worst = std::max(
                        worst,
                        double(std::abs(overlap[static_cast<std::size_t>(i * 32 + sb)] - saved)));
                }
            }
            // Values reach about 10^4; float rounding in another order stays far below 0.01.
            EXPECT_LT(worst, 0.01) << kernels->name << " end " << end;
        }
    }
}

} // namespace
