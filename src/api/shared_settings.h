// The settings the flat API shares between all Contexts on purpose: the custom band (a null
// Context sets the default for later custom Contexts; custom encoders take it at each encode and
// the custom decoder's band is reported from it) and the gain of the random-tone overlay. They
// live here, in the API layer, which hands them to the core on each call; the core reads no
// process-wide state.
#pragma once

#include "modes/tuning.h"

namespace RYX {

struct SharedSettings {
    CustomBand custom;           // 12000 Hz base, step parameter 1 (3-bin hop)
    float synthVolumeDb = 0.0f;  // gain of the random tones, dB
};

// The one record of the process.
SharedSettings& sharedSettings();

}  // namespace RYX
