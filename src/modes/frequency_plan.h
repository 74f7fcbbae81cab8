// Frequency plans, hop and timing: where the nine tones of each plan lie, how loud they are, how
// they hop from one symbol position to the next and how long a symbol lasts. Encoders turn these
// into sample frequencies, decoders into FFT bins; both read them from here so they cannot drift.
#pragma once

#include "modes/message_frame.h"  // the frame positions the hop follows
#include "modes/tuning.h"

namespace RYX {

// The plans, numbered as the decoders report them (decodedMode).
enum class Plan : int { Audible = 0, NonAudible = 1, Compression = 2, Custom = 3 };

// One plan under one tuning.
struct FrequencyPlan {
    float baseHz;          // tone 0 before snapping
    float spacingHz;       // distance between neighbouring tones before snapping
    float hopStepHz;       // encoder hop step, not snapped: hop bins / (windowSize / 44100)
    int hopStepBins;       // receiving hop step in bins at 44100 and 48000 Hz
    bool equalAmplitudes;  // audible: every tone 1.0; others 0.85 rising to 1.0 at tone 8
};

constexpr float kSymbolSeconds = 0.104489796f;  // 4608 / 44100 in single precision

// The plan under `tuning`: audible 3300 Hz base, 750 Hz spacing, 12-bin hop; non-audible 17800 Hz
// and compression 14000 Hz with a spacing of three hops of 4 and 3 bins; custom from the tuning's
// band with a hop of stepParam + 2 bins.
FrequencyPlan frequencyPlan(Plan plan, const Tuning& tuning);

// Single-precision product sampleRate x 0.104489796, before truncation (4608.0 at 44100 Hz).
float symbolDurationExact(float sampleRate);
// Samples per symbol: 4608 at 44100 Hz, 5015 at 48000 Hz, 2304 at 22050 Hz.
int symbolDuration(float sampleRate);

// sampleRate / windowSize in single precision: 21.533203125 Hz at 44100/2048.
float binWidth(float sampleRate, int windowSize);

// The multiple of binWidth nearest to f, halves going up: int(f / binWidth + 0.5) x binWidth with
// the quotient single, the + 0.5 double and the truncation toward zero. 12000 -> 11993.994140625
// at 44100/2048. Values beyond the int range give the nearest representable result, never UB.
float snapToBin(float f, float binWidth);

// Tone j (0..8) of the plan: snapToBin(base) + j x snapToBin(spacing), in Hz, with the bin width
// of the tuning's rate and window.
float toneFrequency(Plan plan, int j, const Tuning& tuning);

// Tone amplitude: 1.0 for audible, (j x 0.15) / 8 + 0.85 for the others.
float toneAmplitude(Plan plan, int j);

// Hop steps of transmission position p: none for p < 2, else (p - 1) mod 3, so positions 2, 3, 4
// get 1, 2, 0 steps.
constexpr int kHopPositions = 3;  // a tone sounds raised by 0, 1 or 2 hop steps
int hopSteps(int position);

// Whether the plan's tones can be sent and told apart under `tuning`: the nine tones strictly
// rising (distinct) and every one of them, raised by 0, 1 or 2 hop steps, finite and strictly
// between 0 and half the rate. Not so for the audible plan above 384000 Hz, whose 750 Hz
// spacing snaps to zero whole bins of the 256-point window there (every tone at one frequency),
// nor for a plan reaching beyond the Nyquist frequency.
bool planTonesFit(Plan plan, const Tuning& tuning);

// The two frequencies of `symbol` at `position`, each raised by the hop in Hz (encoder side).
void symbolFrequencies(Plan plan, int symbol, int position, const Tuning& tuning, float out[2]);

// The tone amplitudes of the two tones of `symbol`.
void symbolAmplitudes(Plan plan, int symbol, float out[2]);

// FFT bin of tone j: int(toneFrequency x (windowSize / sampleRate) + 0.5), bins per Hz formed once
// in single precision, the + 0.5 in double. 153 for audible tone 0 at 44100/2048. A frequency that
// is not finite or lies beyond the int range gives kNoBin.
constexpr int kNoBin = -2147483647 - 1;
int toneBin(Plan plan, int j, const Tuning& tuning);

// The receiving hop step in bins. At 44100 and 48000 Hz the plan's fixed bin step (12, 4, 3,
// customStepBins); at other rates the encoder's step in Hz times bins per Hz, rounded, so the
// receiver looks where the encoder put the tone (24 bins for audible at 22050/1024).
int receiveHopBins(Plan plan, const Tuning& tuning);

// The custom decoding band: begin = snapToBin(custom base), end = begin + 9 spacings (one
// spacing above tone 8). 11993.994140625 .. 13738.18359375 Hz at 44100/2048 with the defaults.
float customBandBegin(const Tuning& tuning);
float customBandEnd(const Tuning& tuning);

}  // namespace RYX
