// What the robust receiver needs to know about one frequency plan at one capture rate: the
// symbol length, the analysis slice, and the frequency of every tone at each of the three hop
// positions. Built in one place (makeRobustPlan) from the frequency plans, so the robust receiver
// hears exactly what the encoder sends.
#pragma once

#include "modes/frequency_plan.h"
#include "modes/symbol_alphabet.h"
#include "modes/tuning.h"

namespace RYX {

struct RobustPlan {
    static constexpr int kHops = kHopPositions;  // hop positions 0, 1, 2 steps
    static constexpr int kSlicesPerSymbol = 16;  // analysis slices per symbol

    Plan plan = Plan::Audible;
    float sampleRate = 0.0f;
    int symbolSamples = 0;  // D: 4608 at 44100 Hz, 5015 at 48000, 2304 at 22050
    int sliceSamples = 0;   // D / 16, truncated: 288 at 44100 Hz, 313 at 48000
    bool fits = false;      // a rate in range, a slice of at least one sample and planTonesFit:
                            // nine distinct tones, each at every hop between 0 and rate / 2
    float toneHz[kHops][kToneCount] = {};  // tone j raised by h hop steps, as the encoder sounds it
};

// The plan as an encoder with the same tuning sends it (any rate it takes).
RobustPlan makeRobustPlan(Plan plan, const Tuning& tuning);

}  // namespace RYX
