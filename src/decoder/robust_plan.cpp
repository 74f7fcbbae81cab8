#include "decoder/robust_plan.h"

namespace RYX {

RobustPlan makeRobustPlan(Plan plan, const Tuning& tuning) {
    RobustPlan p;
    p.plan = plan;
    p.sampleRate = tuning.sampleRate;
    if (!sampleRateInRange(tuning.sampleRate)) return p;
    p.symbolSamples = symbolDuration(tuning.sampleRate);
    p.sliceSamples = p.symbolSamples / RobustPlan::kSlicesPerSymbol;
    const float hopHz = frequencyPlan(plan, tuning).hopStepHz;
    for (int h = 0; h < RobustPlan::kHops; ++h) {
        for (int j = 0; j < kToneCount; ++j) {
            p.toneHz[h][j] = toneFrequency(plan, j, tuning) + hopHz * static_cast<float>(h);
        }
    }
    p.fits = p.sliceSamples > 0 && planTonesFit(plan, tuning);
    return p;
}

}  // namespace RYX
