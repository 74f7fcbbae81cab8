#include "decoder/tone_bank.h"

#include <cmath>
#include <cstring>

#include "dsp/simd_clone.h"

namespace RYX {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kLanes = 8;
typedef float Lanes __attribute__((vector_size(kLanes * sizeof(float))));

// sum x[n] c[n] and -sum x[n] s[n] over n < count, a multiple of sixteen: sixteen partial sums
// (two vectors of eight lanes, so consecutive additions need not wait for each other), added in
// the same order on every processor (AVX or SSE registers).
RYX_WITH_AVX_CLONE std::complex<float> localSum(const float* x, const float* c, const float* s,
                                                int count) {
    Lanes sumC[2] = {};
    Lanes sumS[2] = {};
    static_assert(AlignedFloats::kLineFloats % (2 * kLanes) == 0, "whole lines, whole steps");
    for (int n = 0; n < count; n += 2 * kLanes) {
        for (int half = 0; half < 2; ++half) {
            Lanes vx, vc, vs;
            std::memcpy(&vx, x + n + half * kLanes, sizeof vx);
            std::memcpy(&vc, c + n + half * kLanes, sizeof vc);
            std::memcpy(&vs, s + n + half * kLanes, sizeof vs);
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

void ToneBank::configure(const std::vector<float>& frequenciesHz, float sampleRate,
                         int sliceSamples) {
    count_ = static_cast<int>(frequenciesHz.size());
    sliceSamples_ = sliceSamples;
    cosTable_.assign(count_, sliceSamples);
    sinTable_.assign(count_, sliceSamples);
    for (int k = 0; k < count_; ++k) {
        unitTurns(2.0 * kPi * frequenciesHz[static_cast<size_t>(k)] / sampleRate, sliceSamples_,
                  cosTable_.row(k), sinTable_.row(k), 1);
    }
}

void unitTurns(double angle, int count, float* re, float* im, int stride) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    double x = 1.0;
    double y = 0.0;
    for (int n = 0; n < count; ++n) {
        re[static_cast<size_t>(n) * static_cast<size_t>(stride)] = static_cast<float>(x);
        im[static_cast<size_t>(n) * static_cast<size_t>(stride)] = static_cast<float>(y);
        // (x + iy)(c + is), each product rounded on its own as the complex product is.
        const double xc = x * c;
        const double ys = y * s;
        const double xs = x * s;
        const double yc = y * c;
        x = xc - ys;
        y = xs + yc;
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
