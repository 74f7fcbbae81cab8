#include "decoder/robust_plan.h"

namespace RYX {

RobustPlan makeRobustPlan(Plan plan, const Tuning& tuning) {
    RobustPlan p;
    p.plan = plan;
    p.sampleRate = tuning.sampleRate;
    if (!(tuning.sampleRate >= 1000.0f && tuning.sampleRate <= 384000.0f)) return p;
    p.symbolSamples = symbolDuration(tuning.sampleRate);
    p.sliceSamples = p.symbolSamples / RobustPlan::kSlicesPerSymbol;
    const float hopHz = frequencyPlan(plan, tuning).hopStepHz;
    bool fits = p.sliceSamples > 0;
    for (int h = 0; h < RobustPlan::kHops; ++h) {
        for (int j = 0; j < 9; ++j) {
            const float f = toneFrequency(plan, j, tuning) + hopHz * static_cast<float>(h);
            p.toneHz[h][j] = f;
            if (!(f > 0.0f && f < 0.5f * tuning.sampleRate)) fits = false;
        }
    }
    p.fits = fits;
    return p;
}

}  // namespace RYX
