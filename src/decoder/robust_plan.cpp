#include "decoder/robust_plan.h"

#include <cmath>

#include "modes/process_settings.h"

namespace RYX {

RobustPlan makeRobustPlan(Plan plan, float sampleRate) {
    RobustPlan p;
    p.plan = plan;
    p.sampleRate = sampleRate;
    if (!(sampleRate >= 1000.0f && sampleRate <= 384000.0f)) return p;
    const int windowSize = windowSizeFor(sampleRate);
    updateStepSizes(windowSize);  // the hop steps the encoder of this rate uses
    p.symbolSamples = symbolDuration(sampleRate);
    p.sliceSamples = p.symbolSamples / RobustPlan::kSlicesPerSymbol;
    const float hopHz = frequencyPlan(plan).hopStepHz;
    bool fits = p.sliceSamples > 0;
    for (int h = 0; h < RobustPlan::kHops; ++h) {
        for (int j = 0; j < 9; ++j) {
            const float f = toneFrequency(plan, j, sampleRate, windowSize) + hopHz * h;
            p.toneHz[h][j] = f;
            if (!(f > 0.0f && f < 0.5f * sampleRate)) fits = false;
        }
    }
    p.fits = fits;
    return p;
}

}  // namespace RYX
