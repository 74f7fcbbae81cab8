// The one value that fixes where a receiver or transmitter puts its tones: the sample rate, the
// analysis window length and the custom band. Encoders and decoders take it explicitly and keep
// their own copy, so two of them built at different rates never influence each other.
//
// Hop steps follow the window length: with r = windowSize / 44100 (single precision) a hop of k
// bins is k / r Hz, 258.3984375 Hz for the audible plan's 12 bins at a 2048-point window and
// 516.796875 Hz at 1024.
#pragma once

namespace RYX {

// Lowest and highest sample rates anything accepts: below 1000 Hz a symbol period spans fewer
// than four analysis frames, above 1 MHz ten seconds of audio (the encoder's buffer) exceed 40 MB.
constexpr float kMinSampleRate = 1000.0f;
constexpr float kMaxSampleRate = 1000000.0f;

// The one range check of a sample rate: finite and within kMinSampleRate..kMaxSampleRate.
bool sampleRateInRange(float sampleRate);

// The custom plan: tone 0 at baseHz (before snapping to a bin) and a hop of stepParam + 2 bins.
struct CustomBand {
    float baseHz = 12000.0f;
    int stepParam = 1;
};

// The phone preset's band: tone 0 from 600 Hz with the default step, the nine tones and their hops
// within 0.6 .. 2.3 kHz (at a 2048-point window), inside a telephone line's 300 .. 3400 Hz.
constexpr CustomBand kPhoneBand{600.0f, 1};

struct Tuning {
    float sampleRate = 44100.0f;  // Hz
    int windowSize = 2048;        // analysis length in samples (a power of two)
    CustomBand custom;
};

// Analysis window length for a capture rate: 2048 at 48000 and 44100 Hz, 1024 at 22050, 512 at
// 11050, 256 for anything else (11025, 8000, NaN included). Exact single-precision comparison.
int windowSizeFor(float sampleRate);

// The tuning of a capture at sampleRate: windowSize = windowSizeFor(sampleRate) (2048 at 44100
// and 48000 Hz, 1024 at 22050).
Tuning makeTuning(float sampleRate, CustomBand custom = {});

// Custom hop in bins: stepParam + 2, wrapping (never overflowing) for absurd step parameters.
int customStepBins(const CustomBand& custom);

}  // namespace RYX
