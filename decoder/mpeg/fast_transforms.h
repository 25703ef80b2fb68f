#pragma once

#include <array>

namespace sondrel {

/// Factors of the butterfly 32-point DCT: 0.5 / cos(pi (2k + 1) / 4N) for N = 16, 8, 4, 2, 1,
/// one group of N values per stage.
using Dct32Factors = std::array<float, 31>;

/// Builds the butterfly factors of dct32().
Dct32Factors makeDct32Factors();

/// out[m] = sum_k in[k] cos(pi m (2k + 1) / 64), m = 0..31, with 80 multiplications.
/// in and out may not overlap.
void dct32(const float* in, float* out, const Dct32Factors& factors);

/// Constant tables of the layer III inverse MDCTs, built once by formula.
struct ImdctTables {
    float cos9[4][9]{};  ///< cos(pi (2n + 1) j / 18), n = 0..3: the 9-point DCT-III
    float scale9[9]{};   ///< 1 / (2 cos(pi (2n + 1) / 36)): 9-point DCT-IV from DCT-III
    float scale18[18]{}; ///< 1 / (2 cos(pi (2n + 1) / 72)): 18-point DCT-IV from DCT-III
    float cos6[3][6]{};  ///< cos(pi (2n + 1) k / 12), n = 0..2: the 6-point DCT-III
    float scale6[6]{};   ///< 1 / (2 cos(pi (2n + 1) / 24)): 6-point DCT-IV from DCT-III
};

/// Builds the tables of imdct36() and imdct12().
ImdctTables makeImdctTables();

/// Long-block inverse MDCT: out[i] = sum_{k<18} in[k] cos(pi (2i + 19)(2k + 1) / 72),
/// i = 0..35, through an 18-point DCT-IV split into two 9-point DCT-IIIs (91 multiplications
/// instead of 648).
void imdct36(const float* in, float* out, const ImdctTables& tables);

/// Short-block inverse MDCT of the six lines in[0], in[stride], ..., in[5 stride]:
/// out[i] = sum_{k<6} in[k stride] cos(pi (2i + 7)(2k + 1) / 24), i = 0..11.
void imdct12(const float* in, int stride, float* out, const ImdctTables& tables);

} // namespace sondrel
