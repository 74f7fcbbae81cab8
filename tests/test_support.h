// Small pieces shared by the C++ test suites.
#pragma once

#include "modes/frequency_plan.h"

namespace RYX {
namespace test {

// A plan's name, for parameterised test names and messages.
inline const char* planName(Plan plan) {
    switch (plan) {
        case Plan::Audible:
            return "audible";
        case Plan::NonAudible:
            return "nonaudible";
        case Plan::Compression:
            return "compression";
        default:
            return "custom";
    }
}

}  // namespace test
}  // namespace RYX
