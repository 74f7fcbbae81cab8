#include "modes/frequency_plan.h"

#include <cmath>

#include "modes/symbol_alphabet.h"

namespace RYX {
namespace {

// int(x) for a double, saturating instead of undefined outside the int range; NaN gives 0.
int truncateToInt(double x) {
    if (!(x == x)) return 0;
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(x);
}

}  // namespace

FrequencyPlan frequencyPlan(Plan plan, const Tuning& tuning) {
    const float r = static_cast<float>(tuning.windowSize) / 44100.0f;
    const auto hop = [r](int bins) { return static_cast<float>(bins) / r; };
    switch (plan) {
        case Plan::Audible:
            return {3300.0f, 750.0f, hop(12), 12, true};
        case Plan::NonAudible:
            return {17800.0f, 3.0f * hop(4), hop(4), 4, false};
        case Plan::Compression:
            return {14000.0f, 3.0f * hop(3), hop(3), 3, false};
        case Plan::Custom:
        default: {
            const int bins = customStepBins(tuning.custom);
            return {tuning.custom.baseHz, 3.0f * hop(bins), hop(bins), bins, false};
        }
    }
}

float symbolDurationExact(float sampleRate) {
    return sampleRate * kSymbolSeconds;
}

int symbolDuration(float sampleRate) {
    return truncateToInt(symbolDurationExact(sampleRate));
}

float binWidth(float sampleRate, int windowSize) {
    return sampleRate / static_cast<float>(windowSize);
}

float snapToBin(float f, float width) {
    const float quotient = f / width;
    const double rounded = static_cast<double>(quotient) + 0.5;
    if (!std::isfinite(rounded)) return quotient * width;
    // Whole numbers beyond the int range are already integral in float; keep them as they are.
    if (std::fabs(rounded) >= 2147483647.0) return std::trunc(static_cast<float>(rounded)) * width;
    return static_cast<float>(static_cast<int>(rounded)) * width;
}

float toneFrequency(Plan plan, int j, const Tuning& tuning) {
    const FrequencyPlan p = frequencyPlan(plan, tuning);
    const float width = binWidth(tuning.sampleRate, tuning.windowSize);
    return snapToBin(p.spacingHz, width) * static_cast<float>(j) + snapToBin(p.baseHz, width);
}

float toneAmplitude(Plan plan, int j) {
    if (plan == Plan::Audible) return 1.0f;
    return (static_cast<float>(j) * 0.15f) / 8.0f + 0.85f;
}

int hopSteps(int position) {
    return position < kStartSymbols ? 0 : (position - 1) % kHopPositions;
}

bool planTonesFit(Plan plan, const Tuning& tuning) {
    const float hopHz = frequencyPlan(plan, tuning).hopStepHz;
    const float nyquist = 0.5f * tuning.sampleRate;
    float below = 0.0f;
    for (int j = 0; j < kToneCount; ++j) {
        const float f = toneFrequency(plan, j, tuning);
        if (!(f > below)) return false;
        below = f;
        for (int h = 0; h < kHopPositions; ++h) {
            const float raised = f + hopHz * static_cast<float>(h);
            if (!(raised > 0.0f && raised < nyquist)) return false;
        }
    }
    return true;
}

void symbolFrequencies(Plan plan, int symbol, int position, const Tuning& tuning, float out[2]) {
    int pair[2];
    symbolToTonePair(symbol, pair);
    const float hop =
        static_cast<float>(hopSteps(position)) * frequencyPlan(plan, tuning).hopStepHz;
    for (int i = 0; i < 2; ++i) out[i] = toneFrequency(plan, pair[i], tuning) + hop;
}

void symbolAmplitudes(Plan plan, int symbol, float out[2]) {
    int pair[2];
    symbolToTonePair(symbol, pair);
    out[0] = toneAmplitude(plan, pair[0]);
    out[1] = toneAmplitude(plan, pair[1]);
}

int toneBin(Plan plan, int j, const Tuning& tuning) {
    const float binsPerHz = static_cast<float>(tuning.windowSize) / tuning.sampleRate;
    const float bin = toneFrequency(plan, j, tuning) * binsPerHz;
    const double rounded = static_cast<double>(bin) + 0.5;
    if (!std::isfinite(rounded) || std::fabs(rounded) >= 2147483647.0) return kNoBin;
    return static_cast<int>(rounded);
}

int receiveHopBins(Plan plan, const Tuning& tuning) {
    const FrequencyPlan p = frequencyPlan(plan, tuning);
    if (tuning.sampleRate == 44100.0f || tuning.sampleRate == 48000.0f) return p.hopStepBins;
    const float binsPerHz = static_cast<float>(tuning.windowSize) / tuning.sampleRate;
    return truncateToInt(static_cast<double>(p.hopStepHz * binsPerHz) + 0.5);
}

float customBandBegin(const Tuning& tuning) {
    return snapToBin(tuning.custom.baseHz, binWidth(tuning.sampleRate, tuning.windowSize));
}

float customBandEnd(const Tuning& tuning) {
    const float width = binWidth(tuning.sampleRate, tuning.windowSize);
    const float spacing = snapToBin(frequencyPlan(Plan::Custom, tuning).spacingHz, width);
    return customBandBegin(tuning) + 9.0f * spacing;
}

}  // namespace RYX
