// A bank of single-frequency analysers: for a slice of audio it gives, per frequency, the complex
// amplitude sum_n x[n] e^(-i w n) with n counted from the slice's first sample. A full-scale sine
// at one of the frequencies gives |c| = sliceSamples / 2. Consecutive slices add up coherently
// into a longer window once slice k is turned back by e^(-i w k sliceSamples) (slice k's start
// in the longer window): the caller folds that turn into its own weights.
//
// The bank keeps no time of its own: any slice can be analysed at any time, and only the
// frequencies asked for, so a receiver measures its few start frequencies on every slice and the
// rest only where a transmission may be.
//
// Cost: two multiply-adds per sample per frequency asked for, eight lanes at a time; tables of
// 2 x frequencies x sliceSamples values (StoredFloat: float, half precision in the small build)
// are built at construction, nothing is allocated afterwards. Results are the same on every
// processor.
#pragma once

#include <complex>
#include <vector>

#include "decoder/robust_storage.h"
#include "dsp/aligned_floats.h"

namespace RYX {

class ToneBank {
  public:
    // Sets the frequencies and the slice length (an empty bank analyses nothing).
    void configure(const std::vector<float>& frequenciesHz, float sampleRate, int sliceSamples);

    int size() const { return count_; }
    int sliceSamples() const { return sliceSamples_; }
    // Analyses a slice of sliceSamples() finite samples, followed by zeros up to
    // AlignedFloats::strideFor(sliceSamples()) (a row of an AlignedFloats of that length), at
    // the frequencies first .. first + count - 1 into out[first .. first + count).
    void analyse(const float* slice, int first, int count, std::complex<float>* out) const;

  private:
    int count_ = 0;
    int sliceSamples_ = 0;
    AlignedRows<StoredFloat> cosTable_;  // count rows of sliceSamples
    AlignedRows<StoredFloat> sinTable_;
};

}  // namespace RYX
