#include "synthesis.h"

#include "fast_transforms.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sondrel {
namespace {

// First half of the synthesis window D[0..256], in units of 2^-16 (every coefficient of the
// window is an exact multiple of that). The second half mirrors it: D[512 - i] = -D[i], except
// at multiples of 64 where the sign is kept.
constexpr int kWindowHalf[257] = {
    0, -1, -1, -1, -1, -1, -1, -2, -2, -2, -2, -3,
    -3, -4, -4, -5, -5, -6, -7, -7, -8, -9, -10, -11,
    -13, -14, -16, -17, -19, -21, -24, -26, -29, -31, -35, -38,
    -41, -45, -49, -53, -58, -63, -68, -73, -79, -85, -91, -97,
    -104, -111, -117, -125, -132, -139, -147, -154, -161, -169, -176, -183,
    -190, -196, -202, -208, 213, 218, 222, 225, 227, 228, 228, 227,
    224, 221, 215, 208, 200, 189, 177, 163, 146, 127, 106, 83,
    57, 29, -2, -36, -72, -111, -153, -197, -244, -294, -347, -401,
    -459, -519, -581, -645, -711, -779, -848, -919, -991, -1064, -1137, -1210,
    -1283, -1356, -1428, -1498, -1567, -1634, -1698, -1759, -1817, -1870, -1919, -1962,
    -2001, -2032, -2057, -2075, -2085, -2087, -2080, -2063, 2037, 2000, 1952, 1893,
    1822, 1739, 1644, 1535, 1414, 1280, 1131, 970, 794, 605, 402, 185,
    -45, -288, -545, -814, -1095, -1388, -1692, -2006, -2330, -2663, -3004, -3351,
    -3705, -4063, -4425, -4788, -5153, -5517, -5879, -6237, -6589, -6935, -7271, -7597,
    -7910, -8209, -8491, -8755, -8998, -9219, -9416, -9585, -9727, -9838, -9916, -9959,
    -9966, -9935, -9863, -9750, -9592, -9389, -9139, -8840, -8492, -8092, -7640, -7134,
    6574, 5959, 5288, 4561, 3776, 2935, 2037, 1082, 70, -998, -2122, -3300,
    -4533, -5818, -7154, -8540, -9975, -11455, -12980, -14548, -16155, -17799, -19478, -21189,
    -22929, -24694, -26482, -28289, -30112, -31947, -33791, -35640, -37489, -39336, -41176, -43006,
    -44821, -46617, -48390, -50137, -51853, -53534, -55178, -56778, -58333, -59838, -61289, -62684,
    -64019, -65290, -66494, -67629, -68692, -69679, -70590, -71420, -72169, -72835, -73415, -73908,
    -74313, -74630, -74856, -74992, 75038,
};

} // namespace

PolyphaseSynthesis::PolyphaseSynthesis() {
    for (int i = 0; i <= 256; ++i) {
        window_[static_cast<std::size_t>(i)] = static_cast<float>(kWindowHalf[i]) / 65536.0f;
    }
    for (int i = 257; i < 512; ++i) {
        const float mirrored = window_[static_cast<std::size_t>(512 - i)];
        window_[static_cast<std::size_t>(i)] = (i % 64 == 0) ? mirrored : -mirrored;
    }
    dctFactors_ = makeDct32Factors();
    clear();
}

void PolyphaseSynthesis::clear() {
    for (auto& ring : ring_) {
        ring.fill(0.0f);
    }
    base_.fill(0);
}

void PolyphaseSynthesis::synthesize(int ch, const float* subbands, int16_t* out, int stride) {
    // Matrixing: X[m] = sum_k S[k] cos(m (2k + 1) pi / 64), m = 0..31 (X[32] is zero).
    float x[33];
    dct32(subbands, x, dctFactors_);
    x[32] = 0.0f;

    // The 64 new values of V, from the symmetries of cos((16 + i)(2k + 1) pi / 64).
    auto& ring = ring_[static_cast<std::size_t>(ch)];
    int& base = base_[static_cast<std::size_t>(ch)];
    base = (base - 64) & 1023;
    float* v = &ring[static_cast<std::size_t>(base)];
    float* vMirror = &ring[static_cast<std::size_t>(base + 1024)];
    for (int i = 0; i <= 16; ++i) {
        v[i] = x[16 + i];
    }
    for (int i = 17; i <= 48; ++i) {
        v[i] = -x[48 - i];
    }
    for (int i = 49; i < 64; ++i) {
        v[i] = -x[i - 48];
    }
    // The ring is stored twice in a row so that the window pass reads without wrapping.
    for (int i = 0; i < 64; ++i) {
        vMirror[i] = v[i];
    }

    // Window pass: sample j sums V[128 i + j] D[64 i + j] + V[128 i + 96 + j] D[64 i + 32 + j].
    // The loop runs over j innermost so that it reads both arrays contiguously and the
    // compiler can vectorise it; every sum still adds its 16 products in the order of i.
    const float* d = window_.data();
    float sums[32] = {};
    for (int i = 0; i < 8; ++i) {
        const float* va = v + 128 * i;
        const float* vb = va + 96;
        const float* da = d + 64 * i;
        const float* db = da + 32;
        for (int j = 0; j < 32; ++j) {
            sums[j] += va[j] * da[j];
            sums[j] += vb[j] * db[j];
        }
    }
    // Clip to the 16-bit range, then truncate toward zero. A NaN (never produced from valid
    // tables) ends at the lower limit on both paths.
    int16_t samples[32];
#if defined(__SSE2__)
    const __m128 low = _mm_set1_ps(-32768.0f);
    const __m128 high = _mm_set1_ps(32767.0f);
    for (int j = 0; j < 32; j += 8) {
        const __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(sums + j), low), high);
        const __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(sums + j + 4), low), high);
        const __m128i packed = _mm_packs_epi32(_mm_cvttps_epi32(a), _mm_cvttps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + j), packed);
    }
#else
    for (int j = 0; j < 32; ++j) {
        float sum = sums[j] > -32768.0f ? sums[j] : -32768.0f;
        sum = sum < 32767.0f ? sum : 32767.0f;
        samples[j] = static_cast<int16_t>(static_cast<int>(sum));
    }
#endif
    for (int j = 0; j < 32; ++j) {
        out[j * stride] = samples[j];
    }
}

} // namespace sondrel
