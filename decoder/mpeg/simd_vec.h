#pragma once

// A small vector of floats for the decoder's kernels, chosen by the translation unit that
// includes this header: SONDREL_VEC_AVX2 (8 lanes, with fused multiply-add; the unit is built
// with -mavx2 -mfma), SONDREL_VEC_SSE2 (4 lanes), or neither (1 lane, plain C++). Everything
// here has internal linkage, so that no inline function built for one instruction set is shared
// with a unit built for another.

#include <cstdint>

#if defined(SONDREL_VEC_AVX2)
#include <immintrin.h>
#elif defined(SONDREL_VEC_SSE2)
#include <xmmintrin.h>
#include <emmintrin.h>
#endif

namespace {

#if defined(SONDREL_VEC_AVX2)

struct Vec {
    __m256 v;
    static constexpr int kLanes = 8;
    static Vec load(const float* p) { return {_mm256_loadu_ps(p)}; }
    static Vec splat(float x) { return {_mm256_set1_ps(x)}; }
    static Vec zero() { return {_mm256_setzero_ps()}; }
    void store(float* p) const { _mm256_storeu_ps(p, v); }
};
inline Vec operator+(Vec a, Vec b) {
    return {_mm256_add_ps(a.v, b.v)};
}
inline Vec operator-(Vec a, Vec b) {
    return {_mm256_sub_ps(a.v, b.v)};
}
inline Vec operator*(Vec a, Vec b) {
    return {_mm256_mul_ps(a.v, b.v)};
}
/// a * b + c
inline Vec mulAdd(Vec a, Vec b, Vec c) {
    return {_mm256_fmadd_ps(a.v, b.v, c.v)};
}
inline Vec negate(Vec a) {
    return {_mm256_xor_ps(a.v, _mm256_set1_ps(-0.0f))};
}
/// The lanes in reverse order.
inline Vec reverse(Vec a) {
    return {_mm256_permutevar8x32_ps(a.v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0))};
}
/// Transposes kLanes x kLanes values: afterwards rows[i] holds lane i of the rows before.
inline void transpose(Vec* rows) {
    const __m256 t0 = _mm256_unpacklo_ps(rows[0].v, rows[1].v);
    const __m256 t1 = _mm256_unpackhi_ps(rows[0].v, rows[1].v);
    const __m256 t2 = _mm256_unpacklo_ps(rows[2].v, rows[3].v);
    const __m256 t3 = _mm256_unpackhi_ps(rows[2].v, rows[3].v);
    const __m256 t4 = _mm256_unpacklo_ps(rows[4].v, rows[5].v);
    const __m256 t5 = _mm256_unpackhi_ps(rows[4].v, rows[5].v);
    const __m256 t6 = _mm256_unpacklo_ps(rows[6].v, rows[7].v);
    const __m256 t7 = _mm256_unpackhi_ps(rows[6].v, rows[7].v);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
    rows[0].v = _mm256_permute2f128_ps(u0, u4, 0x20);
    rows[1].v = _mm256_permute2f128_ps(u1, u5, 0x20);
    rows[2].v = _mm256_permute2f128_ps(u2, u6, 0x20);
    rows[3].v = _mm256_permute2f128_ps(u3, u7, 0x20);
    rows[4].v = _mm256_permute2f128_ps(u0, u4, 0x31);
    rows[5].v = _mm256_permute2f128_ps(u1, u5, 0x31);
    rows[6].v = _mm256_permute2f128_ps(u2, u6, 0x31);
    rows[7].v = _mm256_permute2f128_ps(u3, u7, 0x31);
}

#elif defined(SONDREL_VEC_SSE2)

struct Vec {
    __m128 v;
    static constexpr int kLanes = 4;
    static Vec load(const float* p) { return {_mm_loadu_ps(p)}; }
    static Vec splat(float x) { return {_mm_set1_ps(x)}; }
    static Vec zero() { return {_mm_setzero_ps()}; }
    void store(float* p) const { _mm_storeu_ps(p, v); }
};
inline Vec operator+(Vec a, Vec b) {
    return {_mm_add_ps(a.v, b.v)};
}
inline Vec operator-(Vec a, Vec b) {
    return {_mm_sub_ps(a.v, b.v)};
}
inline Vec operator*(Vec a, Vec b) {
    return {_mm_mul_ps(a.v, b.v)};
}
inline Vec mulAdd(Vec a, Vec b, Vec c) {
    return {_mm_add_ps(_mm_mul_ps(a.v, b.v), c.v)};
}
inline Vec negate(Vec a) {
    return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))};
}
inline Vec reverse(Vec a) {
    return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(0, 1, 2, 3))};
}
inline void transpose(Vec* rows) {
    _MM_TRANSPOSE4_PS(rows[0].v, rows[1].v, rows[2].v, rows[3].v);
}

#else

struct Vec {
    float v;
    static constexpr int kLanes = 1;
    static Vec load(const float* p) { return {*p}; }
    static Vec splat(float x) { return {x}; }
    static Vec zero() { return {0.0f}; }
    void store(float* p) const { *p = v; }
};
inline Vec operator+(Vec a, Vec b) {
    return {a.v + b.v};
}
inline Vec operator-(Vec a, Vec b) {
    return {a.v - b.v};
}
inline Vec operator*(Vec a, Vec b) {
    return {a.v * b.v};
}
inline Vec mulAdd(Vec a, Vec b, Vec c) {
    return {a.v * b.v + c.v};
}
inline Vec negate(Vec a) {
    return {-a.v};
}
inline Vec reverse(Vec a) {
    return a;
}
inline void transpose(Vec*) {}

#endif

/// Clips 32 sums to the 16-bit range and truncates them toward zero. A NaN (never produced
/// from valid tables) ends at the lower limit on every path.
inline void toPcm32(const float* sums, int16_t* out) {
#if defined(SONDREL_VEC_AVX2) || defined(SONDREL_VEC_SSE2)
    const __m128 low = _mm_set1_ps(-32768.0f);
    const __m128 high = _mm_set1_ps(32767.0f);
    for (int j = 0; j < 32; j += 8) {
        const __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(sums + j), low), high);
        const __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(sums + j + 4), low), high);
        const __m128i packed = _mm_packs_epi32(_mm_cvttps_epi32(a), _mm_cvttps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), packed);
    }
#else
    for (int j = 0; j < 32; ++j) {
        float sum = sums[j] > -32768.0f ? sums[j] : -32768.0f;
        sum = sum < 32767.0f ? sum : 32767.0f;
        out[j] = static_cast<int16_t>(static_cast<int>(sum));
    }
#endif
}

} // namespace
