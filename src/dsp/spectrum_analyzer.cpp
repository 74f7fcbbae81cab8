#include "dsp/spectrum_analyzer.h"

#include <cmath>

#include "dsp/real_fft.h"

namespace RYX {
namespace {

// The lengths RealFft transforms; anything else leaves the analyser empty.
int usableLength(int n) {
    return (n >= 4 && n <= 8192 && (n & (n - 1)) == 0) ? n : 0;
}

// Built for AVX as well on x86-64 with GCC, chosen at load time; the same operations either way.
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(__clang__)
#define RYX_WITH_AVX_CLONE __attribute__((target_clones("avx", "default")))
#else
#define RYX_WITH_AVX_CLONE
#endif

RYX_WITH_AVX_CLONE void applyWindow(const float* __restrict frame, const float* __restrict window,
                                    int n, float* __restrict out) {
    for (int i = 0; i < n; ++i) out[i] = frame[i] * window[i];
}

}  // namespace

SpectrumAnalyzer::SpectrumAnalyzer(int fftLength, int hop)
    : fftLength_(usableLength(fftLength)),
      hop_(hop),
      binCount_(fftLength_ > 0 ? fftLength_ / 2 + 1 : 0),
      work_(fftLength_ > 0 ? static_cast<size_t>(fftLength_) + 1 : 0, 0.0f),
      power_(static_cast<size_t>(binCount_), 0.0f),
      window_(static_cast<size_t>(fftLength_), 0.0f) {
    if (fftLength_ == 0) return;
    // Four-term cosine window over theta = 0 .. 2 pi inclusive (symmetric, nearly zero at both
    // ends), normalised to sum to 2. For N = 2048 the raw sum S is about 962.09, and the ends,
    // 0.47 - 0.45 - 0.01 - 0.01 = 1.1e-8 in single precision, become about 2.3e-11.
    const float step = 6.2831855f / static_cast<float>(fftLength_ - 1);
    float sum = 0.0f;
    for (int i = 0; i < fftLength_; ++i) {
        const float theta = static_cast<float>(i) * step;
        const float w =
            0.47f - 0.45f * cosf(theta) - 0.01f * cosf(theta + theta) - 0.01f * cosf(theta * 3.0f);
        window_[i] = w;
        sum += w;
    }
    const float scale = sum * 0.5f;
    for (float& w : window_) w /= scale;
}

void SpectrumAnalyzer::analyze(const float* frame) {
    const int n = fftLength_;
    if (n == 0 || frame == nullptr) return;
    float* work = work_.data();
    applyWindow(frame, window_.data(), n, work);
    // work[2k+1] holds +sum x sin, the usual DFT the opposite sign, which changes no power.
    RealFftWithPowers(n, work, power_.data());
}

}  // namespace RYX
