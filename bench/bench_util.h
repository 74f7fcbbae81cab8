// Timing helpers shared by the benchmark programs. Header only; the programs link FFTW
// (single precision) for the reference timings, the library itself never does.
#pragma once

#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>

namespace RYX {
namespace bench {

// Seconds per call of f(), from about `budgetSeconds` of repeated calls: the batch size is
// doubled until one batch takes at least a fiftieth of the budget, then batches run until the
// budget is spent and the fastest batch counts (the least disturbed by the rest of the machine).
template <typename F>
double secondsPerCall(F&& f, double budgetSeconds = 0.2) {
    using Clock = std::chrono::steady_clock;
    const auto timeBatch = [&f](long calls) {
        const auto start = Clock::now();
        for (long i = 0; i < calls; ++i) f();
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    f();  // warm caches and branch predictors
    long calls = 1;
    double elapsed = timeBatch(calls);
    while (elapsed < budgetSeconds / 50.0 && calls < (1L << 40)) {
        calls *= 2;
        elapsed = timeBatch(calls);
    }
    double best = elapsed / static_cast<double>(calls);
    for (double spent = elapsed; spent < budgetSeconds;) {
        const double t = timeBatch(calls);
        spent += t;
        best = std::min(best, t / static_cast<double>(calls));
    }
    return best;
}

// Keeps the compiler from discarding a computed value.
inline volatile float keptValue = 0.0f;
inline void keep(float value) {
    keptValue = value;
}

// Seconds per single-precision FFTW real-to-complex transform of n samples: an out-of-place
// FFTW_MEASURE plan executed repeatedly on the same input (which it leaves unchanged).
inline double fftwSecondsPerTransform(int n, double budgetSeconds = 0.2) {
    float* in = fftwf_alloc_real(static_cast<std::size_t>(n));
    fftwf_complex* out = fftwf_alloc_complex(static_cast<std::size_t>(n / 2 + 1));
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);  // planning clobbers `in`
    for (int i = 0; i < n; ++i) in[i] = std::sin(0.37f * static_cast<float>(i));
    const double seconds = secondsPerCall([&] { fftwf_execute(plan); }, budgetSeconds);
    keep(out[1][0]);
    fftwf_destroy_plan(plan);
    fftwf_free(out);
    fftwf_free(in);
    return seconds;
}

}  // namespace bench
}  // namespace RYX
