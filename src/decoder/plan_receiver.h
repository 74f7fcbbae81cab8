// The per-plan state of a receiver: where the nine tones of one frequency plan lie in the
// spectrum, the band whose mean is the reference level, the start pattern, the listening history
// and the records of the symbol period being decided. A single-plan decoder owns one; the
// all-modes decoder owns three and runs the same listening and receiving steps on each (the steps
// themselves are members of Decoder, which owns the shared spectrum ring and scratch arrays).
//
// Fit. A plan fits the spectrum of an N-point analysis when every bin the receiver reads stays
// inside 0 .. N/2: the three bins b - 1, b, b + 1 of every tone b, raised by 0, 1 or 2 hop steps.
// With rising tones and a non-negative hop that is toneBins[0] - 1 >= 0 and
// toneBins[8] + 2 x hop + 1 <= N/2 (audible at 22050 Hz, N = 1024: 433 + 48 + 1 = 482 <= 512
// fits; non-audible there starts at bin 827 and does not). A plan that does not fit, or whose
// tones fall (negative spacing) or are not finite, is never measured: its receiver never
// recognises a message and reads nothing but the spectrum it was given.
#pragma once

#include <vector>

#include "modes/frequency_plan.h"

namespace RYX {

// One analysis frame of the symbol period being decided.
struct FrameRecord {
    int symbol = 0;          // tonePairToSymbol(tone1, tone2), -1 if that pair carries none
    float meanSnr = 0.0f;    // (snr1 + snr2) x 0.5, dB
    int tone1 = 0;           // strongest tone 0..8
    int tone2 = 0;           // second strongest tone 0..8
    float snr1 = 0.0f;       // their levels in dB against the period's band mean
    float snr2 = 0.0f;
    float energySum = 0.0f;  // toneEnergy[tone2] + toneEnergy[tone1]
};

struct PlanReceiver {
    // Tone bins of `plan` for the tuning's N-point analysis at its rate; ringFrames R sizes the
    // listen arrays and the records. R >= 2.
    PlanReceiver(Plan plan, const Tuning& tuning, int ringFrames);

    // True when every bin this receiver reads lies inside the spectrum (see above).
    bool fits() const { return fits_; }

    // Receiving hop step in bins, fixed by the tuning (receiveHopBins).
    int hopStepBins() const { return hopBins_; }

    // Bins to add to every tone bin while awaiting symbol number decodeState (1..18):
    // (decodeState mod 3) x hopStepBins(), clamped so that b - 1 and b + 1 stay inside the
    // spectrum for every tone. 0 for a receiver that does not fit.
    int hopShift(int decodeState) const;

    Plan plan;
    int toneBins[9];      // analysis bin of each tone, unshifted
    int bandLowBin;       // toneBins[0]: the inclusive band whose mean is the reference level
    int bandHighBin;      // toneBins[8]
    int startPair1[2];    // tone pair of the first start symbol (0, 2); only tone 0 is tested
    int startPair2[2];    // tone pair of the second start symbol (2, 7); only tone 2 is tested
    int readPos = 0;      // ring slot where the current window begins (spectrumReadPos)
    std::vector<int> listenFirstTone;   // R: strongest tone of each frame while listening, -1
    std::vector<int> listenSecondTone;  // R: second strongest, -1
    std::vector<FrameRecord> frameRecords;  // R, zeroed

private:
    int hopBins_;
    long long minShift_ = 0;  // shifts outside minShift_ .. maxShift_ would leave the spectrum
    long long maxShift_ = 0;
    bool fits_ = false;
};

}  // namespace RYX
