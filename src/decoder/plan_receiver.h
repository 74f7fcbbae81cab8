// The symbol-period measurement of one frequency plan: where its nine tones lie in the spectrum,
// the band whose mean is the reference level, its listening history and the decision of each
// symbol period. A single-plan decoder drives one; the all-modes decoder drives three over the
// same spectra.
//
// Fit. A plan fits the spectrum of an N-point analysis when every bin the receiver reads stays
// inside 0 .. N/2: the three bins b - 1, b, b + 1 of every tone b, raised by 0, 1 or 2 hop steps.
// With rising tones and a non-negative hop that is toneBin(0) - 1 >= 0 and
// toneBin(8) + 2 x hop + 1 <= N/2 (audible at 22050 Hz, N = 1024: 433 + 48 + 1 = 482 <= 512
// fits; non-audible there starts at bin 827 and does not). A plan that does not fit, or whose
// tones fall (negative spacing) or are not finite, is never measured: its receiver never
// recognises a message and reads nothing.
//
// Levels. A tone's level in a frame is 20 log10(s / 3 / bandMean) dB, s the power summed over
// its three bins and bandMean the mean power of the bins toneBin(0) .. toneBin(8): of the frame
// itself while listening, of the whole symbol period (in double precision) while receiving.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "decoder/spectrum_ring.h"
#include "modes/frequency_plan.h"
#include "modes/symbol_alphabet.h"

namespace RYX {

// The strongest and second strongest of nine tone levels, as a bubble sort that swaps only on
// strictly greater orders them (equal and undefined levels keep ascending tone order). A frame
// with no defined (non-NaN) level names no tone: both are -1.
void rankTones(const float* levels, int& first, int& second);

// What one symbol period gave.
struct SymbolPeriod {
    bool complete = false;  // false: fewer than H frames stored since the period began
    int symbol = -1;        // the decided symbol, -1 when the winning pair carries none
    float meanSnr = 0.0f;   // sum over the frames agreeing with the decision of their two
                            // tones' mean level (dB), divided by H
    float level = 0.0f;     // sum over those frames of both tones' powers x (N/2 + 1) / H,
                            // divided by H
};

class PlanReceiver {
  public:
    // Tone bins of `plan` for the tuning's N-point analysis at its rate; ringFrames R >= 2 sizes
    // the listening history.
    PlanReceiver(Plan plan, const Tuning& tuning, int ringFrames);

    Plan plan() const { return plan_; }
    // True when every bin this receiver reads lies inside the spectrum (see above).
    bool fits() const { return fits_; }
    // Analysis bin of tone j (0..8), unshifted.
    int toneBin(int j) const { return toneBins_[static_cast<size_t>(j)]; }
    // Receiving hop step in bins, fixed by the tuning (receiveHopBins).
    int hopStepBins() const { return hopBins_; }
    // Bins to add to every tone bin while awaiting symbol number decodeState (1..18):
    // (decodeState mod 3) x hopStepBins(), clamped so that b - 1 and b + 1 stay inside the
    // spectrum for every tone. 0 for a receiver that does not fit.
    int hopShift(int decodeState) const;
    // The lowest and highest bin the receiver ever reads (only meaningful when it fits).
    int lowestBinRead() const;
    int highestBinRead() const;

    // Listening: ranks the tone levels of `spectrum` (N/2 + 1 powers, the newest frame) and
    // records the two strongest at ring slot `slot`.
    void listen(const float* spectrum, int slot);
    // The start test on the listening history (SpectrumRing::startTest); on success the first
    // symbol period begins at the ring's write position.
    bool startTest(const SpectrumRing& ring);
    // Receiving: once H frames are stored from readPos, ranks the tones of each (hop-shifted for
    // decodeState), lets every frame vote for its two strongest and decides the pair with most
    // votes (lowest tones among equal counts).
    SymbolPeriod decide(const SpectrumRing& ring, int decodeState);

    // The slot where the current window (listening) or symbol period (receiving) begins.
    int readPos() const { return readPos_; }
    void setReadPos(int slot) { readPos_ = slot; }
    // Strongest and second strongest tone heard at each slot while listening, -1 for none.
    const std::vector<int>& listenFirstTone() const { return listenFirstTone_; }
    const std::vector<int>& listenSecondTone() const { return listenSecondTone_; }

  private:
    // One frame of the symbol period being decided.
    struct FrameRecord {
        int tone1 = 0;           // strongest tone
        int tone2 = 0;           // second strongest
        float meanSnr = 0.0f;    // their mean level, dB
        float energySum = 0.0f;  // their powers x (N/2 + 1) / H
    };

    Plan plan_;
    std::array<int, kToneCount> toneBins_{};
    int bandLowBin_;   // toneBin(0): the inclusive band whose mean is the reference level
    int bandHighBin_;  // toneBin(8)
    int startTone1_;   // the tone sounding the first start symbol
    int startTone2_;   // the tone the second start symbol shares with nothing before it
    int binCount_;     // N/2 + 1
    int hopBins_;
    long long minShift_ = 0;  // shifts outside minShift_ .. maxShift_ would leave the spectrum
    long long maxShift_ = 0;
    bool fits_ = false;

    int readPos_ = 0;
    std::vector<int> listenFirstTone_;   // R
    std::vector<int> listenSecondTone_;  // R
    std::vector<FrameRecord> records_;   // H
};

}  // namespace RYX
