#include "decoder/plan_receiver.h"

#include <algorithm>

#include "modes/symbol_alphabet.h"

namespace RYX {

PlanReceiver::PlanReceiver(Plan planOfReceiver, const Tuning& tuning, int ringFrames)
    : plan(planOfReceiver),
      listenFirstTone(static_cast<size_t>(ringFrames), -1),
      listenSecondTone(static_cast<size_t>(ringFrames), -1),
      frameRecords(static_cast<size_t>(ringFrames)),
      hopBins_(receiveHopBins(planOfReceiver, tuning)) {
    bool finite = true;
    for (int j = 0; j < kToneCount; ++j) {
        toneBins[j] = toneBin(plan, j, tuning);
        if (toneBins[j] == kNoBin) finite = false;
    }
    bandLowBin = toneBins[0];
    bandHighBin = toneBins[kToneCount - 1];
    symbolToTonePair(charToSymbol('1'), startPair1);
    symbolToTonePair(charToSymbol('j'), startPair2);

    // Shifts that keep b - 1 >= 0 and b + 1 <= N/2 for every tone b.
    const long long nyquistBin = tuning.windowSize / 2;
    long long lowest = toneBins[0];
    long long highest = toneBins[0];
    bool rising = true;
    for (int j = 1; j < kToneCount; ++j) {
        lowest = std::min<long long>(lowest, toneBins[j]);
        highest = std::max<long long>(highest, toneBins[j]);
        if (toneBins[j] < toneBins[j - 1]) rising = false;
    }
    minShift_ = 1 - lowest;
    maxShift_ = nyquistBin - 1 - highest;
    const long long twoSteps = 2LL * hopBins_;
    fits_ = finite && rising && minShift_ <= std::min(0LL, twoSteps) &&
            std::max(0LL, twoSteps) <= maxShift_;
}

int PlanReceiver::hopShift(int decodeState) const {
    if (!fits_) return 0;
    const long long shift = static_cast<long long>(decodeState % 3) * hopStepBins();
    return static_cast<int>(std::clamp(shift, minShift_, maxShift_));
}

}  // namespace RYX
