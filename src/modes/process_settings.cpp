#include "modes/process_settings.h"

namespace RYX {

ProcessSettings& processSettings() {
    static ProcessSettings settings;
    return settings;
}

void updateStepSizes(int windowSize) {
    ProcessSettings& s = processSettings();
    const float r = static_cast<float>(windowSize) / 44100.0f;
    s.audibleStepHz = 12.0f / r;
    s.nonAudibleStepHz = 4.0f / r;
    s.compressionStepHz = 3.0f / r;
    // Wraps instead of overflowing for absurd step parameters; such a plan never fits a spectrum.
    s.customStepBins = static_cast<int>(static_cast<unsigned>(s.customStepParam) + 2u);
    s.customStepHz = static_cast<float>(s.customStepBins) / r;
}

}  // namespace RYX
