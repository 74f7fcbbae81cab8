#include "decoder/tone_bank.h"

#include <cmath>
#include <cstring>

#include "dsp/simd_clone.h"

namespace RYX {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kLanes = 8;
typedef float Lanes __attribute__((vector_size(kLanes * sizeof(float))));

// Eight table values as floats.
__attribute__((always_inline)) inline void loadLanes(Lanes& v, const float* from) {
    std::memcpy(&v, from, sizeof v);
}
template <typename Stored>
__attribute__((always_inline)) inline void loadLanes(Lanes& v, const Stored* from) {
    for (int lane = 0; lane < kLanes; ++lane) v[lane] = static_cast<float>(from[lane]);
}

// sum x[n] c[n] and -sum x[n] s[n] over n < count, a multiple of sixteen: sixteen partial sums
// (two vectors of eight lanes, so consecutive additions need not wait for each other), added in
// the same order on every processor (AVX or SSE registers).
RYX_WITH_AVX_CLONE std::complex<float> localSum(const float* x, const StoredFloat* c,
                                                const StoredFloat* s, int count) {
    Lanes sumC[2] = {};
    Lanes sumS[2] = {};
    static_assert(AlignedFloats::kLineFloats % (2 * kLanes) == 0, "whole lines, whole steps");
    for (int n = 0; n < count; n += 2 * kLanes) {
        for (int half = 0; half < 2; ++half) {
            Lanes vx, vc, vs;
            loadLanes(vx, x + n + half * kLanes);
            loadLanes(vc, c + n + half * kLanes);
            loadLanes(vs, s + n + half * kLanes);
            sumC[half] += vx * vc;
            sumS[half] += vx * vs;
        }
    }
    const Lanes lanesC = sumC[0] + sumC[1];
    const Lanes lanesS = sumS[0] + sumS[1];
    float re = 0.0f;
    float im = 0.0f;
    for (int lane = 0; lane < kLanes; ++lane) {
        re += lanesC[lane];
        im += lanesS[lane];
    }
    return {re, -im};
}

}  // namespace

bool ToneBank::take(Arena& arena, int count, int sliceSamples) {
    // Both are taken, so a measuring arena counts both.
    const bool cosTaken = cosTable_.take(arena, count, sliceSamples);
    const bool sinTaken = sinTable_.take(arena, count, sliceSamples);
    count_ = cosTaken && sinTaken ? count : 0;
    sliceSamples_ = sliceSamples;
    return count_ > 0;
}

void ToneBank::tune(const float* frequenciesHz, float sampleRate) {
    for (int k = 0; k < count_; ++k) {
        unitTurns(2.0 * kPi * frequenciesHz[k] / sampleRate, sliceSamples_, cosTable_.row(k),
                  sinTable_.row(k), 1);
    }
}

void ToneBank::analyse(const float* slice, int first, int count, std::complex<float>* out) const {
    for (int k = first; k < first + count; ++k) {
        // Whole lines: the zeros past the slice add nothing.
        out[k] = localSum(slice, cosTable_.row(k), sinTable_.row(k),
                          AlignedFloats::strideFor(sliceSamples_));
    }
}

}  // namespace RYX
