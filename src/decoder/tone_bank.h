// A bank of single-frequency analysers: for each slice of audio it gives, per frequency, the
// complex amplitude sum_n x[n] e^(-i w t_n) with t_n counted from the first sample the bank saw,
// so coefficients of consecutive slices add up coherently into longer analysis windows.
// A full-scale sine at one of the frequencies gives |c| = sliceSamples / 2 per slice.
//
// Cost: two multiply-adds per sample per frequency; tables of 2 x frequencies x sliceSamples
// floats are built at construction, nothing is allocated afterwards.
#pragma once

#include <complex>
#include <vector>

namespace RYX {

class ToneBank {
  public:
    // Sets the frequencies and the slice length and restarts the time reference (an empty
    // bank analyses nothing).
    void configure(const std::vector<float>& frequenciesHz, float sampleRate, int sliceSamples);

    int size() const { return count_; }
    int sliceSamples() const { return sliceSamples_; }
    // Analyses one slice of sliceSamples() finite samples into out[0 .. size()).
    void analyse(const float* slice, std::complex<float>* out);
    // Restarts the time reference (the next slice is again the first).
    void reset();

  private:
    int count_ = 0;
    int sliceSamples_ = 0;
    std::vector<float> cosTable_;  // count x sliceSamples
    std::vector<float> sinTable_;
    std::vector<std::complex<double>> rotator_;  // e^(-i w t) at the current slice start
    std::vector<std::complex<double>> step_;     // e^(-i w sliceSamples)
};

}  // namespace RYX
