#include "fast_transforms.h"

#include <cmath>
#include <numbers>

namespace sondrel {
namespace {

// One stage of the butterfly DCT-II, X[m] = sum_k x[k] cos(pi m (2k + 1) / 2N): the sums
// x[k] + x[N-1-k] give the even outputs as a DCT-II of half the size; the differences,
// scaled by 0.5 / cos(pi (2k + 1) / 2N), give a half-size DCT-II H with X[2m + 1] =
// H[m] + H[m + 1]. factors points at this stage's N / 2 factors, followed by the next stage's.
template <int N>
inline void dctStage(const float* in, float* out, const float* factors) {
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        constexpr int kHalf = N / 2;
        float sums[kHalf];
        float diffs[kHalf];
        for (int k = 0; k < kHalf; ++k) {
            sums[k] = in[k] + in[N - 1 - k];
            diffs[k] = (in[k] - in[N - 1 - k]) * factors[k];
        }
        float even[kHalf];
        float odd[kHalf];
        dctStage<kHalf>(sums, even, factors + kHalf);
        dctStage<kHalf>(diffs, odd, factors + kHalf);
        for (int m = 0; m < kHalf - 1; ++m) {
            out[2 * m] = even[m];
            out[2 * m + 1] = odd[m] + odd[m + 1];
        }
        out[N - 2] = even[kHalf - 1];
        out[N - 1] = odd[kHalf - 1];
    }
}

// 9-point DCT-III, out[n] = sum_{j<9} z[j] cos(pi (2n + 1) j / 18). Output n and 8 - n share
// the products: the odd-j terms only change sign. The middle output needs no product.
inline void dct3x9(const float* z, float* out, const ImdctTables& t) {
    for (int n = 0; n < 4; ++n) {
        const float* c = t.cos9[n];
        const float even = z[0] + z[2] * c[2] + z[4] * c[4] + z[6] * c[6] + z[8] * c[8];
        const float odd = z[1] * c[1] + z[3] * c[3] + z[5] * c[5] + z[7] * c[7];
        out[n] = even + odd;
        out[8 - n] = even - odd;
    }
    out[4] = z[0] - z[2] + z[4] - z[6] + z[8];
}

double cosPi(double numerator, double denominator) {
    return std::cos(std::numbers::pi * numerator / denominator);
}

} // namespace

Dct32Factors makeDct32Factors() {
    Dct32Factors factors{};
    std::size_t at = 0;
    for (int n = 16; n >= 1; n /= 2) {
        for (int k = 0; k < n; ++k) {
            factors[at++] = static_cast<float>(0.5 / cosPi(2 * k + 1, 4 * n));
        }
    }
    return factors;
}

void dct32(const float* in, float* out, const Dct32Factors& factors) {
    dctStage<32>(in, out, factors.data());
}

ImdctTables makeImdctTables() {
    ImdctTables t;
    for (int n = 0; n < 4; ++n) {
        for (int j = 0; j < 9; ++j) {
            t.cos9[n][j] = static_cast<float>(cosPi((2 * n + 1) * j, 18));
        }
    }
    for (int n = 0; n < 9; ++n) {
        t.scale9[n] = static_cast<float>(0.5 / cosPi(2 * n + 1, 36));
    }
    for (int n = 0; n < 18; ++n) {
        t.scale18[n] = static_cast<float>(0.5 / cosPi(2 * n + 1, 72));
    }
    for (int n = 0; n < 3; ++n) {
        for (int k = 0; k < 6; ++k) {
            t.cos6[n][k] = static_cast<float>(cosPi((2 * n + 1) * k, 12));
        }
    }
    for (int n = 0; n < 6; ++n) {
        t.scale6[n] = static_cast<float>(0.5 / cosPi(2 * n + 1, 24));
    }
    return t;
}

void imdct36(const float* in, float* out, const ImdctTables& tables) {
    // The 36 outputs are, up to sign and order, the 18-point DCT-IV
    // T[n] = sum_k in[k] cos(pi (2n + 1)(2k + 1) / 72). With y[k] = in[k] + in[k - 1],
    // 2 cos(pi (2n + 1) / 72) T[n] = sum_k y[k] cos(pi (2n + 1) k / 36), an 18-point DCT-III.
    // Its even-k half is a 9-point DCT-III (mirrored for n >= 9); its odd-k half is a 9-point
    // DCT-IV (negated mirror for n >= 9), which the same identity turns into a DCT-III.
    float evenIn[9];
    float oddIn[9];
    evenIn[0] = in[0];
    oddIn[0] = in[1] + in[0];
    for (int j = 1; j < 9; ++j) {
        evenIn[j] = in[2 * j] + in[2 * j - 1];
        oddIn[j] = in[2 * j + 1] + in[2 * j];
    }
    // Sums of neighbours of the odd half: oddIn[j] + oddIn[j - 1].
    for (int j = 8; j > 0; --j) {
        oddIn[j] += oddIn[j - 1];
    }
    float even[9];
    float odd[9];
    dct3x9(evenIn, even, tables);
    dct3x9(oddIn, odd, tables);
    float t[18];
    for (int n = 0; n < 9; ++n) {
        const float o = odd[n] * tables.scale9[n];
        t[n] = (even[n] + o) * tables.scale18[n];
        t[17 - n] = (even[n] - o) * tables.scale18[17 - n];
    }
    for (int i = 0; i < 9; ++i) {
        out[i] = t[i + 9];
        out[i + 27] = -t[i];
    }
    for (int i = 9; i < 27; ++i) {
        out[i] = -t[26 - i];
    }
}

void imdct12(const float* in, int stride, float* out, const ImdctTables& tables) {
    // As imdct36: a 6-point DCT-IV through a 6-point DCT-III of neighbour sums, whose outputs
    // n and 5 - n share products.
    float y[6];
    y[0] = in[0];
    for (int k = 1; k < 6; ++k) {
        y[k] = in[k * stride] + in[(k - 1) * stride];
    }
    float t[6];
    for (int n = 0; n < 3; ++n) {
        const float* c = tables.cos6[n];
        const float even = y[0] + y[2] * c[2] + y[4] * c[4];
        const float odd = y[1] * c[1] + y[3] * c[3] + y[5] * c[5];
        t[n] = (even + odd) * tables.scale6[n];
        t[5 - n] = (even - odd) * tables.scale6[5 - n];
    }
    for (int i = 0; i < 3; ++i) {
        out[i] = t[i + 3];
        out[i + 9] = -t[i];
    }
    for (int i = 3; i < 9; ++i) {
        out[i] = -t[8 - i];
    }
}

} // namespace sondrel
