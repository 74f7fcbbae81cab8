// How much the robust receiver keeps, and in what form: the one set of storage parameters its
// code reads. The desktop build keeps single precision everywhere and measures most slices at the
// start frequencies only; a build for a small processor (RYX_SMALL_STORAGE, the Cortex-M4 build)
// trades arithmetic for memory, and hears the same texts:
//
//                                    desktop                  small (22050 Hz, one plan)
//   ring of slice amplitudes         512 slices, float        384 slices, half (41 KB)
//   tone bank tables                 float                    half (16 KB)
//   weights of a tone, per drift     13 slices stored         2 stored, the rest turned on
//   slices measured                  start tones, the rest    every frequency as it arrives,
//                                    from 64 kept slices      so one slice of samples is kept
//   drift lanes (17 hypotheses)      24: vectors of 8         17: one at a time
//   open candidates                  192 (three plans)        64 (one plan opens at most 42)
//   start tone energies kept         32 symbol positions      20 (a symbol's slices and two)
//   word search: random erasures     8,192 trials             2,048 (time, not memory)
//
// Half precision keeps 11 significant bits (a value's rounding error stays 66 dB under it) up to
// 65504; values beyond are held at 65504 (a slice sum of samples about 500 times full scale).
#pragma once

#include <algorithm>

namespace RYX {

#if defined(RYX_SMALL_STORAGE)
#if defined(__ARM_FP16_FORMAT_IEEE)
using StoredFloat = __fp16;
#else
using StoredFloat = _Float16;
#endif
constexpr int kStoredRingSlices = 384;
constexpr int kStoredWeightSlices = 2;
constexpr bool kMeasureAsHeard = true;
constexpr int kVectorLanes = 1;
constexpr int kStoredCandidates = 64;
constexpr int kStoredStartSymbols = 20;
constexpr int kStoredErasureTrials = 2048;
#else
using StoredFloat = float;
constexpr int kStoredRingSlices = 512;
constexpr int kStoredWeightSlices = 13;
constexpr bool kMeasureAsHeard = false;
constexpr int kVectorLanes = 8;
constexpr int kStoredCandidates = 192;
constexpr int kStoredStartSymbols = 32;
constexpr int kStoredErasureTrials = 8192;
#endif

// x as StoredFloat, held within its finite range (x itself for float).
inline StoredFloat toStored(float x) {
    constexpr float kLargestHalf = 65504.0f;
    if constexpr (sizeof(StoredFloat) < sizeof(float)) {
        return static_cast<StoredFloat>(std::clamp(x, -kLargestHalf, kLargestHalf));
    } else {
        return x;
    }
}

}  // namespace RYX
