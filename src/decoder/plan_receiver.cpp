#include "decoder/plan_receiver.h"

#include <algorithm>
#include <cmath>

namespace RYX {
namespace {

// Index of the largest value, the lowest index among equal maxima; a value that compares false
// with everything (NaN) never displaces an earlier candidate. `skip` (or -1) is left out.
template <typename T>
int strongest(const T* values, int count, int skip) {
    int best = skip == 0 ? 1 : 0;
    for (int j = best + 1; j < count; ++j) {
        if (j != skip && values[j] > values[best]) best = j;
    }
    return best;
}

// Relative distance below the strongest three-bin power within which two tones may still have
// equal levels once rounded: levels come from a double logarithm rounded to single precision, so
// two powers 1e-4 apart (0.00087 dB) always give levels at least one rounding step apart (levels
// stay within +-2048 dB, where a step is at most 0.000122 dB).
constexpr float kNearTie = 1.0f - 1e-4f;

// The index of the largest of the nine powers and whether it stands clear of every other (none
// but `skip` within kNearTie of it). Powers must be finite and non-negative.
int clearlyStrongest(const std::array<float, kToneCount>& power, int skip, bool& clear) {
    const int best = strongest(power.data(), kToneCount, skip);
    const float near = power[best] * kNearTie;
    int close = 0;
    for (int j = 0; j < kToneCount; ++j) close += j != skip && power[j] >= near;
    clear = close == 1 && power[best] > 0.0f;
    return best;
}

}  // namespace

void rankTones(const float* levels, int& first, int& second) {
    bool defined = true;
    bool anyDefined = false;
    for (int j = 0; j < kToneCount; ++j) {
        defined &= levels[j] == levels[j];
        anyDefined |= levels[j] == levels[j];
    }
    if (defined) {
        // Without undefined levels the bubble sort is a stable descending sort: its first two
        // are the lowest-indexed maximum and the lowest-indexed maximum of the other eight.
        first = strongest(levels, kToneCount, -1);
        second = strongest(levels, kToneCount, first);
        return;
    }
    // Ranking undefined levels would call tone 0 strongest, and silence before any sound with
    // the second start tone in it would pass the start test.
    if (!anyDefined) {
        first = -1;
        second = -1;
        return;
    }
    std::array<float, kToneCount> sorted{};
    std::array<int, kToneCount> tone{};
    for (int j = 0; j < kToneCount; ++j) {
        sorted[j] = levels[j];
        tone[j] = j;
    }
    for (int i = 0; i < kToneCount - 1; ++i) {
        for (int j = 0; j < kToneCount - 1 - i; ++j) {
            if (sorted[j + 1] > sorted[j]) {
                std::swap(sorted[j], sorted[j + 1]);
                std::swap(tone[j], tone[j + 1]);
            }
        }
    }
    first = tone[0];
    second = tone[1];
}

PlanReceiver::PlanReceiver(Plan plan, const Tuning& tuning, int ringFrames)
    : plan_(plan),
      binCount_(tuning.windowSize / 2 + 1),
      hopBins_(receiveHopBins(plan, tuning)),
      listenFirstTone_(static_cast<size_t>(ringFrames), -1),
      listenSecondTone_(static_cast<size_t>(ringFrames), -1),
      records_(static_cast<size_t>(ringFrames / 2)) {
    bool finite = true;
    for (int j = 0; j < kToneCount; ++j) {
        toneBins_[j] = RYX::toneBin(plan, j, tuning);
        if (toneBins_[j] == kNoBin) finite = false;
    }
    bandLowBin_ = toneBins_[0];
    bandHighBin_ = toneBins_[kToneCount - 1];
    int pair[2];
    symbolToTonePair(kStartSymbol1, pair);
    startTone1_ = pair[0];
    symbolToTonePair(kStartSymbol2, pair);
    startTone2_ = pair[0];

    // Shifts that keep b - 1 >= 0 and b + 1 <= N/2 for every tone b.
    const long long nyquistBin = tuning.windowSize / 2;
    long long lowest = toneBins_[0];
    long long highest = toneBins_[0];
    bool rising = true;
    for (int j = 1; j < kToneCount; ++j) {
        lowest = std::min<long long>(lowest, toneBins_[j]);
        highest = std::max<long long>(highest, toneBins_[j]);
        if (toneBins_[j] < toneBins_[j - 1]) rising = false;
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

int PlanReceiver::lowestBinRead() const {
    int low = bandLowBin_;
    for (int d = 0; d < 3; ++d) low = std::min(low, toneBins_[0] - 1 + hopShift(d));
    return low;
}

int PlanReceiver::highestBinRead() const {
    int high = bandHighBin_;
    for (int d = 0; d < 3; ++d) high = std::max(high, toneBins_[kToneCount - 1] + 1 + hopShift(d));
    return high;
}

void PlanReceiver::listen(const float* spectrum, int slot) {
    std::array<float, kToneCount> power{};
    bool finite = true;
    for (int j = 0; j < kToneCount; ++j) {
        const int b = toneBins_[j];
        power[j] = spectrum[b - 1] + spectrum[b] + spectrum[b + 1];
        finite &= std::isfinite(power[j]);
    }
    // Every level shares the band mean, so when the mean is positive and finite the order of
    // the levels is the order of the powers, up to near ties. The band summed in any order (a
    // sum of non-negative values, within 0.03 % of the ordered sum) tells whether it is; the
    // ordered sum and the logarithms are needed only for undefined levels and near ties.
    if (finite) {
        float partial[8] = {};
        int k = bandLowBin_;
        for (; k + 8 <= bandHighBin_ + 1; k += 8) {
            for (int l = 0; l < 8; ++l) partial[l] += spectrum[k + l];
        }
        for (; k <= bandHighBin_; ++k) partial[0] += spectrum[k];
        float anyOrder = 0.0f;
        for (float p : partial) anyOrder += p;
        bool silent = anyOrder == 0.0f;
        for (int j = 0; j < kToneCount; ++j) silent &= power[j] == 0.0f;
        if (silent) {  // every level 0 / 0, undefined: no tone
            listenFirstTone_[slot] = -1;
            listenSecondTone_[slot] = -1;
            return;
        }
        if (anyOrder >= 1e-30f && anyOrder <= 1e37f) {
            bool firstClear = false;
            bool secondClear = false;
            const int first = clearlyStrongest(power, -1, firstClear);
            const int second = clearlyStrongest(power, first, secondClear);
            if (firstClear && secondClear) {
                listenFirstTone_[slot] = first;
                listenSecondTone_[slot] = second;
                return;
            }
        }
    }
    float sum = 0.0f;
    for (int k = bandLowBin_; k <= bandHighBin_; ++k) sum += spectrum[k];
    const float bandMean = sum / static_cast<float>(bandHighBin_ - bandLowBin_ + 1);
    std::array<float, kToneCount> levels{};
    for (int j = 0; j < kToneCount; ++j) {
        levels[j] = static_cast<float>(
            20.0 * std::log10(static_cast<double>(power[j]) / 3.0 / static_cast<double>(bandMean)));
    }
    rankTones(levels.data(), listenFirstTone_[slot], listenSecondTone_[slot]);
}

bool PlanReceiver::startTest(const SpectrumRing& ring) {
    return ring.startTest(listenFirstTone_.data(), listenSecondTone_.data(), startTone1_,
                          startTone2_, readPos_);
}

SymbolPeriod PlanReceiver::decide(const SpectrumRing& ring, int decodeState) {
    SymbolPeriod period;
    const int r = ring.frames();
    const int h = ring.halfFrames();
    if (!fits_ || ring.filledFrom(readPos_) < h) return period;
    period.complete = true;
    const int low = ring.lowBin();

    double noiseSum = 0.0;
    for (int i = 0; i < h; ++i) {
        const float* band = ring.slot((readPos_ + i) % r);
        for (int k = bandLowBin_; k <= bandHighBin_; ++k) noiseSum += band[k - low];
    }
    const double noise = noiseSum / (static_cast<double>(bandHighBin_ - bandLowBin_ + 1) * h);
    const int shift = hopShift(decodeState);
    // As while listening: with a positive, finite reference the powers order the levels, and
    // only the two decided tones' levels are needed unless there is a near tie.
    const bool plainReference = noise >= 1e-30 && noise <= 1e37;
    const auto level = [noise](float s) {
        return static_cast<float>(20.0 * std::log10(static_cast<double>(s) / 3.0 / noise));
    };
    std::array<int, kToneCount> votes{};
    for (int i = 0; i < h; ++i) {
        const float* band = ring.slot((readPos_ + i) % r);
        std::array<float, kToneCount> power{};
        bool finite = true;
        for (int j = 0; j < kToneCount; ++j) {
            const int b = toneBins_[j] + shift - low;
            power[j] = band[b - 1] + band[b] + band[b + 1];
            finite &= std::isfinite(power[j]);
        }
        FrameRecord& record = records_[static_cast<size_t>(i)];
        bool firstClear = false;
        bool secondClear = false;
        if (plainReference && finite) {
            record.tone1 = clearlyStrongest(power, -1, firstClear);
            record.tone2 = clearlyStrongest(power, record.tone1, secondClear);
        }
        std::array<float, kToneCount> levels{};
        if (firstClear && secondClear) {
            levels[record.tone1] = level(power[record.tone1]);
            levels[record.tone2] = level(power[record.tone2]);
        } else {
            for (int j = 0; j < kToneCount; ++j) levels[j] = level(power[j]);
            record.tone1 = strongest(levels.data(), kToneCount, -1);
            record.tone2 = strongest(levels.data(), kToneCount, record.tone1);
        }
        const auto energy = [this, h](float s) {
            return static_cast<float>(static_cast<double>(binCount_) * s / h);
        };
        record.meanSnr = (levels[record.tone2] + levels[record.tone1]) * 0.5f;
        record.energySum = energy(power[record.tone2]) + energy(power[record.tone1]);
        ++votes[record.tone1];
        ++votes[record.tone2];
    }
    const int a = strongest(votes.data(), kToneCount, -1);
    const int b = strongest(votes.data(), kToneCount, a);
    period.symbol = tonePairToSymbol(a, b);

    float snrSum = 0.0f;
    float energySum = 0.0f;
    for (int i = 0; i < h; ++i) {
        const FrameRecord& record = records_[static_cast<size_t>(i)];
        if (tonePairToSymbol(record.tone1, record.tone2) == period.symbol) {
            snrSum += record.meanSnr;
            energySum += record.energySum;
        }
    }
    period.meanSnr = snrSum / static_cast<float>(h);
    period.level = energySum / static_cast<float>(h);
    return period;
}

}  // namespace RYX
