// The fast transforms of the decoder against their defining sums, computed directly in double
// precision, on impulses (every basis vector) and on random inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "fast_transforms.h"

namespace {

using sondrel::dct32;
using sondrel::imdct12;
using sondrel::imdct36;

double cosPi(double numerator, double denominator) {
    return std::cos(std::numbers::pi * numerator / denominator);
}

// Inputs: each unit impulse, then random vectors of large and small scale.
std::vector<std::vector<float>> inputs(int size) {
    std::vector<std::vector<float>> all;
    for (int k = 0; k < size; ++k) {
        std::vector<float> impulse(static_cast<std::size_t>(size), 0.0f);
        impulse[static_cast<std::size_t>(k)] = 1.0f;
        all.push_back(impulse);
    }
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (const float scale : {1.0f, 32768.0f, 1e-3f}) {
        for (int n = 0; n < 20; ++n) {
            std::vector<float> v(static_cast<std::size_t>(size));
            for (float& x : v) {
                x = dist(rng) * scale;
            }
            all.push_back(v);
        }
    }
    return all;
}

// Largest absolute error relative to the largest reference magnitude (and at least 1e-30).
template <typename Reference>
double relativeError(const std::vector<float>& got, int count, Reference reference) {
    double peak = 1e-30;
    double error = 0.0;
    for (int i = 0; i < count; ++i) {
        const double want = reference(i);
        peak = std::max(peak, std::abs(want));
        error = std::max(error, std::abs(want - got[static_cast<std::size_t>(i)]));
    }
    return error / peak;
}

TEST(FastTransforms, Dct32MatchesDefinition) {
    const auto factors = sondrel::makeDct32Factors();
    for (const auto& in : inputs(32)) {
        std::vector<float> out(32);
        dct32(in.data(), out.data(), factors);
        const double err = relativeError(out, 32, [&](int m) {
            double sum = 0.0;
            for (int k = 0; k < 32; ++k) {
                sum += in[static_cast<std::size_t>(k)] * cosPi(m * (2 * k + 1), 64);
            }
            return sum;
        });
        EXPECT_LT(err, 2e-6);
    }
}

TEST(FastTransforms, LongImdctMatchesDefinition) {
    const auto tables = sondrel::makeImdctTables();
    for (const auto& in : inputs(18)) {
        std::vector<float> out(36);
        imdct36(in.data(), out.data(), tables);
        const double err = relativeError(out, 36, [&](int i) {
            double sum = 0.0;
            for (int k = 0; k < 18; ++k) {
                sum += in[static_cast<std::size_t>(k)] * cosPi((2 * i + 19) * (2 * k + 1), 72);
            }
            return sum;
        });
        EXPECT_LT(err, 2e-6);
    }
}

TEST(FastTransforms, ShortImdctReadsStridedLinesAndMatchesDefinition) {
    const auto tables = sondrel::makeImdctTables();
    for (const auto& lines : inputs(6)) {
        // Interleave the six lines with stride 3 among values that must not be read.
        std::vector<float> spread(18, 1e6f);
        for (int k = 0; k < 6; ++k) {
            spread[static_cast<std::size_t>(3 * k + 1)] = lines[static_cast<std::size_t>(k)];
        }
        std::vector<float> out(12);
        imdct12(spread.data() + 1, 3, out.data(), tables);
        const double err = relativeError(out, 12, [&](int i) {
            double sum = 0.0;
            for (int k = 0; k < 6; ++k) {
                sum += lines[static_cast<std::size_t>(k)] * cosPi((2 * i + 7) * (2 * k + 1), 24);
            }
            return sum;
        });
        EXPECT_LT(err, 2e-6);
    }
}

} // namespace
