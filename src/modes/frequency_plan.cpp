#include "modes/frequency_plan.h"

#include <cmath>

#include "modes/process_settings.h"
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

FrequencyPlan frequencyPlan(Plan plan) {
    const ProcessSettings& s = processSettings();
    switch (plan) {
        case Plan::Audible:
            return {3300.0f, 750.0f, s.audibleStepHz, 12, true};
        case Plan::NonAudible:
            return {17800.0f, 3.0f * s.nonAudibleStepHz, s.nonAudibleStepHz, 4, false};
        case Plan::Compression:
            return {14000.0f, 3.0f * s.compressionStepHz, s.compressionStepHz, 3, false};
        case Plan::Custom:
        default:
            return {s.customBaseFreq, 3.0f * s.customStepHz, s.customStepHz, s.customStepBins,
                    false};
    }
}

int windowSizeFor(float sampleRate) {
    if (sampleRate == 48000.0f) return 2048;
    if (sampleRate == 44100.0f) return 2048;
    if (sampleRate == 22050.0f) return 1024;
    if (sampleRate == 11050.0f) return 512;
    return 256;
}

float symbolDurationExact(float sampleRate) { return sampleRate * kSymbolSeconds; }

int symbolDuration(float sampleRate) { return truncateToInt(symbolDurationExact(sampleRate)); }

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

float toneFrequency(Plan plan, int j, float sampleRate, int windowSize) {
    const FrequencyPlan p = frequencyPlan(plan);
    const float width = binWidth(sampleRate, windowSize);
    return snapToBin(p.spacingHz, width) * static_cast<float>(j) + snapToBin(p.baseHz, width);
}

float toneAmplitude(Plan plan, int j) {
    if (plan == Plan::Audible) return 1.0f;
    return (static_cast<float>(j) * 0.15f) / 8.0f + 0.85f;
}

int hopSteps(int position) { return position < 2 ? 0 : (position - 1) % 3; }

void symbolFrequencies(Plan plan, int symbol, int position, float sampleRate, int windowSize,
                       float out[2]) {
    int pair[2];
    symbolToTonePair(symbol, pair);
    const float hop = static_cast<float>(hopSteps(position)) * frequencyPlan(plan).hopStepHz;
    for (int i = 0; i < 2; ++i) {
        out[i] = toneFrequency(plan, pair[i], sampleRate, windowSize) + hop;
    }
}

void symbolAmplitudes(Plan plan, int symbol, float out[2]) {
    int pair[2];
    symbolToTonePair(symbol, pair);
    out[0] = toneAmplitude(plan, pair[0]);
    out[1] = toneAmplitude(plan, pair[1]);
}

int toneBin(Plan plan, int j, float sampleRate, int windowSize) {
    const float binsPerHz = static_cast<float>(windowSize) / sampleRate;
    const float bin = toneFrequency(plan, j, sampleRate, windowSize) * binsPerHz;
    const double rounded = static_cast<double>(bin) + 0.5;
    if (!std::isfinite(rounded) || std::fabs(rounded) >= 2147483647.0) return kNoBin;
    return static_cast<int>(rounded);
}

int receiveHopBins(Plan plan, float sampleRate, int windowSize) {
    const FrequencyPlan p = frequencyPlan(plan);
    if (sampleRate == 44100.0f || sampleRate == 48000.0f) return p.hopStepBins;
    const float binsPerHz = static_cast<float>(windowSize) / sampleRate;
    return truncateToInt(static_cast<double>(p.hopStepHz * binsPerHz) + 0.5);
}

float customBandBegin(float sampleRate, int windowSize) {
    return snapToBin(processSettings().customBaseFreq, binWidth(sampleRate, windowSize));
}

float customBandEnd(float sampleRate, int windowSize) {
    const float width = binWidth(sampleRate, windowSize);
    const float spacing = snapToBin(3.0f * processSettings().customStepHz, width);
    return customBandBegin(sampleRate, windowSize) + 9.0f * spacing;
}

}  // namespace RYX
