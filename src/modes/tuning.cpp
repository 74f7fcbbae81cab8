#include "modes/tuning.h"

#include <cmath>

namespace RYX {

bool sampleRateInRange(float sampleRate) {
    return std::isfinite(sampleRate) && sampleRate >= kMinSampleRate &&
           sampleRate <= kMaxSampleRate;
}

int windowSizeFor(float sampleRate) {
    if (sampleRate == 48000.0f) return 2048;
    if (sampleRate == 44100.0f) return 2048;
    if (sampleRate == 22050.0f) return 1024;
    if (sampleRate == 11050.0f) return 512;
    return 256;
}

Tuning makeTuning(float sampleRate, CustomBand custom) {
    return {sampleRate, windowSizeFor(sampleRate), custom};
}

int customStepBins(const CustomBand& custom) {
    return static_cast<int>(static_cast<unsigned>(custom.stepParam) + 2u);
}

}  // namespace RYX
