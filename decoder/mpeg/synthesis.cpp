#include "synthesis.h"

#include <cmath>
#include <numbers>

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
    auto cosine = [](int m, int k) {
        return static_cast<float>(std::cos(m * (2 * k + 1) * std::numbers::pi / 64.0));
    };
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < 8; ++k) {
            cosQuarter_[static_cast<std::size_t>(i * 8 + k)] = cosine(4 * i, k);
            cosHalf_[static_cast<std::size_t>(i * 8 + k)] = cosine(4 * i + 2, k);
        }
    }
    for (int i = 0; i < 16; ++i) {
        for (int k = 0; k < 16; ++k) {
            cosOdd_[static_cast<std::size_t>(i * 16 + k)] = cosine(2 * i + 1, k);
        }
    }
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
    // cos(m (2(31 - k) + 1) pi / 64) = (-1)^m cos(m (2k + 1) pi / 64) folds the sum in half
    // for even and odd m, and the even half folds once more the same way.
    float sum16[16];
    float diff16[16];
    for (int k = 0; k < 16; ++k) {
        sum16[k] = subbands[k] + subbands[31 - k];
        diff16[k] = subbands[k] - subbands[31 - k];
    }
    float sum8[8];
    float diff8[8];
    for (int k = 0; k < 8; ++k) {
        sum8[k] = sum16[k] + sum16[15 - k];
        diff8[k] = sum16[k] - sum16[15 - k];
    }
    float x[33];
    for (int i = 0; i < 8; ++i) {
        const float* cq = &cosQuarter_[static_cast<std::size_t>(i * 8)];
        const float* ce = &cosHalf_[static_cast<std::size_t>(i * 8)];
        float quarter = 0.0f;
        float half = 0.0f;
        for (int k = 0; k < 8; ++k) {
            quarter += cq[k] * sum8[k];
            half += ce[k] * diff8[k];
        }
        x[4 * i] = quarter;
        x[4 * i + 2] = half;
    }
    for (int i = 0; i < 16; ++i) {
        const float* c = &cosOdd_[static_cast<std::size_t>(i * 16)];
        float odd = 0.0f;
        for (int k = 0; k < 16; ++k) {
            odd += c[k] * diff16[k];
        }
        x[2 * i + 1] = odd;
    }
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
    const float* d = window_.data();
    for (int j = 0; j < 32; ++j) {
        float sum = 0.0f;
        for (int i = 0; i < 8; ++i) {
            sum += v[128 * i + j] * d[64 * i + j];
            sum += v[128 * i + 96 + j] * d[64 * i + 32 + j];
        }
        int16_t sample;
        if (sum >= 32767.0f) {
            sample = 32767;
        } else if (!(sum > -32768.0f)) {
            sample = -32768;
        } else {
            sample = static_cast<int16_t>(sum); // truncation toward zero
        }
        out[j * stride] = sample;
    }
}

} // namespace sondrel
