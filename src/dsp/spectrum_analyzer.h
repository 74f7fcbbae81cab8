// Windowed power spectrum of one analysis frame: a four-term cosine window that sums to 2, the
// real FFT, and N/2 + 1 raw power values (no scaling, no logarithm).
#pragma once

#include <vector>

namespace RYX {

class SpectrumAnalyzer {
  public:
    // N a power of two (256..2048 in use; 4..8192 accepted); hop is the caller's frame advance,
    // kept for it only. Any other N gives an empty analyser: fftLength() and binCount() are 0 and
    // analyze() does nothing.
    SpectrumAnalyzer(int fftLength, int hop);

    // N samples in, N/2 + 1 powers out in powerSpectrum(); reads exactly N floats, allocates
    // nothing (a null frame is ignored). A bin-centred sine of amplitude A shows power about
    // A^2 in its bin.
    void analyze(const float* frame);

    const float* powerSpectrum() const { return power_.data(); }
    int binCount() const { return binCount_; }  // N/2 + 1
    int fftLength() const { return fftLength_; }
    int hop() const { return hop_; }
    const float* window() const { return window_.data(); }                 // N values summing to 2
    int windowLength() const { return static_cast<int>(window_.size()); }  // N

  private:
    int fftLength_;
    int hop_;
    int binCount_;
    std::vector<float> work_;    // N + 1 floats, the windowed frame transformed in place
    std::vector<float> power_;   // N/2 + 1
    std::vector<float> window_;  // N
};

}  // namespace RYX
