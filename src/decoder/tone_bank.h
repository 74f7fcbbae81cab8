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
// are taken from the owner's arena and filled once, nothing is allocated. Results are the same on
// every processor.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>

#include "decoder/robust_storage.h"
#include "dsp/aligned_floats.h"
#include "dsp/arena.h"

namespace RYX {

// e^(i angle n) for n = 0 .. count - 1, by repeated turns in double precision (a few hundred
// steps stay far inside a float's precision, at a fraction of the cost of a sine and cosine
// each), rounded to float and stored as T (float, or StoredFloat) into re[n x stride] and
// im[n x stride]. angle pi/2, count 3 -> re 1, 0, -1 and im 0, 1, 0.
template <typename T>
void unitTurns(double angle, int count, T* re, T* im, int stride) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    double x = 1.0;
    double y = 0.0;
    for (int n = 0; n < count; ++n) {
        re[static_cast<size_t>(n) * static_cast<size_t>(stride)] =
            static_cast<T>(static_cast<float>(x));
        im[static_cast<size_t>(n) * static_cast<size_t>(stride)] =
            static_cast<T>(static_cast<float>(y));
        // (x + iy)(c + is), each product rounded on its own as the complex product is.
        const double xc = x * c;
        const double ys = y * s;
        const double xs = x * s;
        const double yc = y * c;
        x = xc - ys;
        y = xs + yc;
    }
}

class ToneBank {
  public:
    // Takes the tables of `count` frequencies over slices of `sliceSamples` from `arena`
    // (2 x count x AlignedFloats::strideFor(sliceSamples) values: 2 x 27 x 144 halves, 15.2 KiB,
    // for one plan at 22050 Hz in the small build); false, and an empty bank, when they do not
    // fit. An empty bank analyses nothing.
    bool take(Arena& arena, int count, int sliceSamples);
    // Fills the tables for frequenciesHz[0 .. size()) at `sampleRate`.
    void tune(const float* frequenciesHz, float sampleRate);

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
