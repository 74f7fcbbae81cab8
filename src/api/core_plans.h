// The one place where the public modes become the core's plans: the receivers and decoders of
// src/decoder take the plans they listen to, never a mode number.
#pragma once

#include <vector>

#include "modes/frequency_plan.h"
#include "ryxsound/ryxsound.hpp"

namespace ryxsound {

// The core plan of a public one (the numbering is shared).
RYX::Plan corePlan(Plan plan);
// plansOf(mode) as core plans, in its order (All: audible, non-audible, compression); throws for
// a value outside the Mode enumeration as plansOf does.
std::vector<RYX::Plan> corePlans(Mode mode);

}  // namespace ryxsound
